#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

#include <functional>

#include <QLineEdit>

namespace vesk {

// Draws a file tree row: folder or file symbol and name, then at the right the favorite star and
// the git status symbol in its colour. Edits a row's name in place for renaming; the typed name
// goes to `commitRename` when the field is submitted or loses focus, and Escape drops it.
class FileTreeDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using CommitRename = std::function<void(const QString &path, const QString &newName)>;

    FileTreeDelegate(CommitRename commitRename, QObject *parent = nullptr);

    static constexpr int rowHeight = 22;

    // The rename field while one is open.
    QLineEdit *renameField() const { return m_renameField; }
    // Commits and closes the open rename field, if any.
    void finishRenaming();

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

private:
    CommitRename m_commitRename;
    mutable QPointer<QLineEdit> m_renameField;
};

} // namespace vesk
