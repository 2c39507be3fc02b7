#include "workspace/repository_state.h"

#include "editor/editor_view_model.h"
#include "platform/background.h"
#include "platform/preferences.h"
#include "workspace/git_manager.h"
#include "workspace/search_engine.h"

#include <QPointer>

#include <algorithm>
#include <memory>

namespace vesk {

namespace {

const QString showDotFilesKey = QStringLiteral("showDotFiles");

struct RefreshOutcome
{
    RefreshResult status;
    QList<FileNode> tree;
};

} // namespace

RepositoryState::RepositoryState(const RepositoryTab &tab, QObject *parent)
    : QObject(parent)
    , m_tab(tab)
    , m_git(new GitManager(this))
    , m_editor(new EditorViewModel(this))
    , m_search(new SearchEngine(this))
{
    connect(m_git, &GitManager::willChange, this, &RepositoryState::willChange);
    connect(m_editor, &EditorViewModel::willChange, this, &RepositoryState::willChange);
    connect(m_search, &SearchEngine::willChange, this, &RepositoryState::willChange);
    loadFavorites();
}

RepositoryState::~RepositoryState() = default;

void RepositoryState::setFavorites(const QSet<QString> &favorites)
{
    Q_EMIT willChange();
    m_favorites = favorites;
}

void RepositoryState::setFileTree(const QList<FileNode> &tree)
{
    Q_EMIT willChange();
    m_fileTree = tree;
}

QString RepositoryState::favoritesKey(const QString &repoPath)
{
    return QStringLiteral("favorites_") + repoPath;
}

void RepositoryState::loadFavorites()
{
    const Preferences &preferences = Preferences::instance();
    const QString key = favoritesKey(m_tab.path);
    if (preferences.contains(key)) {
        const QStringList paths = preferences.stringListValue(key);
        m_favorites = QSet<QString>(paths.cbegin(), paths.cend());
    }
}

void RepositoryState::saveFavorites() const
{
    QStringList paths(m_favorites.cbegin(), m_favorites.cend());
    paths.sort();
    Preferences::instance().setValue(favoritesKey(m_tab.path), paths);
}

void RepositoryState::refresh()
{
    const bool showDotFiles = Preferences::instance().boolValue(showDotFilesKey);
    const quint64 number = ++m_refreshesStarted;
    const QString path = m_tab.path;
    runInBackground<std::shared_ptr<RefreshOutcome>>(
        this, WorkPriority::UserInitiated,
        [path, showDotFiles, shown = m_git->statusEntries()] {
            auto outcome = std::make_shared<RefreshOutcome>();
            outcome->status = GitManager::collectStatus(path);
            // A failed read keeps the statuses on show (GitManager::apply), so the tree does too.
            const QList<GitStatusEntry> &entries = outcome->status.statusFailed ? shown : outcome->status.entries;
            outcome->tree = buildFileTree(path, path, entries, showDotFiles, 0);
            return outcome;
        },
        [this, number](std::shared_ptr<RefreshOutcome> outcome) {
            if (number < m_newestShown) {
                return;
            }
            m_newestShown = number;
            m_git->apply(outcome->status);
            Q_EMIT willChange();
            m_fileTree = std::move(outcome->tree);
        });
}

} // namespace vesk
