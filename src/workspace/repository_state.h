#pragma once

#include "workspace/file_node.h"
#include "workspace/repository_tab.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

namespace vesk {

class EditorViewModel;
class GitManager;
class SearchEngine;

// Everything that belongs to one repository tab: its git status, its editor, its find-in-files
// engine, the file tree of the sidebar and the favorite files.
//
// Announces willChange() before fileTree or favorites change, and whenever the git manager, the
// editor or the search engine announces a change of its own. Main thread only.
class RepositoryState : public QObject
{
    Q_OBJECT

public:
    // Loads the favorites; the tree stays empty until the first refresh().
    explicit RepositoryState(const RepositoryTab &tab, QObject *parent = nullptr);
    ~RepositoryState() override;

    const RepositoryTab &tab() const { return m_tab; }
    GitManager *git() const { return m_git; }
    EditorViewModel *editor() const { return m_editor; }
    SearchEngine *search() const { return m_search; }
    const QList<FileNode> &fileTree() const { return m_fileTree; }
    // Replaces the tree as a finished refresh does (benchmarks feed views with it).
    void setFileTree(const QList<FileNode> &tree);
    const QSet<QString> &favorites() const { return m_favorites; }
    void setFavorites(const QSet<QString> &favorites);

    // Reads git status and rebuilds the tree in the background; returns at once. When several
    // refreshes overlap, the one started last decides what is shown: the result of an older one
    // that finishes later is a staler look at the disk and is dropped.
    void refresh();

    // Writes the favorites to the preferences store.
    void saveFavorites() const;

    // The preferences key of the favorites of the repository at `repoPath`.
    static QString favoritesKey(const QString &repoPath);

Q_SIGNALS:
    void willChange();

private:
    void loadFavorites();

    RepositoryTab m_tab;
    GitManager *m_git;
    EditorViewModel *m_editor;
    SearchEngine *m_search;
    QList<FileNode> m_fileTree;
    QSet<QString> m_favorites;
    quint64 m_refreshesStarted = 0;
    quint64 m_newestShown = 0;  // the number of the refresh whose result is on show
};

} // namespace vesk
