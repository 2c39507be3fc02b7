#include "app/vesk_app.h"

#include "app/about_panel.h"
#include "app/appearance.h"
#include "app/desktop_appearance.h"
#include "app/main_window.h"
#include "app/menu_commands.h"
#include "app/settings_window.h"
#include "app/termination_watcher.h"
#include "editor/editor_view_model.h"
#include "editor/ui/standalone_editor_window.h"
#include "platform/preferences.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>
#include <QTimer>

namespace vesk {

VeskApp::VeskApp(DesktopAppearance *desktop, QObject *parent)
    : QObject(parent)
{
    registerDefaults();
    if (!desktop) {
        m_ownDesktop = std::make_unique<SystemDesktopAppearance>();
        desktop = m_ownDesktop.get();
    }
    m_appearance = new AppearanceController(desktop, this);
    m_appearance->apply();

    m_state = std::make_unique<AppState>();
    m_window = std::make_unique<MainWindow>(*m_state);
    m_window->setCloseHandler([this] { return confirmClose(); });

    MenuCommands *commands = m_window->commands();
    connect(commands, &MenuCommands::settingsRequested, this, [this] { showSettingsWindow(m_window.get()); });
    connect(commands, &MenuCommands::aboutRequested, this, [this] { showAboutPanel(m_window.get()); });
    connect(commands, &MenuCommands::quitRequested, this, &VeskApp::quit);

    connect(qApp, &QGuiApplication::applicationStateChanged, this, &VeskApp::applicationStateChanged);
    connect(qApp, &QGuiApplication::commitDataRequest, this, &VeskApp::commitData, Qt::DirectConnection);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { saveEverything(); });
    m_termination = new TerminationWatcher(this);
    connect(m_termination, &TerminationWatcher::terminationRequested, this, &VeskApp::terminate);
}

// The window goes before the state its views show.
VeskApp::~VeskApp()
{
    m_window.reset();
}

void VeskApp::registerDefaults()
{
    Preferences::instance().registerDefaults({
        {QStringLiteral("showWhitespace"), true},
        {QStringLiteral("syntaxHighlighting"), true},
        {QStringLiteral("tabWidth"), 4},
        {QStringLiteral("showDotFiles"), false},
    });
}

void VeskApp::saveEverything(FileWrites writes)
{
    for (StandaloneEditorWindow *window : standaloneWindows()) {
        m_state->addStandaloneEditor(window->editor());
    }
    if (writes == FileWrites::inBackground) {
        m_state->saveAllFiles();
    } else {
        m_state->saveAllFilesAndWait();
    }
    m_state->saveState();
}

QStringList VeskApp::unsavedFiles() const
{
    QStringList files;
    for (const RepositoryTab &tab : m_state->tabs()) {
        const RepositoryState *state = m_state->tabState(tab.id);
        const EditorViewModel *editor = state ? state->editor() : nullptr;
        if (editor && editor->currentFilePath() && editor->hasUnsavedEdits()) {
            files.append(QStringLiteral("\u201C%1\u201D (%2)").arg(editor->currentFileName(), tab.name));
        }
    }
    return files;
}

void VeskApp::applicationStateChanged(Qt::ApplicationState state)
{
    if (state == Qt::ApplicationActive) {
        if (m_state->hasRestored()) {
            m_state->refreshAllTabs();
        }
    } else {
        saveEverything(FileWrites::inBackground);
    }
}

bool VeskApp::confirmClose()
{
    saveEverything();
    if (m_discardConfirmed || unsavedFiles().isEmpty()) {
        return true;
    }
    askBeforeLosingEdits();
    return false;
}

// The edits could not be written (a failed write, or a file changed on disk that the conflict
// panel has yet to settle): leave the choice to the user.
void VeskApp::askBeforeLosingEdits()
{
    if (m_unsavedQuestion) {
        m_unsavedQuestion->raise();
        return;
    }
    const QStringList files = unsavedFiles();
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Unsaved Edits"),
                                files.size() == 1
                                    ? QStringLiteral("The edits to %1 could not be saved.").arg(files.first())
                                    : QStringLiteral("The edits to %1 files could not be saved.").arg(files.size()),
                                QMessageBox::NoButton, m_window.get());
    box->setObjectName(QStringLiteral("unsavedQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(QStringLiteral("Quitting now loses them. Edits kept in Vesk can still be saved "
                                           "once the file can be written again."));
    if (files.size() > 1) {
        box->setDetailedText(files.join(u'\n'));
    }
    QPushButton *discard = box->addButton(QStringLiteral("Quit Without Saving"), QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
    connect(discard, &QPushButton::clicked, this, [this] {
        m_discardConfirmed = true;
        QTimer::singleShot(0, this, [this] {
            if (m_quitting) {
                quit();
            } else {
                m_window->close();
            }
        });
    });
    connect(box, &QMessageBox::rejected, this, [this] { m_quitting = false; });
    box->setWindowModality(Qt::WindowModal);
    m_unsavedQuestion = box;
    box->show();
}

void VeskApp::quit()
{
    m_quitting = true;
    QApplication::closeAllWindows();
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->testAttribute(Qt::WA_QuitOnClose) && widget->isWindow()
            && widget->windowType() != Qt::Popup) {
            return;  // a window asked to stay, and its question is on show
        }
    }
    QCoreApplication::quit();
}

void VeskApp::terminate()
{
    saveEverything();
    m_discardConfirmed = true;
    QCoreApplication::quit();
}

void VeskApp::commitData(QSessionManager &manager)
{
    saveEverything();
    const QStringList files = unsavedFiles();
    if (files.isEmpty() || !manager.allowsInteraction()) {
        return;
    }
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        m_window.get(), QStringLiteral("Unsaved Edits"),
        QStringLiteral("The edits to %1 could not be saved. End the session anyway?").arg(files.join(QStringLiteral(", "))),
        QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel);
    manager.release();
    if (answer == QMessageBox::Cancel) {
        manager.cancel();
    } else {
        m_discardConfirmed = true;
    }
}

} // namespace vesk
