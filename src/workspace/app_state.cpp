#include "workspace/app_state.h"

#include "editor/editor_view_model.h"
#include "platform/background.h"
#include "platform/preferences.h"
#include "workspace/repository_state.h"
#include "workspace/workspace_paths.h"

#include <QFileInfo>

#include <algorithm>

// Tabs, opening and recent files. Saving and restoring the workspace: app_state_persistence.cpp.

namespace vesk {

namespace {

const QString recentFilesKey = QStringLiteral("recentFiles");

QString quoted(const QString &name)
{
    return QStringLiteral("\u201C%1\u201D").arg(name);
}

} // namespace

AppState::AppState(QObject *parent)
    : QObject(parent)
{
    // Qt drops the queued call if this object is gone by then.
    QMetaObject::invokeMethod(this, &AppState::restoreState, Qt::QueuedConnection);
}

AppState::~AppState() = default;

void AppState::setActiveTabId(const std::optional<QUuid> &id)
{
    Q_EMIT willChange();
    m_activeTabId = id;
}

std::optional<RepositoryTab> AppState::activeTab() const
{
    const qsizetype index = activeIndex();
    return index < 0 ? std::nullopt : std::optional<RepositoryTab>(m_tabs[index]);
}

qsizetype AppState::indexOfTab(const QUuid &id) const
{
    const auto it =
        std::find_if(m_tabs.cbegin(), m_tabs.cend(), [&](const RepositoryTab &tab) { return tab.id == id; });
    return it == m_tabs.cend() ? -1 : qsizetype(it - m_tabs.cbegin());
}

qsizetype AppState::activeIndex() const
{
    return m_activeTabId ? indexOfTab(*m_activeTabId) : -1;
}

RepositoryState *AppState::tabState(const QUuid &tabId) const
{
    const auto it = m_tabStates.find(tabId);
    return it == m_tabStates.end() ? nullptr : it->second.get();
}

RepositoryState *AppState::activeTabState() const
{
    const std::optional<RepositoryTab> tab = activeTab();
    return tab ? tabState(tab->id) : nullptr;
}

void AppState::setErrorMessage(const std::optional<QString> &message)
{
    Q_EMIT willChange();
    m_errorMessage = message;
}

void AppState::setTabs(const QList<RepositoryTab> &tabs)
{
    Q_EMIT willChange();
    m_tabs = tabs;
}

// Recent files -------------------------------------------------------------------------------

void AppState::setRecentFiles(const QStringList &files)
{
    Q_EMIT willChange();
    m_recentFiles = files;
}

void AppState::writeRecentFiles()
{
    Preferences::instance().setValue(recentFilesKey, m_recentFiles);
}

void AppState::addRecentFile(const QString &path)
{
    QStringList files = m_recentFiles;
    files.removeAll(path);
    files.prepend(path);
    if (files.size() > recentFilesLimit) {
        files.resize(recentFilesLimit);
    }
    setRecentFiles(files);
    writeRecentFiles();
}

void AppState::loadRecentFiles()
{
    setRecentFiles(Preferences::instance().stringListValue(recentFilesKey));
}

void AppState::openRecentFile(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        QStringList files = m_recentFiles;
        files.removeAll(path);
        setRecentFiles(files);
        writeRecentFiles();
        return;
    }
    openFileFromFinder(path);
}

void AppState::clearRecentFiles()
{
    setRecentFiles({});
    Preferences::instance().remove(recentFilesKey);
}

void AppState::wireRecentTracking(RepositoryState *state)
{
    QPointer<AppState> self(this);
    state->editor()->setOnFileOpened([self](const QString &path) {
        if (self) {
            self->addRecentFile(path);
        }
    });
}

// Tabs ---------------------------------------------------------------------------------------

RepositoryState *AppState::makeState(const RepositoryTab &tab)
{
    auto *state = new RepositoryState(tab);
    wireRecentTracking(state);
    state->refresh();
    return state;
}

void AppState::appendTab(const RepositoryTab &tab, RepositoryState *state)
{
    m_tabStates[tab.id].reset(state);
    setTabs(m_tabs + QList<RepositoryTab>{tab});
}

struct AppState::PendingOpen
{
    std::function<void(const std::optional<QString> &)> finish;
    bool answered = false;
    std::optional<QString> gitRoot;
};

void AppState::openAfterLookup(std::function<std::optional<QString>()> lookUp,
                               std::function<void(const std::optional<QString> &)> finish)
{
    auto pending = std::make_shared<PendingOpen>();
    pending->finish = std::move(finish);
    m_pendingOpens.push_back(pending);
    runInBackground<std::optional<QString>>(this, WorkPriority::UserInitiated, std::move(lookUp),
                                            [this, pending](std::optional<QString> root) {
                                                pending->answered = true;
                                                pending->gitRoot = std::move(root);
                                                finishAnsweredOpens();
                                            });
}

void AppState::finishAnsweredOpens()
{
    while (!m_pendingOpens.empty() && m_pendingOpens.front()->answered) {
        const std::shared_ptr<PendingOpen> next = m_pendingOpens.front();
        m_pendingOpens.pop_front();
        next->finish(next->gitRoot);
    }
}

void AppState::openRepository(const QString &path)
{
    if (m_pendingOpens.empty()) {
        openRepositoryNow(path);
        return;
    }
    // Behind opens still waiting for git: takes its turn after them.
    openAfterLookup([] { return std::optional<QString>(); }, [this, path](const std::optional<QString> &) {
        openRepositoryNow(path);
    });
}

void AppState::openRepositoryNow(const QString &path)
{
    const QString canonical = WorkspacePaths::canonicalPath(path);
    for (const RepositoryTab &tab : std::as_const(m_tabs)) {
        if (WorkspacePaths::canonicalPath(tab.path) == canonical) {
            setActiveTabId(tab.id);
            saveState();
            return;
        }
    }
    const RepositoryTab tab = RepositoryTab::forPath(path);
    appendTab(tab, makeState(tab));
    setActiveTabId(tab.id);
    saveState();
}

void AppState::openChosenDirectory(const QString &dir)
{
    openAfterLookup([dir] { return WorkspacePaths::gitRootForDirectory(dir); },
                    [this, dir](const std::optional<QString> &root) { openRepositoryNow(root.value_or(dir)); });
}

void AppState::openFileInTab(const RepositoryTab &tab, const QString &file, bool startEmptyIfMissing)
{
    setActiveTabId(tab.id);
    if (RepositoryState *state = tabState(tab.id)) {
        state->editor()->openFile(file, startEmptyIfMissing ? EditorViewModel::MissingFile::startEmpty
                                                            : EditorViewModel::MissingFile::fail);
    }
    saveState();
}

bool AppState::openInTabHolding(const QString &target, bool startEmptyIfMissing)
{
    for (const RepositoryTab &tab : std::as_const(m_tabs)) {
        if (WorkspacePaths::isInside(target, WorkspacePaths::canonicalPath(tab.path))) {
            openFileInTab(tab, target, startEmptyIfMissing);
            return true;
        }
    }
    return false;
}

void AppState::openFileFromFinder(const QString &path, bool startEmptyIfMissing)
{
    const QString target = WorkspacePaths::canonicalPath(path);
    const QFileInfo info(target);
    // A file inside an open tab needs no lookup.
    if (m_pendingOpens.empty() && info.exists() && !info.isDir() && openInTabHolding(target)) {
        return;
    }
    const bool isDirectory = info.isDir();
    openAfterLookup(
        [target, isDirectory] {
            return isDirectory ? WorkspacePaths::gitRootForDirectory(target) : WorkspacePaths::findGitRoot(target);
        },
        [this, target, startEmptyIfMissing](const std::optional<QString> &root) {
            openFoundPath(target, root, startEmptyIfMissing);
        });
}

void AppState::openFoundPath(const QString &target, const std::optional<QString> &gitRoot, bool startEmptyIfMissing)
{
    const QFileInfo info(target);
    if (info.isDir()) {
        openRepositoryNow(gitRoot.value_or(target));
        return;
    }
    const bool startEmpty = startEmptyIfMissing && !info.exists() && !info.isSymLink() && QFileInfo(info.path()).isDir();
    if ((!info.exists() && !startEmpty) || openInTabHolding(target, startEmpty)) {
        return;
    }
    const QString root = WorkspacePaths::canonicalPath(gitRoot.value_or(info.path()));
    for (const RepositoryTab &tab : std::as_const(m_tabs)) {
        if (WorkspacePaths::canonicalPath(tab.path) == root) {
            openFileInTab(tab, target, startEmpty);
            return;
        }
    }
    const RepositoryTab tab = RepositoryTab::forPath(root);
    RepositoryState *state = makeState(tab);
    state->editor()->openFile(target, startEmpty ? EditorViewModel::MissingFile::startEmpty
                                                 : EditorViewModel::MissingFile::fail);
    appendTab(tab, state);
    setActiveTabId(tab.id);
    saveState();
}

void AppState::closeTab(const RepositoryTab &tab)
{
    if (RepositoryState *state = tabState(tab.id)) {
        EditorViewModel *editor = state->editor();
        editor->autoSaveAndWait();
        if (editor->currentFilePath() && editor->hasUnsavedEdits()) {
            const QString blocker = editor->closeBlocker();
            setErrorMessage(QStringLiteral("%1 was not closed: the unsaved edits to %2 could not be saved.%3")
                                .arg(quoted(tab.name), quoted(editor->currentFileName()),
                                     blocker.isEmpty() ? QString() : u' ' + blocker));
            return;
        }
    }
    closeTabWithoutSaving(tab);
}

void AppState::closeTabWithoutSaving(const RepositoryTab &tab)
{
    const bool wasActive = m_activeTabId == tab.id;
    QList<RepositoryTab> remaining = m_tabs;
    remaining.removeAll(tab);
    setTabs(remaining);
    m_tabStates.erase(tab.id);
    if (wasActive) {
        setActiveTabId(m_tabs.isEmpty() ? std::nullopt : std::optional<QUuid>(m_tabs.last().id));
    }
    saveState();
}

void AppState::moveTab(const QUuid &from, const QUuid &to)
{
    const qsizetype f = indexOfTab(from);
    const qsizetype t = indexOfTab(to);
    if (f < 0 || t < 0 || f == t) {
        return;
    }
    QList<RepositoryTab> tabs = m_tabs;
    tabs.move(f, t);  // lands where the target stood, before it when moving back, after it when moving on
    setTabs(tabs);
}

void AppState::selectNextTab()
{
    const qsizetype index = activeIndex();
    if (index >= 0 && index + 1 < m_tabs.size()) {
        setActiveTabId(m_tabs[index + 1].id);
    }
}

void AppState::selectPreviousTab()
{
    const qsizetype index = activeIndex();
    if (index > 0) {
        setActiveTabId(m_tabs[index - 1].id);
    }
}

void AppState::refreshAllTabs()
{
    for (const RepositoryTab &tab : std::as_const(m_tabs)) {
        if (RepositoryState *state = tabState(tab.id)) {
            state->refresh();
            state->editor()->reloadIfChanged();
            // Does its own lookup in the background and hands the result back here.
            state->editor()->refreshGitBaseline();
        }
    }
}

// Saving files -------------------------------------------------------------------------------

QList<EditorViewModel *> AppState::editorsWithFiles()
{
    QList<EditorViewModel *> editors;
    for (const RepositoryTab &tab : std::as_const(m_tabs)) {
        if (RepositoryState *state = tabState(tab.id); state && state->editor()->currentFilePath()) {
            editors.append(state->editor());
        }
    }
    m_standaloneEditors.removeAll(QPointer<EditorViewModel>());
    for (const QPointer<EditorViewModel> &editor : std::as_const(m_standaloneEditors)) {
        editors.append(editor.data());
    }
    return editors;
}

void AppState::saveAllFiles()
{
    for (EditorViewModel *editor : editorsWithFiles()) {
        editor->autoSave();
    }
}

void AppState::saveAllFilesAndWait()
{
    const QList<EditorViewModel *> editors = editorsWithFiles();
    for (EditorViewModel *editor : editors) {
        editor->autoSave();
    }
    for (EditorViewModel *editor : editors) {
        editor->finishSaving();
    }
}

void AppState::addStandaloneEditor(EditorViewModel *editor)
{
    if (editor && !m_standaloneEditors.contains(editor)) {
        m_standaloneEditors.append(editor);
    }
}

void AppState::removeStandaloneEditor(EditorViewModel *editor)
{
    m_standaloneEditors.removeAll(editor);
}

} // namespace vesk
