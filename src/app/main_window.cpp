#include "app/main_window.h"

#include "app/key_hook_filter.h"
#include "app/menu_commands.h"
#include "app/repository_view.h"
#include "app/tab_bar_view.h"
#include "app/welcome_view.h"
#include "editor/editor_view_model.h"
#include "editor/ui/conflict_panel.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/window_title.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace vesk {

namespace {

constexpr int reloadDelayMs = 100;

} // namespace

MainWindow::MainWindow(AppState &app, QWidget *parent)
    : QMainWindow(parent)
    , m_app(app)
    , m_refresh(new DeferredRefresh(this, [this] { sync(); }))
    , m_editorRefresh(new DeferredRefresh(this, [this] {
        updateTitle();
        checkConflict();
    }))
{
    setObjectName(QStringLiteral("mainWindow"));
    resize(1200, 780);
    setMinimumSize(640, 400);

    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_tabBar = new TabBarView(app, central);
    m_tabBar->setFixedHeight(TabBarView::barHeight);
    column->addWidget(m_tabBar);
    column->addWidget(makeHorizontalDivider(central));
    m_content = new QStackedWidget(central);
    m_welcome = new WelcomeView(m_content);
    m_content->addWidget(m_welcome);
    column->addWidget(m_content, 1);
    setCentralWidget(central);

    m_commands = new MenuCommands(app, menuBar(), this);
    connect(m_commands, &MenuCommands::openPanelRequested, this, &MainWindow::showOpenPanel);
    connect(m_commands, &MenuCommands::closeTabRequested, this, &MainWindow::requestCloseTab);
    connect(m_tabBar, &TabBarView::openRequested, this, &MainWindow::showOpenPanel);
    connect(m_tabBar, &TabBarView::closeRequested, this, &MainWindow::requestCloseTab);
    connect(m_welcome, &WelcomeView::openRequested, this, &MainWindow::showOpenPanel);

    m_refresh->watch(&app, &AppState::willChange);
    sync();
}

MainWindow::~MainWindow() = default;

RepositoryView *MainWindow::activeView() const
{
    return qobject_cast<RepositoryView *>(m_content->currentWidget());
}

EditorViewModel *MainWindow::activeEditor() const
{
    RepositoryState *state = m_app.activeTabState();
    return state ? state->editor() : nullptr;
}

void MainWindow::showOpenPanel()
{
    auto *dialog = new QFileDialog(this, QStringLiteral("Choose a Repo or Directory"));
    dialog->setObjectName(QStringLiteral("openPanel"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (const std::optional<RepositoryTab> tab = m_app.activeTab()) {
        dialog->setDirectory(QFileInfo(tab->path).absolutePath());
    }
    QPointer<AppState> app(&m_app);
    connect(dialog, &QFileDialog::fileSelected, this, [app](const QString &dir) {
        if (app && !dir.isEmpty()) {
            app->openChosenDirectory(dir);
        }
    });
    dialog->open();
}

void MainWindow::requestCloseTab(const RepositoryTab &tab)
{
    m_app.closeTab(tab);
    if (!m_app.tabs().contains(tab) || !m_app.errorMessage()) {
        return;
    }
    // The file could not be saved: the choice is the user's, asked here rather than in the
    // plain "Error" alert.
    const QString reason = *m_app.errorMessage();
    m_app.setErrorMessage(std::nullopt);
    if (m_closeQuestion) {
        m_closeQuestion->close();
    }
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Unsaved Edits"), reason, QMessageBox::NoButton,
                                this);
    box->setObjectName(QStringLiteral("closeTabQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *discard = box->addButton(QStringLiteral("Close Without Saving"), QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
    QPointer<AppState> app(&m_app);
    connect(discard, &QPushButton::clicked, this, [app, tab] {
        if (app) {
            app->closeTabWithoutSaving(tab);
        }
    });
    box->setWindowModality(Qt::WindowModal);
    m_closeQuestion = box;
    box->show();
}

void MainWindow::sync()
{
    dropClosedViews();
    showActiveView();
    watchActiveEditor();
    showError();
}

void MainWindow::dropClosedViews()
{
    for (auto it = m_views.begin(); it != m_views.end();) {
        if (!m_app.tabState(it.key())) {
            RepositoryView *view = it.value();
            m_content->removeWidget(view);
            // At once, not later: the view's panels hold the tab's state, which is already gone,
            // and a refresh they queued must not run before a later deletion would drop it. This
            // runs from the window's own queued refresh, never from inside the view.
            delete view;
            it = m_views.erase(it);
        } else {
            ++it;
        }
    }
}

void MainWindow::showActiveView()
{
    const std::optional<RepositoryTab> tab = m_app.activeTab();
    RepositoryState *state = tab ? m_app.tabState(tab->id) : nullptr;
    if (!state) {
        m_content->setCurrentWidget(m_welcome);
        return;
    }
    RepositoryView *view = m_views.value(tab->id);
    if (!view) {
        view = new RepositoryView(m_app, *state, m_content);
        connect(view, &RepositoryView::sidebarWidthChosen, this, [this, view](double width) {
            for (RepositoryView *other : std::as_const(m_views)) {
                if (other != view) {
                    other->setSidebarWidth(width);
                }
            }
        });
        m_content->addWidget(view);
        m_views.insert(tab->id, view);
    }
    if (m_content->currentWidget() != view) {
        const bool hadFocus = m_content->isAncestorOf(QApplication::focusWidget());
        m_content->setCurrentWidget(view);
        if (hadFocus || !QApplication::focusWidget()) {
            view->setFocus(Qt::OtherFocusReason);
        }
    }
}

void MainWindow::watchActiveEditor()
{
    EditorViewModel *editor = activeEditor();
    if (editor != m_watchedEditor) {
        m_watchedEditor = editor;
        m_conflictShown = false;
        m_editorRefresh->rewatch(m_editorConnection, editor, &EditorViewModel::willChange);
    } else {
        m_editorRefresh->request();
    }
}

QString MainWindow::expectedTitle() const
{
    const std::optional<RepositoryTab> tab = m_app.activeTab();
    if (!tab) {
        return {};
    }
    const EditorViewModel *editor = activeEditor();
    if (editor && editor->currentFilePath()) {
        return editor->currentFileName() + QStringLiteral(" \u2014 ") + tab->name;
    }
    return tab->name;
}

void MainWindow::updateTitle()
{
    const EditorViewModel *editor = activeEditor();
    setFileWindowTitle(*this, expectedTitle(), editor && editor->currentFilePath() && editor->hasUnsavedEdits());
}

void MainWindow::checkConflict()
{
    EditorViewModel *editor = m_watchedEditor;
    const bool pending = editor && editor->pendingConflict();
    if (pending && !m_conflictShown) {
        QPointer<EditorViewModel> weak(editor);
        showConflictPanel(
            editor,
            [weak] {
                if (weak) {
                    weak->forceReloadFromDisk();
                }
            },
            [weak] {
                if (weak) {
                    weak->forceSaveToDisk();
                }
            });
    }
    m_conflictShown = pending;
}

void MainWindow::showError()
{
    const std::optional<QString> &message = m_app.errorMessage();
    if (!message || message->isEmpty()) {
        if (m_errorAlert) {
            m_errorAlert->close();
        }
        return;
    }
    if (m_errorAlert) {
        m_errorAlert->setText(*message);
        return;
    }
    auto *alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Error"), *message, QMessageBox::Ok, this);
    alert->setObjectName(QStringLiteral("errorAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<AppState> app(&m_app);
    connect(alert, &QMessageBox::finished, this, [app] {
        if (app && app->errorMessage()) {
            app->setErrorMessage(std::nullopt);
        }
    });
    m_errorAlert = alert;
    alert->setWindowModality(Qt::WindowModal);
    alert->show();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_keyHookInstalled) {
        m_keyHookInstalled = true;
        KeyHookFilter::install(m_app, this);
    }
}

bool MainWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate) {
        // Coming back from one of our own panels is no return from elsewhere: after "Cancel" in
        // the conflict panel, looking again at once would raise the same conflict at once.
        const bool fromOwnPanel = std::exchange(m_leftForOwnPanel, false);
        QPointer<EditorViewModel> editor = activeEditor();
        QTimer::singleShot(reloadDelayMs, this, [editor, fromOwnPanel] {
            if (editor && !fromOwnPanel) {
                editor->reloadIfChanged();
            }
        });
    } else if (event->type() == QEvent::WindowDeactivate) {
        m_leftForOwnPanel = qobject_cast<QDialog *>(QApplication::activeWindow()) != nullptr;
        if (EditorViewModel *editor = activeEditor()) {
            editor->autoSave();
        }
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_closeHandler && !m_closeHandler()) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace vesk
