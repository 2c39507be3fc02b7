#include "app/menu_commands.h"

#include "app/help_window.h"
#include "editor/editor_view_model.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/go_to_line_panel.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace vesk {

MenuCommands::MenuCommands(AppState &app, QMenuBar *menuBar, QObject *parent)
    : QObject(parent)
    , m_app(app)
    , m_recentRefresh(new DeferredRefresh(this, [this] { rebuildRecentMenu(); }))
{
    buildFileMenu(menuBar);
    buildEditMenu(menuBar);
    buildEditorMenu(menuBar);
    buildHelpMenu(menuBar);
    m_recentRefresh->watch(&app, &AppState::willChange);
    rebuildRecentMenu();
}

QAction *MenuCommands::action(const QString &title) const
{
    for (QAction *action : m_actions) {
        if (action->text() == title) {
            return action;
        }
    }
    return nullptr;
}

RepositoryState *MenuCommands::activeState() const
{
    return m_app.activeTabState();
}

EditorViewModel *MenuCommands::activeEditor() const
{
    RepositoryState *state = activeState();
    return state && state->editor()->currentFilePath() ? state->editor() : nullptr;
}

QAction *MenuCommands::add(QMenu *menu, const QString &title, const QList<QKeySequence> &shortcuts,
                           const std::function<void()> &run)
{
    QAction *action = menu->addAction(title);
    action->setShortcuts(shortcuts);
    connect(action, &QAction::triggered, this, run);
    m_actions.append(action);
    return action;
}

void MenuCommands::buildFileMenu(QMenuBar *menuBar)
{
    QMenu *file = menuBar->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("Open Repo/Directory\u2026"), {QKeySequence(Qt::CTRL | Qt::Key_O)},
        [this] { Q_EMIT openPanelRequested(); });
    m_recent = file->addMenu(QStringLiteral("Open Recent"));
    add(file, QStringLiteral("New Tab"), {QKeySequence(Qt::CTRL | Qt::Key_T)}, [this] { Q_EMIT openPanelRequested(); });
    add(file, QStringLiteral("Close Tab"), {QKeySequence(Qt::CTRL | Qt::Key_W)}, [this] {
        if (const std::optional<RepositoryTab> tab = m_app.activeTab()) {
            Q_EMIT closeTabRequested(*tab);
        }
    });
    file->addSeparator();
    add(file, QStringLiteral("Save"), {QKeySequence(Qt::CTRL | Qt::Key_S)}, [this] {
        if (EditorViewModel *editor = activeEditor()) {
            // The git status is read again once the file is written.
            QPointer<RepositoryState> state(activeState());
            editor->save([state] {
                if (state) {
                    state->refresh();
                }
            });
        }
    });
    add(file, QStringLiteral("Refresh"), {QKeySequence(Qt::CTRL | Qt::Key_R)}, [this] {
        if (RepositoryState *state = activeState()) {
            state->refresh();
        }
    });
    file->addSeparator();
    // Shift+] types "}" on most layouts, so both forms are listed; Ctrl+Page Down is the
    // desktop's usual next-tab key.
    add(file, QStringLiteral("Next Tab"),
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_BracketRight), QKeySequence(Qt::CTRL | Qt::Key_BraceRight),
         QKeySequence(Qt::CTRL | Qt::Key_PageDown)},
        [this] { m_app.selectNextTab(); });
    add(file, QStringLiteral("Previous Tab"),
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_BracketLeft), QKeySequence(Qt::CTRL | Qt::Key_BraceLeft),
         QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
        [this] { m_app.selectPreviousTab(); });
    file->addSeparator();
    QAction *quit = add(file, QStringLiteral("Quit"), {QKeySequence(Qt::CTRL | Qt::Key_Q)},
                        [this] { Q_EMIT quitRequested(); });
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcutContext(Qt::ApplicationShortcut);
}

void MenuCommands::buildEditMenu(QMenuBar *menuBar)
{
    QMenu *edit = menuBar->addMenu(QStringLiteral("&Edit"));
    // The editor's own keys (Ctrl is Command on macOS); text fields know them as well.
    addKeyCommand(edit, QStringLiteral("Undo"), Qt::CTRL | Qt::Key_Z);
    addKeyCommand(edit, QStringLiteral("Redo"), Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    edit->addSeparator();
    addKeyCommand(edit, QStringLiteral("Cut"), Qt::CTRL | Qt::Key_X);
    addKeyCommand(edit, QStringLiteral("Copy"), Qt::CTRL | Qt::Key_C);
    addKeyCommand(edit, QStringLiteral("Paste"), Qt::CTRL | Qt::Key_V);
    addKeyCommand(edit, QStringLiteral("Select All"), Qt::CTRL | Qt::Key_A);
    edit->addSeparator();
    QAction *settings = add(edit, QStringLiteral("Settings\u2026"), {QKeySequence(Qt::CTRL | Qt::Key_Comma)},
                            [this] { Q_EMIT settingsRequested(); });
    settings->setMenuRole(QAction::PreferencesRole);
    settings->setShortcutContext(Qt::ApplicationShortcut);
}

// The standard editing commands belong to whatever field has the focus: the editor, the search
// field, a name being edited. The command sends that field its key, so each field does what its
// own key does; the shortcut is only shown (and works) while the menu is open, and the key
// itself keeps going straight to the field.
void MenuCommands::addKeyCommand(QMenu *menu, const QString &title, QKeyCombination combination)
{
    QAction *action = add(menu, title, {QKeySequence(combination)}, [combination] {
        QWidget *target = QApplication::focusWidget();
        if (!target) {
            return;
        }
        QKeyEvent press(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
        QKeyEvent release(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers());
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    });
    action->setShortcutContext(Qt::WidgetShortcut);
}

void MenuCommands::buildEditorMenu(QMenuBar *menuBar)
{
    QMenu *editor = menuBar->addMenu(QStringLiteral("E&ditor"));
    add(editor, QStringLiteral("Add Cursor Above"), {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Up)}, [this] {
        if (EditorViewModel *target = activeEditor()) {
            target->addCursorAbove();
        }
    });
    add(editor, QStringLiteral("Add Cursor Below"), {QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Down)}, [this] {
        if (EditorViewModel *target = activeEditor()) {
            target->addCursorBelow();
        }
    });
    editor->addSeparator();
    add(editor, QStringLiteral("Go to Line\u2026"), {QKeySequence(Qt::CTRL | Qt::Key_L)},
        [this] { showGoToLinePanel(activeEditor()); });
}

void MenuCommands::buildHelpMenu(QMenuBar *menuBar)
{
    QMenu *help = menuBar->addMenu(QStringLiteral("&Help"));
    QAction *vekHelp = add(help, QStringLiteral("Vesk Help"),
                           {QKeySequence(Qt::Key_F1), QKeySequence(Qt::CTRL | Qt::Key_Question)},
                           [] { showHelpPage(QStringLiteral("index.html")); });
    vekHelp->setShortcutContext(Qt::ApplicationShortcut);
    help->addSeparator();
    QAction *about = add(help, QStringLiteral("About Vesk"), {}, [this] { Q_EMIT aboutRequested(); });
    about->setMenuRole(QAction::AboutRole);
}

void MenuCommands::rebuildRecentMenu()
{
    m_recent->clear();
    const QStringList files = m_app.recentFiles();
    if (files.isEmpty()) {
        m_recent->addAction(QStringLiteral("No Recent Files"))->setEnabled(false);
        return;
    }
    for (const QString &path : files) {
        QAction *entry = m_recent->addAction(QFileInfo(path).fileName());
        entry->setToolTip(path);
        entry->setData(path);
        connect(entry, &QAction::triggered, this, [this, path] { m_app.openRecentFile(path); });
    }
    m_recent->addSeparator();
    QAction *clear = m_recent->addAction(QStringLiteral("Clear Menu"));
    connect(clear, &QAction::triggered, this, [this] { m_app.clearRecentFiles(); });
}

} // namespace vesk
