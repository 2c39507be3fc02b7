#pragma once

#include <QWidget>

class QButtonGroup;
class QStackedWidget;
class QToolButton;

namespace vesk {

class AppState;
class FileTreeView;
class GitChangesView;
class RepositoryState;
class SearchPanelView;

// The three sidebar panels.
enum class SidebarTab { files, search, gitStatus };

// The sidebar of a repository tab: a segmented control ("Files", "Search", "Changes") over the
// file tree, find in files and the changes list. Every panel opens a chosen file in the tab's
// editor and saves the workspace. Turning the dot-file setting on or off refreshes the tab.
class SidebarView : public QWidget
{
    Q_OBJECT

public:
    SidebarView(AppState &app, RepositoryState &state, QWidget *parent = nullptr);

    SidebarTab selectedTab() const { return m_selected; }
    void setSelectedTab(SidebarTab tab);
    QToolButton *tabButton(SidebarTab tab) const;

    FileTreeView *fileTree() const { return m_fileTree; }
    SearchPanelView *searchPanel() const { return m_searchPanel; }
    GitChangesView *changesView() const { return m_changes; }

    // Opens `path` in the tab's editor, then saves the workspace.
    void selectFile(const QString &path);

Q_SIGNALS:
    // After a panel opened a file in the editor.
    void fileSelected(const QString &path);

private:
    AppState &m_app;
    RepositoryState &m_state;
    SidebarTab m_selected = SidebarTab::files;
    QButtonGroup *m_buttons;
    QStackedWidget *m_stack;
    FileTreeView *m_fileTree;
    SearchPanelView *m_searchPanel;
    GitChangesView *m_changes;
};

} // namespace vesk
