#pragma once

#include "workspace/change_status.h"

#include <QAbstractListModel>
#include <QList>
#include <QSet>
#include <QStyledItemDelegate>

namespace vesk {

class GitManager;

// The changes panel's rows: a favorites section (sorted by path, each with its git status) and a
// "Changes" section with git's entries in git's order, each under a header row.
class ChangesListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        KindRole = Qt::UserRole + 1,
        RowIdRole,     // "fav-" + path or "change-" + path
        OpenPathRole,  // the file a click opens
        StatusRole,
    };
    enum class Kind { favoritesHeader, favorite, changesHeader, change };

    using QAbstractListModel::QAbstractListModel;

    // Rebuilds the rows when the favorites or git's entries differ from those on show.
    void update(const QString &repoPath, const QSet<QString> &favorites, const GitManager &git);
    int rowForId(const QString &id) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Row
    {
        Kind kind;
        QString text;
        QString id;
        QString openPath;
        ChangeStatus status = ChangeStatus::unmodified;
    };

    QList<Row> m_rows;
    QString m_repoPath;
    QSet<QString> m_favorites;
    QList<GitStatusEntry> m_entries;
};

// Draws a header row, or a row with the status symbol, the path and the status label badge.
class ChangesRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace vesk
