#include "workspace/app_state.h"

#include "editor/editor_view_model.h"
#include "platform/preferences.h"
#include "platform/regular_file.h"
#include "workspace/repository_state.h"

#include <QFileInfo>
#include <QVariantMap>

#include <algorithm>

// Saving the workspace to the preferences store and reading it back at launch. What is read back
// is checked piece by piece: a store holding something unreadable under any key loses that
// piece, never the rest.

namespace vesk {

namespace {

const QString savedRepoPathsKey = QStringLiteral("savedRepoPaths");
const QString activeRepoPathKey = QStringLiteral("activeRepoPath");
const QString sidebarWidthKey = QStringLiteral("sidebarWidth");
const QString perRepoStateKey = QStringLiteral("perRepoState");

constexpr double narrowestSidebar = 100.0;  // both bounds excluded
constexpr double widestSidebar = 800.0;

PerRepoState currentPerRepoState(const EditorViewModel &editor)
{
    PerRepoState saved;
    saved.openFilePath = editor.currentFilePath();
    if (!editor.cursors().isEmpty()) {
        saved.cursorLine = editor.cursors().first().line;
        saved.cursorColumn = editor.cursors().first().column;
    }
    saved.scrollOffsetY = editor.scrollState()->offsetY();
    return saved;
}

bool isStringMap(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap) {
        return false;
    }
    const QVariantMap map = value.toMap();
    return std::all_of(map.cbegin(), map.cend(),
                       [](const QVariant &item) { return item.typeId() == QMetaType::QString; });
}

// The saved per-repository entries that can be read; nothing at all unless the stored value is
// a dictionary of strings.
std::map<QString, PerRepoState> readPerRepoStates()
{
    std::map<QString, PerRepoState> states;
    const QVariant stored = Preferences::instance().value(perRepoStateKey);
    if (!isStringMap(stored)) {
        return states;
    }
    const QVariantMap map = stored.toMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (const std::optional<PerRepoState> state = PerRepoState::fromStoredText(it.value().toString())) {
            states.emplace(it.key(), *state);
        }
    }
    return states;
}

// Puts the caret back where it stood, clamped to the file as it is now.
void restoreCaret(EditorViewModel &editor, const PerRepoState &saved)
{
    // A big file still loading takes the place once its line has been read.
    editor.placeCaret(saved.cursorLine.value_or(0), saved.cursorColumn.value_or(0));
}

} // namespace

void AppState::saveState()
{
    Preferences &preferences = Preferences::instance();
    QStringList paths;
    QVariantMap perRepo;
    for (const RepositoryTab &tab : std::as_const(m_tabs)) {
        paths.append(tab.path);
        if (const RepositoryState *state = tabState(tab.id)) {
            if (const std::optional<QString> text = currentPerRepoState(*state->editor()).toStoredText()) {
                perRepo.insert(tab.path, *text);
            }
        }
    }
    preferences.setValue(savedRepoPathsKey, paths);
    if (const std::optional<RepositoryTab> active = activeTab()) {
        preferences.setValue(activeRepoPathKey, active->path);
    } else {
        preferences.remove(activeRepoPathKey);
    }
    preferences.setValue(sidebarWidthKey, m_sidebarWidth);
    preferences.setValue(perRepoStateKey, perRepo);
    preferences.sync();
}

void AppState::restoreState()
{
    if (m_restored) {
        return;
    }
    m_restored = true;
    Preferences &preferences = Preferences::instance();
    loadRecentFiles();

    const double width = preferences.doubleValue(sidebarWidthKey);
    if (width > narrowestSidebar && width < widestSidebar) {
        m_sidebarWidth = width;
    }

    const QStringList paths = preferences.stringListValue(savedRepoPathsKey);
    if (paths.isEmpty()) {
        return;
    }
    const std::optional<QString> activePath = preferences.contains(activeRepoPathKey)
        ? std::optional<QString>(preferences.stringValue(activeRepoPathKey))
        : std::nullopt;
    const std::map<QString, PerRepoState> states = readPerRepoStates();

    bool restoredAny = false;
    for (const QString &path : paths) {
        if (path.isEmpty() || !QFileInfo(path).isDir()) {
            continue;
        }
        const auto saved = states.find(path);
        restoreTab(path, saved == states.end() ? nullptr : &saved->second);
        restoredAny = true;
        if (path == activePath || !activeTab()) {
            setActiveTabId(m_tabs.last().id);
        }
    }
    if (!restoredAny) {
        // Every saved repository is gone: start from a clean slate next time too.
        preferences.remove(savedRepoPathsKey);
        preferences.remove(activeRepoPathKey);
        preferences.remove(perRepoStateKey);
    }
}

void AppState::restoreTab(const QString &path, const PerRepoState *saved)
{
    const RepositoryTab tab = RepositoryTab::forPath(path);
    RepositoryState *state = makeState(tab);
    // Only a regular file is opened again: one that has become a pipe or a device since is
    // skipped (the tab stays), since reading it could hang every start.
    if (saved && saved->openFilePath && isRegularFile(*saved->openFilePath)) {
        EditorViewModel &editor = *state->editor();
        editor.openFile(*saved->openFilePath);
        if (editor.currentFilePath()) {
            restoreCaret(editor, *saved);
        }
    }
    appendTab(tab, state);
}

} // namespace vesk
