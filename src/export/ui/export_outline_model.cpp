#include "export/ui/export_outline_model.h"

#include "editor/ui/editor_colors.h"
#include "export/export_selection.h"

#include <QCollator>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLocale>
#include <QPalette>

#include <algorithm>
#include <map>

namespace vesk {

namespace {

constexpr int fontPixels = 13;

QFont outlineFont(QFontDatabase::SystemFont kind, QFont::Weight weight = QFont::Normal)
{
    QFont font = QFontDatabase::systemFont(kind);
    font.setPixelSize(fontPixels);
    font.setWeight(weight);
    return font;
}

QColor redColor()
{
    return systemColor(SystemColor::red, QGuiApplication::palette());
}

QVariant typeColor(FileCategory category)
{
    const QPalette palette = QGuiApplication::palette();
    switch (category) {
    case FileCategory::Secret:
        return redColor();
    case FileCategory::Binary:
        return secondaryLabelColor(palette);
    case FileCategory::Text:
    case FileCategory::Image:
        return tertiaryLabelColor(palette);
    }
    return {};
}

QVariant nameColor(FileCategory category)
{
    switch (category) {
    case FileCategory::Secret:
        return redColor();
    case FileCategory::Binary:
        return secondaryLabelColor(QGuiApplication::palette());
    case FileCategory::Text:
    case FileCategory::Image:
        return {};
    }
    return {};
}

QVariant reasonColor(FileCategory category)
{
    return category == FileCategory::Secret ? QVariant(redColor())
                                            : QVariant(secondaryLabelColor(QGuiApplication::palette()));
}

} // namespace

ExportOutlineModel::ExportOutlineModel(const ExportSelection *selection, QObject *parent)
    : QAbstractItemModel(parent)
    , m_selection(selection)
    , m_labelFont(outlineFont(QFontDatabase::GeneralFont))
    , m_fileFont(outlineFont(QFontDatabase::FixedFont))
    , m_directoryFont(outlineFont(QFontDatabase::FixedFont, QFont::Medium))
{
    reload();
}

ExportOutlineModel::~ExportOutlineModel() = default;

void ExportOutlineModel::reload()
{
    beginResetModel();
    m_tree = m_selection->tree();
    m_items.clear();
    m_byPath.clear();
    m_root = Item{};
    build(m_root, m_tree);
    countSelected(m_root);
    if (m_sortColumn >= 0) {
        sortChildren(m_root);
    }
    endResetModel();
}

void ExportOutlineModel::build(Item &item, const ExportTree &children)
{
    item.children.reserve(size_t(children.size()));
    for (const ExportNodePtr &child : children) {
        Item &childItem = m_items.emplace_back();
        childItem.node = child.get();
        childItem.parent = &item;
        childItem.row = int(item.children.size());
        item.children.push_back(&childItem);
        m_byPath.insert(child->relativePath, &childItem);
        if (child->isDirectory) {
            build(childItem, child->children);
        }
    }
}

int ExportOutlineModel::countSelected(Item &item)
{
    if (item.node && !item.node->isDirectory) {
        item.files = 1;
        item.selected = m_selection->isSelected(item.node->relativePath) ? 1 : 0;
        return item.selected;
    }
    item.files = 0;
    item.selected = 0;
    for (Item *child : item.children) {
        countSelected(*child);
        item.files += child->files;
        item.selected += child->selected;
    }
    return item.selected;
}

void ExportOutlineModel::refreshChecks()
{
    std::vector<Qt::CheckState> before;
    before.reserve(m_items.size());
    for (const Item &item : m_items) {
        before.push_back(stateOf(item));
    }
    countSelected(m_root);
    std::vector<const Item *> changed;
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (stateOf(m_items[i]) != before[i]) {
            changed.push_back(&m_items[i]);
        }
    }
    announceCheckChanges(changed);
}

// One announcement per parent, spanning the rows that changed under it.
void ExportOutlineModel::announceCheckChanges(const std::vector<const Item *> &changed)
{
    std::map<const Item *, std::pair<int, int>> spans;
    for (const Item *item : changed) {
        auto [it, inserted] = spans.try_emplace(item->parent, item->row, item->row);
        if (!inserted) {
            it->second.first = std::min(it->second.first, item->row);
            it->second.second = std::max(it->second.second, item->row);
        }
    }
    const QList<int> roles{Qt::CheckStateRole};
    for (const auto &[parent, span] : spans) {
        const QModelIndex parentIndex = parent == &m_root ? QModelIndex() : indexOfItem(parent, 0);
        Q_EMIT dataChanged(index(span.first, IncludeColumn, parentIndex), index(span.second, IncludeColumn, parentIndex),
                           roles);
    }
}

void ExportOutlineModel::setChecksEnabled(bool enabled)
{
    if (m_checksEnabled == enabled) {
        return;
    }
    m_checksEnabled = enabled;
    announceColumn(m_root, IncludeColumn);
}

void ExportOutlineModel::announceColumn(Item &item, int column)
{
    if (item.children.empty()) {
        return;
    }
    const QModelIndex parentIndex = &item == &m_root ? QModelIndex() : indexOfItem(&item, 0);
    Q_EMIT dataChanged(index(0, column, parentIndex), index(int(item.children.size()) - 1, column, parentIndex));
    for (Item *child : item.children) {
        announceColumn(*child, column);
    }
}

Qt::CheckState ExportOutlineModel::stateOf(const Item &item)
{
    if (item.selected == 0) {
        return Qt::Unchecked;
    }
    return item.selected == item.files ? Qt::Checked : Qt::PartiallyChecked;
}

ExportOutlineModel::Item *ExportOutlineModel::itemAt(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Item *>(index.internalPointer()) : const_cast<Item *>(&m_root);
}

QModelIndex ExportOutlineModel::indexOfItem(const Item *item, int column) const
{
    if (!item || item == &m_root) {
        return {};
    }
    return createIndex(item->row, column, const_cast<Item *>(item));
}

const ExportNode *ExportOutlineModel::node(const QModelIndex &index) const
{
    return index.isValid() ? itemAt(index)->node : nullptr;
}

QModelIndex ExportOutlineModel::indexOf(const QString &relativePath, int column) const
{
    return indexOfItem(m_byPath.value(relativePath), column);
}

Qt::CheckState ExportOutlineModel::checkState(const QModelIndex &index) const
{
    return index.isValid() ? stateOf(*itemAt(index)) : Qt::Unchecked;
}

QModelIndex ExportOutlineModel::index(int row, int column, const QModelIndex &parent) const
{
    const Item *parentItem = itemAt(parent);
    if (row < 0 || column < 0 || column >= ColumnCount || size_t(row) >= parentItem->children.size()) {
        return {};
    }
    return createIndex(row, column, parentItem->children[size_t(row)]);
}

QModelIndex ExportOutlineModel::parent(const QModelIndex &child) const
{
    return child.isValid() ? indexOfItem(itemAt(child)->parent, 0) : QModelIndex();
}

int ExportOutlineModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0) {
        return 0;
    }
    return int(itemAt(parent)->children.size());
}

int ExportOutlineModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

bool ExportOutlineModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant ExportOutlineModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid()) {
        return {};
    }
    const Item &item = *itemAt(index);
    const ExportNode &node = *item.node;
    const bool file = !node.isDirectory;
    switch (index.column()) {
    case TypeColumn:
        if (!file) {
            return {};
        }
        switch (role) {
        case Qt::DisplayRole: return toString(node.category);
        case Qt::ForegroundRole: return typeColor(node.category);
        case Qt::FontRole: return m_labelFont;
        default: return {};
        }
    case IncludeColumn:
        switch (role) {
        case Qt::CheckStateRole: return stateOf(item);
        case Qt::ToolTipRole: return QStringLiteral("Include in .zip");
        case Qt::AccessibleTextRole: return node.name;
        default: return {};
        }
    case NameColumn:
        switch (role) {
        case Qt::DisplayRole: return node.name;
        case Qt::ToolTipRole: return node.relativePath;
        case Qt::ForegroundRole: return file ? nameColor(node.category) : QVariant();
        case Qt::FontRole: return file ? m_fileFont : m_directoryFont;
        default: return {};
        }
    case ReasonColumn:
        if (!file) {
            return {};
        }
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: return node.reason;
        case Qt::ForegroundRole: return reasonColor(node.category);
        case Qt::FontRole: return m_labelFont;
        default: return {};
        }
    default:
        return {};
    }
}

QVariant ExportOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        switch (section) {
        case TypeColumn: return QStringLiteral("Type");
        case IncludeColumn: return QStringLiteral(".zip");
        case NameColumn: return QStringLiteral("File");
        case ReasonColumn: return QStringLiteral("Reason");
        default: return {};
        }
    }
    if (role == Qt::InitialSortOrderRole) {
        return int(Qt::AscendingOrder);
    }
    if (role == Qt::ToolTipRole && section == IncludeColumn) {
        return QStringLiteral("Include in .zip");
    }
    return {};
}

Qt::ItemFlags ExportOutlineModel::flags(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (itemAt(index)->node->isDirectory) {
        flags &= ~Qt::ItemNeverHasChildren;
    }
    if (index.column() == IncludeColumn) {
        flags |= Qt::ItemIsUserCheckable;
        if (!m_checksEnabled) {
            flags &= ~Qt::ItemIsEnabled;
        }
    }
    return flags;
}

bool ExportOutlineModel::setData(const QModelIndex &index, const QVariant &, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != IncludeColumn || !m_checksEnabled) {
        return false;
    }
    Q_EMIT checkToggled(itemAt(index)->node);
    return true;
}

void ExportOutlineModel::sort(int column, Qt::SortOrder order)
{
    if (column >= ColumnCount || (column == m_sortColumn && order == m_sortOrder)) {
        return;
    }
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<Item *, int>> kept;
    kept.reserve(size_t(before.size()));
    for (const QModelIndex &index : before) {
        kept.emplace_back(itemAt(index), index.column());
    }
    m_sortColumn = column < 0 ? -1 : column;
    m_sortOrder = order;
    if (m_sortColumn < 0) {
        restoreScanOrder(m_root);
    } else {
        sortChildren(m_root);
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (const auto &[item, itemColumn] : kept) {
        after.append(indexOfItem(item, itemColumn));
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// Directories stay before files whatever the column and direction; ties keep the order they
// had, which for a fresh scan is the scanner's.
void ExportOutlineModel::sortChildren(Item &item)
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const int column = m_sortColumn;
    const auto text = [column](const Item *item) -> QString {
        switch (column) {
        case TypeColumn: return item->node->isDirectory ? QString() : toString(item->node->category);
        case ReasonColumn: return item->node->reason;
        default: return item->node->name;
        }
    };
    const auto less = [&](const Item *a, const Item *b) {
        if (column == IncludeColumn) {
            return int(stateOf(*a)) < int(stateOf(*b));
        }
        return collator.compare(text(a), text(b)) < 0;
    };
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    sortLevel(item, [&](const Item *a, const Item *b) {
        if (a->node->isDirectory != b->node->isDirectory) {
            return a->node->isDirectory;
        }
        return descending ? less(b, a) : less(a, b);
    });
}

void ExportOutlineModel::sortLevel(Item &item, const std::function<bool(const Item *, const Item *)> &less)
{
    if (item.children.empty()) {
        return;
    }
    std::stable_sort(item.children.begin(), item.children.end(), less);
    renumber(item);
    for (Item *child : item.children) {
        sortLevel(*child, less);
    }
}

void ExportOutlineModel::restoreScanOrder(Item &item)
{
    if (item.children.empty()) {
        return;
    }
    const ExportTree &scanned = item.node ? item.node->children : m_tree;
    QHash<const ExportNode *, int> position;
    position.reserve(scanned.size());
    for (int i = 0; i < scanned.size(); ++i) {
        position.insert(scanned[i].get(), i);
    }
    std::sort(item.children.begin(), item.children.end(),
              [&position](const Item *a, const Item *b) { return position.value(a->node) < position.value(b->node); });
    renumber(item);
    for (Item *child : item.children) {
        restoreScanOrder(*child);
    }
}

void ExportOutlineModel::renumber(Item &item)
{
    for (size_t i = 0; i < item.children.size(); ++i) {
        item.children[i]->row = int(i);
    }
}

} // namespace vesk
