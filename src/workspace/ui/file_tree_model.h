#pragma once

#include "workspace/file_node.h"

#include <QAbstractItemModel>
#include <QList>
#include <QSet>
#include <QString>

#include <vector>

namespace vesk {

// The repository's file tree as an item model: one column, a row per FileNode. Rows of a folder
// are made the first time the view asks for them, so a refresh costs only what is open.
// Rows drag out as file URLs.
class FileTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Role { PathRole = Qt::UserRole + 1, IsDirectoryRole, StatusRole, FavoriteRole };

    explicit FileTreeModel(QObject *parent = nullptr);
    ~FileTreeModel() override;

    // Replaces the whole tree (a model reset).
    void setTree(const QList<FileNode> &tree);
    const QList<FileNode> &tree() const { return m_tree; }
    // True when `tree` is the very list on show (shared, not merely equal).
    bool shows(const QList<FileNode> &tree) const;

    void setFavorites(const QSet<QString> &favorites);

    const FileNode *node(const QModelIndex &index) const;
    // The row of the node at `path`, or an invalid index when the tree has none.
    QModelIndex indexForPath(const QString &path) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    struct Item
    {
        const FileNode *node = nullptr;  // null for the invisible root
        const Item *parent = nullptr;
        int row = 0;
        mutable std::vector<Item> children;  // sized once, when first needed
        mutable bool built = false;
    };

    const Item *itemFor(const QModelIndex &index) const;
    const QList<FileNode> &childNodes(const Item *item) const;
    const std::vector<Item> &childItems(const Item *item) const;

    QList<FileNode> m_tree;
    QSet<QString> m_favorites;
    Item m_root;
};

} // namespace vesk
