#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <memory>

class QSessionManager;

namespace vesk {

class AppState;
class AppearanceController;
class DesktopAppearance;
class MainWindow;
class TerminationWatcher;

// The application: the one AppState for the whole run, the main window, the appearance and the
// reactions to the application's own events. Work is saved whenever the user leaves (the
// application goes inactive, the window closes, Quit, the session ends, SIGTERM), and looked at
// again when the user comes back.
class VeskApp : public QObject
{
    Q_OBJECT

public:
    // `desktop` says whether the desktop is dark; null uses the real desktop.
    explicit VeskApp(DesktopAppearance *desktop = nullptr, QObject *parent = nullptr);
    ~VeskApp() override;

    AppState &state() const { return *m_state; }
    MainWindow *mainWindow() const { return m_window.get(); }
    AppearanceController *appearance() const { return m_appearance; }
    // The question asked when a quit could not save everything, while it is open.
    QMessageBox *unsavedQuestion() const { return m_unsavedQuestion; }

    // The settings every reader of the store may ask for before the user has touched them.
    static void registerDefaults();

    // Saves every open file, then the workspace, and flushes the store. Leaving the application
    // lets the files be written in the background; closing and quitting wait for the writes.
    enum class FileWrites { inBackground, waitUntilWritten };
    void saveEverything(FileWrites writes = FileWrites::waitUntilWritten);
    // Files whose edits are still unsaved after saving: "name (tab)" for each.
    QStringList unsavedFiles() const;

    // Ctrl+Q: closes every window, asking first when edits could not be saved; ends the run
    // when they all closed.
    void quit();
    // SIGTERM and the like: saves what can be saved and ends the run without asking.
    void terminate();

private:
    bool confirmClose();
    void askBeforeLosingEdits();
    void applicationStateChanged(Qt::ApplicationState state);
    void commitData(QSessionManager &manager);

    std::unique_ptr<DesktopAppearance> m_ownDesktop;
    std::unique_ptr<AppState> m_state;
    AppearanceController *m_appearance = nullptr;
    std::unique_ptr<MainWindow> m_window;
    TerminationWatcher *m_termination = nullptr;
    QPointer<QMessageBox> m_unsavedQuestion;
    bool m_discardConfirmed = false;
    bool m_quitting = false;
};

} // namespace vesk
