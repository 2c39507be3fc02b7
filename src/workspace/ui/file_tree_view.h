#pragma once

#include "workspace/ui/sidebar_context.h"

#include <QSet>
#include <QString>
#include <QTreeView>
#include <QWidget>

#include <optional>

class QMenu;

namespace vesk {

class DeferredRefresh;
class FileTreeDelegate;
class FileTreeModel;
struct FileNode;

// The tree view proper: draws the chevrons, opens rows on Return, F2 renames.
class FileTreeWidget : public QTreeView
{
    Q_OBJECT

public:
    FileTreeWidget(const QSet<QString> *expandedDirs, QWidget *parent = nullptr);

Q_SIGNALS:
    void activateRequested(const QModelIndex &index);
    void renameRequested(const QModelIndex &index);

protected:
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    const QSet<QString> *m_expandedDirs;
};

// The sidebar's file tree: the tab's fileTree with folders opened by path, so a refresh keeps
// what was open, selected and scrolled to. Clicking a folder opens or closes it, clicking a file
// opens it. Row menus create, rename, delete and reveal items; every change of the disk is
// followed by a refresh of the tab.
class FileTreeView : public QWidget
{
    Q_OBJECT

public:
    FileTreeView(const SidebarContext &context, QWidget *parent = nullptr);
    ~FileTreeView() override;

    FileTreeWidget *treeView() const { return m_view; }
    FileTreeModel *model() const { return m_model; }
    const QSet<QString> &expandedDirs() const { return m_expandedDirs; }
    void setExpanded(const QString &dir, bool expanded);

    // The row menu for `index` (the root folder's menu for an invalid index); the caller owns it.
    QMenu *contextMenuFor(const QModelIndex &index);

    // Opens every folder between the root and the editor's open file.
    void expandToCurrentFile();
    // Shows the new file or folder dialog for `parentDir`.
    void showNewItemDialog(const QString &parentDir, bool folder);
    // Asks whether to move the file to the trash.
    void confirmDelete(const QString &path);
    void startRenaming(const QString &path);
    // Commits a rename in progress.
    void finishRenaming();

    // The file operations behind the dialogs; each tells the user why when it changes nothing.
    void deleteFile(const QString &path);
    void performRename(const QString &oldPath, const QString &newName);

    // Takes over the state's current tree (tests and benchmarks call it directly).
    void applyTree();

private:
    void stateChanged();
    void activate(const QModelIndex &index);
    void showMessage(const QString &title, const QString &message);
    void followRename(const QString &oldPath, const QString &newPath);

    SidebarContext m_context;
    FileTreeModel *m_model;
    FileTreeDelegate *m_delegate;
    FileTreeWidget *m_view;
    DeferredRefresh *m_refresh;
    QSet<QString> m_expandedDirs;
    std::optional<QString> m_shownFile;  // the editor's file as last seen
    bool m_revealPending = false;        // the open file is not in the tree yet
    QSet<QString> m_shownFavorites;
};

} // namespace vesk
