#pragma once

// A user at a desk: the real program on a private X display of its own, with a fresh home, driven
// by real X input (xdotool through the XTEST extension) and read back from the screen (tesseract).

#include "stall_watch.h"
#include "virtual_display.h"

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QSettings>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

namespace vesk::test {

// One word the reader found, in screen coordinates.
struct ScreenWord
{
    QString text;  // squeezed: letters and digits only, lower case
    QRect box;
};

class UserSession
{
public:
    UserSession();
    ~UserSession();
    Q_DISABLE_COPY_MOVE(UserSession)

    // Starts the private display. False (with `error()`) when there is none to be had here.
    bool startDisplay();
    QString error() const { return m_error; }
    QString home() const { return m_home.path(); }
    QString trashFiles() const { return home() + QStringLiteral("/.local/share/Trash/files"); }
    QString tempDir() const { return home() + QStringLiteral("/tmp"); }
    QString displayName() const { return m_display.name(); }

    // The program to start; the one just built unless set.
    void setProgram(const QString &path) { m_program = path; }

    // Starts `vesk ARGS…` as the main instance and waits until its window is mapped and has the
    // keyboard focus.
    bool launch(const QStringList &arguments);
    // Runs another `vesk ARGS…` to its end (the hand-off to a running instance); its exit code.
    int runSecond(const QStringList &arguments, int timeoutMs = 20000);
    bool running() const { return m_vesk && m_vesk->state() == QProcess::Running; }
    QProcess *process() { return m_vesk.get(); }
    // Ends the main instance as a user does (Ctrl+Q); true when it ended normally with status 0.
    bool quit(int timeoutMs);
    // Waits for the main instance to end by itself; true when it ended normally with status 0.
    bool waitForExit(int timeoutMs);
    // Ends every program this session started.
    void stopAll();

    // Real input. `keys` are xdotool key names ("ctrl+s", "Return").
    void key(const QString &keys);
    void type(const QString &text);
    void click(QPoint at, int button = 1);
    void moveMouse(QPoint at);
    void press(int button = 1);
    void release(int button = 1);
    // Gives the keyboard focus to the main window, or to another program's window (as when the
    // user switches to another program).
    void focusWindow();
    bool focusAway();
    WId windowId() const { return m_window; }
    // Drags `file` from another program's window (a real drag source speaking the X drag and
    // drop protocol) and lets go of it at `target`.
    bool dragFileTo(const QString &file, QPoint target);

    // The frame of the program's visible window whose title matches `title` (a regular
    // expression), once one shows.
    std::optional<QRect> waitForWindow(const QString &title, int timeoutMs);
    bool windowShown(const QString &title);

    QImage grab() const { return m_display.grab(); }
    // The words the reader finds in `region` of `screen` (the whole screen when empty).
    // `way` picks one of the reader's ways of looking (each sees what another may pass over).
    static QList<ScreenWord> words(const QImage &screen, QRect region = {}, int way = 0);
    // The reader's squeezed text of one region.
    static QString text(const QImage &screen, QRect region, int way = 0);

    // Polls `condition` until it holds or `timeoutMs` passes; never a fixed wait.
    bool waitUntil(const std::function<bool()> &condition, int timeoutMs, int pollMs = 100);
    // Waits until a word containing `word` (squeezed) is on screen inside `region`; its box.
    std::optional<QRect> waitForWord(const QString &word, QRect region, int timeoutMs, QImage *screen = nullptr);
    // Waits until the squeezed text of `region` contains `want`; `seen` gets the last reading.
    bool waitForText(const QString &want, QRect region, int timeoutMs, QString *seen = nullptr);

    // The preferences the program wrote, read fresh.
    std::unique_ptr<QSettings> preferences() const;
    QString preferencesPath() const;

    // The longest single step so far, for the figures.
    void beginStep(const QString &name);
    void endStep();
    QString slowestStep() const;
    // The longest time the main instance's main thread was away from its event loop while the
    // steps ran (from the window's first showing to the quit).
    QString longestStall() const;

private:
    QProcessEnvironment environment() const;
    bool xdotool(const QStringList &arguments, QByteArray *output = nullptr) const;
    std::optional<WId> findMainWindow() const;

    VirtualDisplay m_display;
    QTemporaryDir m_home;
    QString m_program = QStringLiteral(VESK_BINARY);
    std::unique_ptr<QProcess> m_vesk;
    std::unique_ptr<QProcess> m_peer;        // another program's window, to leave the program for
    std::unique_ptr<QProcess> m_dragSource;  // another program that drags files
    WId m_window = 0;
    QString m_error;
    StallWatch m_watch;
    QString m_step;
    QElapsedTimer m_stepClock;
    QString m_slowest;
    qint64 m_slowestMs = -1;
};

// Whether the reader's squeezed `seen` holds `want`, forgiving a misread letter in a long word.
bool readsAs(const QString &seen, const QString &want);

// Colours as the program draws them: the orange of a modified line or file.
bool isOrange(QRgb pixel);
// How many pixels in `region` of `screen` pass `test`.
int countPixels(const QImage &screen, QRect region, const std::function<bool(QRgb)> &test);

} // namespace vesk::test
