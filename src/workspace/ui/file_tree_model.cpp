#include "workspace/ui/file_tree_model.h"

#include <QMimeData>
#include <QUrl>

#include <utility>

namespace vesk {

FileTreeModel::FileTreeModel(QObject *parent)
    : QAbstractItemModel(parent)
{
}

FileTreeModel::~FileTreeModel() = default;

void FileTreeModel::setTree(const QList<FileNode> &tree)
{
    beginResetModel();
    m_root.children.clear();
    m_root.built = false;
    m_tree = tree;
    endResetModel();
}

bool FileTreeModel::shows(const QList<FileNode> &tree) const
{
    return tree.constData() == m_tree.constData() && tree.size() == m_tree.size();
}

void FileTreeModel::setFavorites(const QSet<QString> &favorites)
{
    if (favorites == m_favorites) {
        return;
    }
    m_favorites = favorites;
    if (!m_tree.isEmpty()) {
        // Stars sit on rows at any depth; this tells views to look again at what they show.
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {FavoriteRole});
    }
}

const FileTreeModel::Item *FileTreeModel::itemFor(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<const Item *>(index.internalPointer()) : &m_root;
}

const QList<FileNode> &FileTreeModel::childNodes(const Item *item) const
{
    return item->node ? item->node->children : m_tree;
}

const std::vector<FileTreeModel::Item> &FileTreeModel::childItems(const Item *item) const
{
    if (!item->built) {
        const QList<FileNode> &nodes = childNodes(item);
        item->children.resize(nodes.size());
        for (qsizetype i = 0; i < nodes.size(); ++i) {
            Item &child = item->children[i];
            child.node = &nodes.at(i);
            child.parent = item;
            child.row = int(i);
        }
        item->built = true;
    }
    return item->children;
}

const FileNode *FileTreeModel::node(const QModelIndex &index) const
{
    return index.isValid() ? itemFor(index)->node : nullptr;
}

QModelIndex FileTreeModel::indexForPath(const QString &path) const
{
    const Item *item = &m_root;
    QModelIndex found;
    while (true) {
        const Item *next = nullptr;
        for (const Item &child : childItems(item)) {
            const QString &childPath = child.node->path;
            if (path.startsWith(childPath)
                && (path.size() == childPath.size() || path.at(childPath.size()) == u'/')) {
                next = &child;
                break;
            }
        }
        if (!next) {
            return {};
        }
        found = createIndex(next->row, 0, next);
        if (next->node->path.size() == path.size()) {
            return found;
        }
        item = next;
    }
}

QModelIndex FileTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    const Item *item = itemFor(parent);
    if (column != 0 || row < 0 || row >= childNodes(item).size()) {
        return {};
    }
    return createIndex(row, 0, &childItems(item)[row]);
}

QModelIndex FileTreeModel::parent(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return {};
    }
    const Item *parent = itemFor(index)->parent;
    return parent && parent != &m_root ? createIndex(parent->row, 0, parent) : QModelIndex();
}

int FileTreeModel::rowCount(const QModelIndex &parent) const
{
    return parent.column() > 0 ? 0 : int(childNodes(itemFor(parent)).size());
}

int FileTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool FileTreeModel::hasChildren(const QModelIndex &parent) const
{
    return !childNodes(itemFor(parent)).isEmpty();
}

QVariant FileTreeModel::data(const QModelIndex &index, int role) const
{
    const FileNode *n = node(index);
    if (!n) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return n->name;
    case Qt::ToolTipRole:
    case PathRole:
        return n->path;
    case IsDirectoryRole:
        return n->isDirectory;
    case StatusRole:
        return int(n->gitStatus);
    case FavoriteRole:
        return m_favorites.contains(n->path);
    default:
        return {};
    }
}

Qt::ItemFlags FileTreeModel::flags(const QModelIndex &index) const
{
    const FileNode *n = node(index);
    if (!n) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEditable;
    if (!n->isDirectory) {
        flags |= Qt::ItemNeverHasChildren;
    }
    return flags;
}

QStringList FileTreeModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *FileTreeModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex &index : indexes) {
        if (const FileNode *n = node(index)) {
            urls.append(QUrl::fromLocalFile(n->path));
        }
    }
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

Qt::DropActions FileTreeModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

} // namespace vesk
