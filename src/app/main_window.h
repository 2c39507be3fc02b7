#pragma once

#include "editor/editor_view_model.h"
#include "workspace/repository_tab.h"

#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QUuid>

#include <functional>

class QStackedWidget;

namespace vesk {

class AppState;
class DeferredRefresh;
class MenuCommands;
class RepositoryView;
class TabBarView;
class WelcomeView;

// The application's one window: the tab bar, a divider, and under them the active tab's
// repository view or, with no tab, the welcome view. Each tab's view is made the first time the
// tab is shown and kept while the tab lives, so switching back finds it as it was.
//
// Also shows AppState's error message as the "Error" alert, the conflict panel when the active
// editor's file changed on disk under unsaved edits, and sets the window title to the open file
// and tab ("main.c — repo").
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppState &app, QWidget *parent = nullptr);
    ~MainWindow() override;

    AppState &app() const { return m_app; }
    MenuCommands *commands() const { return m_commands; }
    TabBarView *tabBar() const { return m_tabBar; }
    WelcomeView *welcomeView() const { return m_welcome; }
    // The view on show for the active tab, or null on the welcome view.
    RepositoryView *activeView() const;
    RepositoryView *viewForTab(const QUuid &id) const { return m_views.value(id); }
    QMessageBox *errorAlert() const { return m_errorAlert; }

    // The title for the current state: "file — tab", "tab", or empty.
    QString expectedTitle() const;

    // The folder chooser: a directory chosen here opens as a tab for its repository.
    void showOpenPanel();
    // Closes the tab after saving its file; when the file cannot be saved, asks whether to close
    // it without saving.
    void requestCloseTab(const RepositoryTab &tab);
    QMessageBox *closeQuestion() const { return m_closeQuestion; }

    // Decides whether a close of the window (its close button, the window manager, Quit) goes
    // ahead; without one it always does.
    void setCloseHandler(std::function<bool()> handler) { m_closeHandler = std::move(handler); }

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void sync();
    void showActiveView();
    void dropClosedViews();
    void updateTitle();
    void showError();
    void watchActiveEditor();
    void checkConflict();
    EditorViewModel *activeEditor() const;

    AppState &m_app;
    MenuCommands *m_commands = nullptr;
    TabBarView *m_tabBar = nullptr;
    QStackedWidget *m_content = nullptr;
    WelcomeView *m_welcome = nullptr;
    QHash<QUuid, RepositoryView *> m_views;
    DeferredRefresh *m_refresh = nullptr;
    DeferredRefresh *m_editorRefresh = nullptr;
    QPointer<EditorViewModel> m_watchedEditor;
    QMetaObject::Connection m_editorConnection;
    bool m_conflictShown = false;
    QPointer<QMessageBox> m_errorAlert;
    QPointer<QMessageBox> m_closeQuestion;
    bool m_keyHookInstalled = false;
    bool m_leftForOwnPanel = false;
    std::function<bool()> m_closeHandler;
};

} // namespace vesk
