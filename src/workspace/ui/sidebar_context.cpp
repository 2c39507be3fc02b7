#include "workspace/ui/sidebar_context.h"

#include "editor/ui/standalone_editor_window.h"
#include "editor/ui/symbol_icons.h"
#include "editor/ui/editor_colors.h"
#include "platform/ui/file_manager.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"

#include <QApplication>
#include <QMenu>

namespace vesk {

QString SidebarContext::repoPath() const
{
    return state.tab().path;
}

bool SidebarContext::isFavorite(const QString &path) const
{
    return state.favorites().contains(path);
}

void SidebarContext::toggleFavorite(const QString &path) const
{
    QSet<QString> favorites = state.favorites();
    if (!favorites.remove(path)) {
        favorites.insert(path);
    }
    state.setFavorites(favorites);
    state.saveFavorites();
}

void SidebarContext::openInNewWindow(const QString &path) const
{
    if (StandaloneEditorWindow *window = openFileInNewWindow(path)) {
        app.addStandaloneEditor(window->editor());
    }
}

void SidebarContext::addFileEntries(QMenu *menu, const QString &path) const
{
    const QColor color = labelColor(menu->palette());
    menu->addAction(symbolIcon(QStringLiteral("macwindow.badge.plus"), color), QStringLiteral("Open in New Window"),
                    menu, [*this, path] { openInNewWindow(path); });
    const bool favorite = isFavorite(path);
    menu->addAction(symbolIcon(favorite ? QStringLiteral("star") : QStringLiteral("star.fill"), color),
                    favorite ? QStringLiteral("Remove from Favorites") : QStringLiteral("Add to Favorites"), menu,
                    [*this, path] { toggleFavorite(path); });
    addRevealEntry(menu, path);
}

void SidebarContext::addRevealEntry(QMenu *menu, const QString &path) const
{
    menu->addAction(revealInFileManagerTitle(), menu, [path] { revealInFileManager(path); });
}

} // namespace vesk
