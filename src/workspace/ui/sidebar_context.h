#pragma once

#include <QString>

#include <functional>

class QMenu;
class QWidget;

namespace vesk {

class AppState;
class RepositoryState;

// What every sidebar panel works with: the workspace, the tab's state, and the callback that
// opens a chosen file in the tab's editor.
struct SidebarContext
{
    AppState &app;
    RepositoryState &state;
    std::function<void(const QString &path)> onSelectFile;

    // The tab's root folder.
    QString repoPath() const;
    bool isFavorite(const QString &path) const;
    // Adds the path to the favorites or takes it out, and saves them.
    void toggleFavorite(const QString &path) const;
    // Opens the file in a standalone window of its own, saved along with the workspace.
    void openInNewWindow(const QString &path) const;

    // The file entries every panel's row menu offers: "Open in New Window", "Add to Favorites" or
    // "Remove from Favorites", and the reveal entry.
    void addFileEntries(QMenu *menu, const QString &path) const;
    void addRevealEntry(QMenu *menu, const QString &path) const;
};

} // namespace vesk
