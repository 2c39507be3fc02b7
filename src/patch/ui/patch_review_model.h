#pragma once

#include "patch/patch_analysis.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPalette>
#include <QSet>
#include <QString>

namespace vesk {

// The rows of the patch review panel: one per entry of the analysis, in a display order the
// user can sort, each with its apply checkbox. Checkbox states belong to the entries, so they
// survive every sort; rows are shown by display position, the entries keep their analysis index.
class PatchReviewModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { fileColumn, statusColumn, applyColumn, repoDateColumn, patchDateColumn, changesColumn, columnCount_ };

    explicit PatchReviewModel(QList<PatchFileEntry> entries, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A click on a column's header: sorts by its key, ascending, or flips the direction when it
    // already sorts by it. The "Apply" column has no key: false, and nothing changes.
    bool sortByColumn(int column);
    // "" (no sort), "file", "status", "repoDate", "patchDate" or "changes".
    const QString &sortKey() const { return m_sortKey; }
    bool sortAscending() const { return m_sortAsc; }
    int sortColumn() const;

    const QList<PatchFileEntry> &entries() const { return m_entries; }
    qsizetype entryIndex(int displayRow) const;
    int displayRow(qsizetype entryIndex) const;
    bool isChecked(qsizetype entryIndex) const;
    void setChecked(qsizetype entryIndex, bool checked);
    // The entries the user unchecked, by their index in the analysis.
    QSet<qsizetype> excludedIndices() const;

    // The colours follow the palette of the view showing the rows.
    void setPalette(const QPalette &palette);

    static QString dateText(const std::optional<FileTime> &date);
    static QString changesText(const PatchFileEntry &entry);
    static QString statusText(const PatchFileEntry &entry);

private:
    QVariant foreground(const PatchFileEntry &entry, int column) const;
    QVariant background(int row, const PatchFileEntry &entry) const;

    QList<PatchFileEntry> m_entries;
    QList<qsizetype> m_displayOrder;
    QList<bool> m_checked;  // by entry index
    QString m_sortKey;
    bool m_sortAsc = true;
    QPalette m_palette;
};

} // namespace vesk
