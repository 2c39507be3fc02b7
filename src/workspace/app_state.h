#pragma once

#include "workspace/per_repo_state.h"
#include "workspace/repository_tab.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace vesk {

class EditorViewModel;
class RepositoryState;

// The whole workspace: the open repository tabs in order, the active one, one RepositoryState
// per tab, and the recently opened files. Saves itself to the preferences store and restores
// itself one event-loop turn after construction.
//
// Announces willChange() before tabs, activeTabId, errorMessage or recentFiles change. Main
// thread only.
class AppState : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype recentFilesLimit = 15;
    static constexpr double defaultSidebarWidth = 280.0;

    explicit AppState(QObject *parent = nullptr);
    ~AppState() override;

    const QList<RepositoryTab> &tabs() const { return m_tabs; }
    const std::optional<QUuid> &activeTabId() const { return m_activeTabId; }
    void setActiveTabId(const std::optional<QUuid> &id);
    std::optional<RepositoryTab> activeTab() const;
    // The state of a tab, or null when the tab has none.
    RepositoryState *tabState(const QUuid &tabId) const;
    RepositoryState *activeTabState() const;
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString> &message);
    double sidebarWidth() const { return m_sidebarWidth; }
    void setSidebarWidth(double width) { m_sidebarWidth = width; }
    const QStringList &recentFiles() const { return m_recentFiles; }  // most recent first
    // True once the saved workspace has been read back.
    bool hasRestored() const { return m_restored; }

    // Recent files.
    void addRecentFile(const QString &path);
    void loadRecentFiles();
    // Opens the file, or quietly drops it from the list when nothing is there any more.
    void openRecentFile(const QString &path);
    void clearRecentFiles();

    // Opening never runs git on the main thread: where a repository's top level must be found,
    // git is asked in the background and the open completes when it answers. Opens complete in
    // the order they were asked for.
    //
    // Makes the tab of the directory `path` active, opening one when no tab shows that directory
    // (links resolved) yet.
    void openRepository(const QString &path);
    // A directory chosen by the user: its repository's top level, or the directory itself.
    void openChosenDirectory(const QString &dir);
    // A file or directory handed over from outside (the file browser, a recent file, a link):
    // the file opens in the first tab that holds it, else in a tab for its repository (or its
    // folder), made when needed. A path where nothing exists is ignored, unless
    // `startEmptyIfMissing` and its folder exists: then an empty editor opens that creates the file
    // on its first save (a new file named on the command line).
    void openFileFromFinder(const QString &path, bool startEmptyIfMissing = false);
    // True while an open waits for its repository's top level.
    bool isOpening() const { return !m_pendingOpens.empty(); }
    // Saves the tab's file, then drops the tab and its state. A file that cannot be saved keeps
    // its tab open (with errorMessage saying why in plain words), so its edits are not lost; the
    // view then offers closeTabWithoutSaving.
    void closeTab(const RepositoryTab &tab);
    // Drops the tab and its state, unsaved edits and all: only when the user said so.
    void closeTabWithoutSaving(const RepositoryTab &tab);
    // Moves the tab `from` to where the tab `to` stands.
    void moveTab(const QUuid &from, const QUuid &to);
    // Neither wraps around.
    void selectNextTab();
    void selectPreviousTab();
    // Re-reads every tab: git status and tree, the open file if it changed on disk, its baseline.
    void refreshAllTabs();

    // Auto-saves the open file of every tab and every standalone editor, in the background.
    void saveAllFiles();
    // The same, then waits until every write has ended (each wait bounded), for closing and
    // quitting. The files are written side by side.
    void saveAllFilesAndWait();
    // Writes the workspace to the preferences store and flushes it to disk.
    void saveState();

    // Editors of standalone windows, saved along with the tabs'. Removing is optional: an editor
    // that is destroyed drops out by itself.
    void addStandaloneEditor(EditorViewModel *editor);
    void removeStandaloneEditor(EditorViewModel *editor);

Q_SIGNALS:
    void willChange();

private:
    QList<EditorViewModel *> editorsWithFiles();
    void restoreState();
    void restoreTab(const QString &path, const PerRepoState *saved);
    RepositoryState *makeState(const RepositoryTab &tab);
    void wireRecentTracking(RepositoryState *state);
    void appendTab(const RepositoryTab &tab, RepositoryState *state);
    void setTabs(const QList<RepositoryTab> &tabs);
    void setRecentFiles(const QStringList &files);
    void writeRecentFiles();
    qsizetype indexOfTab(const QUuid &id) const;  // -1 when no tab has the id
    qsizetype activeIndex() const;
    // Makes the tab active and opens `file` in its editor.
    void openFileInTab(const RepositoryTab &tab, const QString &file, bool startEmptyIfMissing = false);
    void openRepositoryNow(const QString &path);
    // Opens the file `target` (canonical) in a tab that holds it; false when none does.
    bool openInTabHolding(const QString &target, bool startEmptyIfMissing = false);
    void openFoundPath(const QString &target, const std::optional<QString> &gitRoot, bool startEmptyIfMissing);
    struct PendingOpen;
    // Runs `lookUp` (a git-root lookup) off the main thread, then `finish` with its answer on the
    // main thread once every open asked for before it has finished.
    void openAfterLookup(std::function<std::optional<QString>()> lookUp,
                         std::function<void(const std::optional<QString> &)> finish);
    void finishAnsweredOpens();

    QList<RepositoryTab> m_tabs;
    std::optional<QUuid> m_activeTabId;
    std::optional<QString> m_errorMessage;
    double m_sidebarWidth = defaultSidebarWidth;
    std::map<QUuid, std::unique_ptr<RepositoryState>> m_tabStates;
    QStringList m_recentFiles;
    QList<QPointer<EditorViewModel>> m_standaloneEditors;
    bool m_restored = false;
    std::deque<std::shared_ptr<PendingOpen>> m_pendingOpens;
};

} // namespace vesk
