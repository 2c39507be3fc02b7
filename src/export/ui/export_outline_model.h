#pragma once

#include "export/export_node.h"

#include <QAbstractItemModel>
#include <QFont>

#include <deque>
#include <functional>
#include <vector>

namespace vesk {

class ExportSelection;

// The export outline: the scanned tree of an ExportSelection with a type, a checkbox, a name and
// the classifier's reason per row. It keeps its own order of the children, so sorting moves rows
// (keeping expansion and the current row) without touching the scan, and a change of the
// selection repaints only the checkboxes that changed.
class ExportOutlineModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column { TypeColumn, IncludeColumn, NameColumn, ReasonColumn, ColumnCount };

    explicit ExportOutlineModel(const ExportSelection *selection, QObject *parent = nullptr);
    ~ExportOutlineModel() override;

    // Shows the selection's current tree, sorted as the outline is sorted now.
    void reload();
    // Re-reads which files are selected and announces the checkboxes that changed.
    void refreshChecks();
    // Checkboxes are disabled while an export runs.
    void setChecksEnabled(bool enabled);
    bool checksEnabled() const { return m_checksEnabled; }

    const ExportNode *node(const QModelIndex &index) const;
    QModelIndex indexOf(const QString &relativePath, int column = NameColumn) const;
    // Checked, unchecked, or partly checked for a directory with some of its files selected.
    Qt::CheckState checkState(const QModelIndex &index) const;

    // -1 while the rows keep the scanner's order.
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // A click on a checkbox asks for the node to be flipped (checkToggled); the selection, not
    // the requested state, decides what the box shows next.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

Q_SIGNALS:
    void checkToggled(const vesk::ExportNode *node);

private:
    struct Item
    {
        const ExportNode *node = nullptr;
        Item *parent = nullptr;
        int row = 0;
        std::vector<Item *> children;
        int files = 0;     // files at and below
        int selected = 0;  // of which selected
    };

    Item *itemAt(const QModelIndex &index) const;
    QModelIndex indexOfItem(const Item *item, int column) const;
    void build(Item &item, const ExportTree &children);
    int countSelected(Item &item);
    void sortChildren(Item &item);
    void sortLevel(Item &item, const std::function<bool(const Item *, const Item *)> &less);
    void restoreScanOrder(Item &item);
    static void renumber(Item &item);
    void announceCheckChanges(const std::vector<const Item *> &changed);
    void announceColumn(Item &item, int column);
    static Qt::CheckState stateOf(const Item &item);

    const ExportSelection *m_selection;
    QFont m_labelFont;
    QFont m_fileFont;
    QFont m_directoryFont;
    ExportTree m_tree;  // keeps the nodes shown alive across a rescan of the selection
    std::deque<Item> m_items;
    Item m_root;
    QHash<QString, Item *> m_byPath;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_checksEnabled = true;
};

} // namespace vesk
