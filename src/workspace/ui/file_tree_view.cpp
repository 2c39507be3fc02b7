#include "workspace/ui/file_tree_view.h"

#include "editor/editor_view_model.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "workspace/file_operations.h"
#include "workspace/repository_state.h"
#include "workspace/ui/file_tree_delegate.h"
#include "workspace/ui/file_tree_model.h"
#include "workspace/ui/new_item_dialog.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vesk {

namespace {

// `path` with the folder `from` at its start replaced by `to`; nothing when it is not under it.
std::optional<QString> moved(const QString &path, const QString &from, const QString &to)
{
    if (path == from) {
        return to;
    }
    if (path.startsWith(from + u'/')) {
        return to + path.mid(from.size());
    }
    return std::nullopt;
}

} // namespace

FileTreeWidget::FileTreeWidget(const QSet<QString> *expandedDirs, QWidget *parent)
    : QTreeView(parent)
    , m_expandedDirs(expandedDirs)
{
}

void FileTreeWidget::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    if (!index.data(FileTreeModel::IsDirectoryRole).toBool()) {
        return;
    }
    constexpr int size = 12;
    const bool open = m_expandedDirs->contains(index.data(FileTreeModel::PathRole).toString());
    const QRect chevron(rect.right() - indentation() + (indentation() - size) / 2 + 1, rect.center().y() - size / 2 + 1,
                        size, size);
    symbolIcon(open ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right"), secondaryLabelColor(palette()))
        .paint(painter, chevron);
}

void FileTreeWidget::keyPressEvent(QKeyEvent *event)
{
    if (state() != EditingState && currentIndex().isValid()) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            Q_EMIT activateRequested(currentIndex());
            return;
        }
        if (event->key() == Qt::Key_F2) {
            Q_EMIT renameRequested(currentIndex());
            return;
        }
    }
    QTreeView::keyPressEvent(event);
}

FileTreeView::FileTreeView(const SidebarContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_model(new FileTreeModel(this))
    , m_delegate(new FileTreeDelegate(
          [this](const QString &path, const QString &name) { performRename(path, name); }, this))
    , m_view(new FileTreeWidget(&m_expandedDirs, this))
    , m_refresh(new DeferredRefresh(this, [this] { stateChanged(); }))
{
    m_view->setObjectName(QStringLiteral("fileTree"));
    m_view->setModel(m_model);
    m_view->setItemDelegate(m_delegate);
    m_view->setHeaderHidden(true);
    m_view->setUniformRowHeights(true);
    m_view->setIndentation(14);
    m_view->setExpandsOnDoubleClick(false);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setDragEnabled(true);
    m_view->setDragDropMode(QAbstractItemView::DragOnly);
    m_view->setDefaultDropAction(Qt::CopyAction);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setAnimated(false);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    connect(m_view, &QAbstractItemView::clicked, this, &FileTreeView::activate);
    connect(m_view, &FileTreeWidget::activateRequested, this, &FileTreeView::activate);
    connect(m_view, &FileTreeWidget::renameRequested, this,
            [this](const QModelIndex &index) { startRenaming(index.data(FileTreeModel::PathRole).toString()); });
    connect(m_view, &QTreeView::expanded, this,
            [this](const QModelIndex &index) { m_expandedDirs.insert(index.data(FileTreeModel::PathRole).toString()); });
    connect(m_view, &QTreeView::collapsed, this,
            [this](const QModelIndex &index) { m_expandedDirs.remove(index.data(FileTreeModel::PathRole).toString()); });
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu *menu = contextMenuFor(m_view->indexAt(pos));
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_view->viewport()->mapToGlobal(pos));
    });
    // A tree that arrived while a name was being edited is shown once the field closes.
    connect(m_delegate, &QAbstractItemDelegate::closeEditor, m_refresh, &DeferredRefresh::request);

    m_refresh->watch(&m_context.state, &RepositoryState::willChange);
    m_shownFile = m_context.state.editor()->currentFilePath();
    applyTree();
    expandToCurrentFile();
}

FileTreeView::~FileTreeView() = default;

void FileTreeView::stateChanged()
{
    RepositoryState &state = m_context.state;
    if (!m_model->shows(state.fileTree()) && !m_delegate->renameField()) {
        applyTree();
    }
    if (state.favorites() != m_shownFavorites) {
        m_shownFavorites = state.favorites();
        m_model->setFavorites(m_shownFavorites);
        m_view->viewport()->update();  // stars sit on rows at any depth
    }
    if (state.editor()->currentFilePath() != m_shownFile) {
        m_shownFile = state.editor()->currentFilePath();
        finishRenaming();
        expandToCurrentFile();
    }
}

void FileTreeView::applyTree()
{
    const QString selected = m_view->currentIndex().data(FileTreeModel::PathRole).toString();
    const int scroll = m_view->verticalScrollBar()->value();
    // Putting the selection back must not scroll: the old position is put back after.
    const bool autoScroll = m_view->hasAutoScroll();
    m_view->setAutoScroll(false);
    m_model->setTree(m_context.state.fileTree());
    m_model->setFavorites(m_context.state.favorites());
    const QSet<QString> dirs = m_expandedDirs;  // expanding reports back into the set
    for (const QString &dir : dirs) {
        const QModelIndex index = m_model->indexForPath(dir);
        if (index.isValid()) {
            m_view->expand(index);
        }
    }
    QModelIndex current = m_model->indexForPath(selected);
    if (!current.isValid() && m_shownFile) {
        current = m_model->indexForPath(*m_shownFile);
    }
    if (current.isValid()) {
        m_view->selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect);
    }
    m_view->doItemsLayout();
    m_view->verticalScrollBar()->setValue(scroll);
    m_view->setAutoScroll(autoScroll);
    if (m_revealPending) {
        expandToCurrentFile();
    }
}

void FileTreeView::setExpanded(const QString &dir, bool expanded)
{
    if (expanded) {
        m_expandedDirs.insert(dir);
    } else {
        m_expandedDirs.remove(dir);
    }
    const QModelIndex index = m_model->indexForPath(dir);
    if (index.isValid()) {
        m_view->setExpanded(index, expanded);
    }
    m_view->viewport()->update();
}

void FileTreeView::activate(const QModelIndex &index)
{
    const FileNode *node = m_model->node(index);
    if (!node) {
        return;
    }
    if (node->isDirectory) {
        setExpanded(node->path, !m_expandedDirs.contains(node->path));
    } else if (m_context.onSelectFile) {
        m_context.onSelectFile(node->path);
    }
}

void FileTreeView::expandToCurrentFile()
{
    const std::optional<QString> file = m_context.state.editor()->currentFilePath();
    const QString root = m_context.repoPath();
    const QString prefix = root + u'/';
    m_revealPending = false;
    if (!file || !file->startsWith(prefix)) {
        return;
    }
    for (QString dir = QFileInfo(*file).path(); dir.size() > root.size() && dir.startsWith(prefix);
         dir = QFileInfo(dir).path()) {
        setExpanded(dir, true);
    }
    const QModelIndex index = m_model->indexForPath(*file);
    // A file opened before the tree lists it (made outside, or the first listing is still on its
    // way) is shown when a tree that has it arrives.
    m_revealPending = !index.isValid();
    if (index.isValid()) {
        m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        if (!m_view->viewport()->rect().contains(m_view->visualRect(index))) {
            m_view->scrollTo(index, QAbstractItemView::PositionAtCenter);
        }
    }
}

QMenu *FileTreeView::contextMenuFor(const QModelIndex &index)
{
    auto *menu = new QMenu(this);
    const QColor color = labelColor(menu->palette());
    const FileNode *node = m_model->node(index);
    const QString path = node ? node->path : m_context.repoPath();
    const QString folder = !node ? path : node->isDirectory ? node->path : QFileInfo(node->path).path();
    const bool isFile = node && !node->isDirectory;
    if (isFile) {
        m_context.addFileEntries(menu, path);
    } else {
        m_context.addRevealEntry(menu, path);
    }
    menu->addSeparator();
    menu->addAction(symbolIcon(QStringLiteral("doc.badge.plus"), color), QStringLiteral("New File"), this,
                    [this, folder] { showNewItemDialog(folder, false); });
    menu->addAction(symbolIcon(QStringLiteral("folder.badge.plus"), color), QStringLiteral("New Folder"), this,
                    [this, folder] { showNewItemDialog(folder, true); });
    if (node) {
        menu->addSeparator();
        menu->addAction(symbolIcon(QStringLiteral("pencil"), color), QStringLiteral("Rename…"), this,
                        [this, path] { startRenaming(path); });
    }
    if (isFile) {
        menu->addAction(symbolIcon(QStringLiteral("trash"), color), QStringLiteral("Delete File"), this,
                        [this, path] { confirmDelete(path); });
    }
    return menu;
}

void FileTreeView::showNewItemDialog(const QString &parentDir, bool folder)
{
    auto *dialog = new NewItemDialog(
        folder,
        [this, parentDir, folder](const QString &name) {
            const QString repo = m_context.repoPath();
            const FileOperationResult result = folder ? FileOperations::createFolder(repo, parentDir, name)
                                                      : FileOperations::createFile(repo, parentDir, name);
            if (result.ok) {
                if (parentDir != repo) {
                    setExpanded(parentDir, true);
                }
                m_context.state.refresh();
                if (!folder && m_context.onSelectFile) {
                    m_context.onSelectFile(result.path);
                }
            }
            return result;
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void FileTreeView::confirmDelete(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Delete File"),
                                QStringLiteral("Are you sure you want to delete \"%1\"? This cannot be undone.").arg(name),
                                QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("deleteConfirm"));
    QPushButton *remove = box->addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
    box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::buttonClicked, this, [this, path, remove](QAbstractButton *button) {
        if (button == remove) {
            deleteFile(path);
        }
    });
    box->open();
}

void FileTreeView::deleteFile(const QString &path)
{
    // A save still under way would bring the file back after it went to the trash.
    m_context.state.editor()->finishSaving();
    const FileOperationResult result = FileOperations::moveToTrash(m_context.repoPath(), path);
    if (!result.ok) {
        showMessage(QStringLiteral("Delete File"), result.message);
        return;
    }
    RepositoryState &state = m_context.state;
    const std::optional<QString> open = state.editor()->currentFilePath();
    if (open && moved(*open, path, path)) {
        state.editor()->closeFile();
    }
    QSet<QString> favorites = state.favorites();
    const qsizetype before = favorites.size();
    favorites.removeIf([&path](const QString &favorite) { return bool(moved(favorite, path, path)); });
    if (favorites.size() != before) {
        state.setFavorites(favorites);
        state.saveFavorites();
    }
    state.refresh();
}

void FileTreeView::startRenaming(const QString &path)
{
    finishRenaming();
    const QModelIndex index = m_model->indexForPath(path);
    if (!index.isValid()) {
        return;
    }
    m_view->scrollTo(index);
    m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_view->edit(index);
    if (QLineEdit *field = m_delegate->renameField()) {
        field->setFocus();
    }
}

void FileTreeView::finishRenaming()
{
    m_delegate->finishRenaming();
}

void FileTreeView::performRename(const QString &oldPath, const QString &newName)
{
    // A save still under way would write the old name anew after the rename.
    m_context.state.editor()->finishSaving();
    const FileOperationResult result = FileOperations::renameItem(m_context.repoPath(), oldPath, newName);
    if (!result.ok) {
        if (!result.message.isEmpty()) {
            showMessage(QStringLiteral("Rename"), result.message);
        }
        return;
    }
    followRename(oldPath, result.path);
    m_context.state.refresh();
}

// Favorites, open folders and the open file move along with a renamed item.
void FileTreeView::followRename(const QString &oldPath, const QString &newPath)
{
    RepositoryState &state = m_context.state;
    QSet<QString> favorites;
    bool favoritesMoved = false;
    for (const QString &favorite : state.favorites()) {
        const std::optional<QString> now = moved(favorite, oldPath, newPath);
        favorites.insert(now.value_or(favorite));
        favoritesMoved = favoritesMoved || now.has_value();
    }
    if (favoritesMoved) {
        state.setFavorites(favorites);
        state.saveFavorites();
    }
    QSet<QString> dirs;
    for (const QString &dir : std::as_const(m_expandedDirs)) {
        dirs.insert(moved(dir, oldPath, newPath).value_or(dir));
    }
    m_expandedDirs = dirs;
    const std::optional<QString> open = state.editor()->currentFilePath();
    if (const std::optional<QString> reopened = open ? moved(*open, oldPath, newPath) : std::nullopt) {
        // The editor keeps its edits under the new name, then opens the file there.
        state.editor()->followMovedFile(*reopened);
        if (m_context.onSelectFile) {
            m_context.onSelectFile(*reopened);
        }
    }
}

void FileTreeView::showMessage(const QString &title, const QString &message)
{
    auto *box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("sidebarMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace vesk
