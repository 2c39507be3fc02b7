#pragma once

#include "workspace/repository_tab.h"

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QMenuBar;

namespace vesk {

class AppState;
class DeferredRefresh;
class EditorViewModel;
class RepositoryState;

// The application's menus and their shortcuts: File (opening, tabs, saving, quitting), Edit
// (settings), Editor (carets, go to line) and Help. A command whose target is missing (no tab,
// no open file) does nothing. What reaches beyond the workspace (the open panel, settings, the
// About panel, quitting) is asked for through signals.
class MenuCommands : public QObject
{
    Q_OBJECT

public:
    MenuCommands(AppState &app, QMenuBar *menuBar, QObject *parent = nullptr);

    // The action titled `title` ("Save", "Go to Line…"), or null.
    QAction *action(const QString &title) const;
    QMenu *openRecentMenu() const { return m_recent; }

    // The targets of the commands: the active tab's state and its editor when a file is open.
    RepositoryState *activeState() const;
    EditorViewModel *activeEditor() const;

Q_SIGNALS:
    void openPanelRequested();
    void closeTabRequested(const RepositoryTab &tab);
    void settingsRequested();
    void aboutRequested();
    void quitRequested();

private:
    void addKeyCommand(QMenu *menu, const QString &title, QKeyCombination combination);
    QAction *add(QMenu *menu, const QString &title, const QList<QKeySequence> &shortcuts,
                 const std::function<void()> &run);
    void buildFileMenu(QMenuBar *menuBar);
    void buildEditMenu(QMenuBar *menuBar);
    void buildEditorMenu(QMenuBar *menuBar);
    void buildHelpMenu(QMenuBar *menuBar);
    void rebuildRecentMenu();

    AppState &m_app;
    QMenu *m_recent = nullptr;
    QList<QAction *> m_actions;
    DeferredRefresh *m_recentRefresh = nullptr;
};

} // namespace vesk
