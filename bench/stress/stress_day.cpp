// A long run of random user actions against the whole program in one process, with a model of
// what the disk and the editor must hold after each one. Not a test: run it by hand.
//
//   stress_day [--seconds N] [--files N] [--seed N]
//
// Builds a repository of N files (50,000 by default) in a temporary folder, opens it in the real
// main window (offscreen), and for N seconds (1,800 by default) types, edits at two carets, undoes
// and redoes, saves, changes files behind the editor, switches files, searches and refreshes, all
// through real key events into the window. After every action the editor's text and the files on
// disk are compared with the model. It reports every divergence, the resident memory every minute
// and every main-thread stall over 100 ms (a timer that should fire every 10 ms and did not).
// Exit status 0 when nothing diverged and nothing crashed.

#include "app/main_window.h"
#include "app/vesk_app.h"
#include "editor/editor_view_model.h"
#include "platform/preferences.h"
#include "text/vesk_document.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"
#include "workspace/search_engine.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

using namespace vesk;

QTextStream out(stdout);

struct Options
{
    int seconds = 1800;
    int files = 50000;
    quint32 seed = 1;
};

Options parse(const QStringList &arguments)
{
    Options options;
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == u"--seconds")
            options.seconds = arguments[i + 1].toInt();
        else if (arguments[i] == u"--files")
            options.files = arguments[i + 1].toInt();
        else if (arguments[i] == u"--seed")
            options.seed = arguments[i + 1].toUInt();
    }
    return options;
}

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

bool runGit(const QString &repo, const QStringList &arguments)
{
    QProcess git;
    git.setWorkingDirectory(repo);
    git.start(QStringLiteral("/usr/bin/git"), arguments);
    return git.waitForFinished(600000) && git.exitCode() == 0;
}

QByteArray readDisk(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeDisk(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// What one working file must hold: in the editor (with its undo and redo history) and on disk.
struct FileModel
{
    QString path;
    QString disk;
};

class StressDay : public QObject
{
public:
    StressDay(const Options &options, const QString &root)
        : m_options(options)
        , m_random(options.seed)
        , m_root(root)
    {
    }

    bool prepare()
    {
        m_repo = m_root + QStringLiteral("/bigrepo");
        QElapsedTimer clock;
        clock.start();
        // Many folders of a hundred files each; a few carry a needle the searches look for.
        for (int i = 0; i < m_options.files; ++i) {
            const QString dir = QStringLiteral("%1/d%2").arg(m_repo).arg(i / 100, 3, 10, QLatin1Char('0'));
            if (i % 100 == 0)
                QDir().mkpath(dir);
            QByteArray text = QStringLiteral("file %1\nline two\nline three\n").arg(i).toUtf8();
            if (i % 1000 == 7)
                text += "the needleInHay is here\n";
            if (!writeDisk(QStringLiteral("%1/f%2.txt").arg(dir).arg(i), text))
                return false;
        }
        for (int i = 0; i < workingFiles; ++i) {
            const QString path = QStringLiteral("%1/work/w%2.txt").arg(m_repo).arg(i);
            QDir().mkpath(QFileInfo(path).absolutePath());
            const QString text = QStringLiteral("work %1 first\nsecond\nthird\n").arg(i);
            writeDisk(path, text.toUtf8());
            m_files.append({path, text});
        }
        m_needles = m_options.files / 1000 + (m_options.files % 1000 > 7 ? 1 : 0);
        if (!runGit(m_repo, {QStringLiteral("init"), QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("main")})
            || !runGit(m_repo, {QStringLiteral("add"), QStringLiteral("-A")})
            || !runGit(m_repo, {QStringLiteral("-c"), QStringLiteral("user.name=s"), QStringLiteral("-c"),
                                QStringLiteral("user.email=s@s"), QStringLiteral("commit"), QStringLiteral("-qm"),
                                QStringLiteral("start")}))
            return false;
        out << "repository: " << m_options.files << " files, made in " << clock.elapsed() << " ms\n";
        out.flush();
        return true;
    }

    int run()
    {
        m_app = std::make_unique<VeskApp>();
        m_app->state().openChosenDirectory(m_repo);
        MainWindow *window = m_app->mainWindow();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window) || !waitFor([&] { return editor() != nullptr; }, 60000)) {
            out << "the window or the repository did not come up\n";
            return 2;
        }
        // The editor's clock moves only between actions: typing within one action never pauses
        // long enough to start a new undo step, whatever the machine's load, so the model knows
        // exactly which steps there are.
        editor()->setClock([this] { return m_now; });
        openFile(0);

        QElapsedTimer heartbeatClock;
        heartbeatClock.start();
        QTimer heartbeat;
        heartbeat.setInterval(10);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const qint64 gap = heartbeatClock.restart();
            if (gap > 100 + 10) {
                ++m_stalls;
                ActionStalls &stalls = m_stallsByAction[m_lastAction];
                ++stalls.count;
                stalls.longest = std::max(stalls.longest, gap);
                if (gap > m_longestStall) {
                    m_longestStall = gap;
                    m_longestStallAction = m_lastAction;
                }
            }
        });
        heartbeat.start();

        QElapsedTimer clock;
        clock.start();
        qint64 nextReport = 0;
        while (clock.elapsed() < qint64(m_options.seconds) * 1000 && m_divergences < 20) {
            if (clock.elapsed() >= nextReport) {
                out << QStringLiteral("t=%1s actions=%2 rss=%3MB stalls>100ms=%4 longest=%5ms (%6) divergences=%7\n")
                           .arg(clock.elapsed() / 1000)
                           .arg(m_actions)
                           .arg(residentMegabytes(), 0, 'f', 1)
                           .arg(m_stalls)
                           .arg(m_longestStall)
                           .arg(m_longestStallAction)
                           .arg(m_divergences);
                out.flush();
                nextReport += 60000;
            }
            step();
            ++m_actions;
            QCoreApplication::processEvents();
        }
        out << QStringLiteral("done: actions=%1 rss=%2MB stalls>100ms=%3 longest=%4ms (%5) divergences=%6 "
                              "slowest action=%7ms (%8)\n")
                   .arg(m_actions)
                   .arg(residentMegabytes(), 0, 'f', 1)
                   .arg(m_stalls)
                   .arg(m_longestStall)
                   .arg(m_longestStallAction)
                   .arg(m_divergences)
                   .arg(m_slowestAction)
                   .arg(m_slowestActionName);
        for (auto it = m_stallsByAction.cbegin(); it != m_stallsByAction.cend(); ++it) {
            out << QStringLiteral("  stalls in %1: %2, longest %3 ms\n").arg(it.key()).arg(it->count).arg(it->longest);
        }
        out.flush();
        return m_divergences == 0 ? 0 : 1;
    }

private:
    static constexpr int workingFiles = 12;

    EditorViewModel *editor() const
    {
        RepositoryState *state = m_app->state().activeTabState();
        return state ? state->editor() : nullptr;
    }

    template <typename Condition>
    bool waitFor(Condition condition, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    void keys(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : m_app->mainWindow();
        QTest::keyClick(target, key, modifiers);
    }

    void typeText(const QString &text)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : m_app->mainWindow();
        QTest::keyClicks(target, text);
    }

    void diverged(const QString &what)
    {
        ++m_divergences;
        out << "DIVERGED after " << m_lastAction << " (action " << m_actions << "): " << what << "\n";
        out.flush();
    }

    QString editorText() const
    {
        const EditorViewModel *model = editor();
        return model && model->document() ? model->document()->text() : QStringLiteral("<no document>");
    }

    void openFile(int index)
    {
        // Opening another file saves the one that was open.
        const int previous = m_current;
        if (previous >= 0)
            m_files[previous].disk = m_text;
        m_current = index;
        editor()->openFile(m_files[index].path);
        m_text = m_files[index].disk;
        m_undo.clear();
        m_redo.clear();
        m_app->mainWindow()->activateWindow();
        waitFor([&] { return editor()->currentFilePath() == m_files[index].path; }, 10000);
        if (previous >= 0 && previous != index && !diskSettles(previous))
            diverged(QStringLiteral("the file left behind holds %1 bytes on disk, the model %2")
                         .arg(readDisk(m_files[previous].path).size())
                         .arg(m_files[previous].disk.toUtf8().size()));
    }

    // An edit the model can follow: every action begins with a caret jump, which closes the
    // previous undo step, so one action is one step.
    void edit(const QString &after)
    {
        m_undo.append(m_text);
        m_redo.clear();
        m_text = after;
    }

    void step()
    {
        QElapsedTimer clock;
        clock.start();
        m_now += 60000;
        const int choice = int(m_random.bounded(100));
        if (choice < 30) {
            m_lastAction = QStringLiteral("type at the end");
            keys(Qt::Key_End, Qt::ControlModifier);
            const QString word = QStringLiteral("w%1 ").arg(m_random.bounded(1000));
            typeText(word);
            edit(m_text + word);
        } else if (choice < 45) {
            m_lastAction = QStringLiteral("type at two carets");
            keys(Qt::Key_Home, Qt::ControlModifier);
            keys(Qt::Key_Down, Qt::ControlModifier | Qt::AltModifier);
            typeText(QStringLiteral("ab"));
            QStringList lines = m_text.split(u'\n');
            for (int i = 0; i < 2 && i < lines.size(); ++i)
                lines[i].prepend(QStringLiteral("ab"));
            edit(lines.join(u'\n'));
            keys(Qt::Key_Escape);
        } else if (choice < 55) {
            m_lastAction = QStringLiteral("undo");
            keys(Qt::Key_Z, Qt::ControlModifier);
            if (!m_undo.isEmpty()) {
                m_redo.append(m_text);
                m_text = m_undo.takeLast();
            }
        } else if (choice < 62) {
            m_lastAction = QStringLiteral("redo");
            keys(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            if (!m_redo.isEmpty()) {
                m_undo.append(m_text);
                m_text = m_redo.takeLast();
            }
        } else if (choice < 72) {
            m_lastAction = QStringLiteral("save");
            keys(Qt::Key_S, Qt::ControlModifier);
            m_files[m_current].disk = m_text;
        } else if (choice < 78) {
            m_lastAction = QStringLiteral("external change");
            // Only behind a clean editor: it takes the change over silently. The save is written
            // in the background; the outside change comes after it has landed.
            keys(Qt::Key_S, Qt::ControlModifier);
            m_files[m_current].disk = m_text;
            diskSettles(m_current);
            const QString changed = m_text + QStringLiteral("outside %1\n").arg(m_actions);
            QThread::msleep(5);  // a later modification time than the save's, even on coarse clocks
            writeDisk(m_files[m_current].path, changed.toUtf8());
            editor()->reloadIfChanged();  // what coming back to the window does
            waitFor([&] { return editorText() == changed; }, 10000);
            m_files[m_current].disk = changed;
            m_text = changed;
            m_undo.clear();
            m_redo.clear();
        } else if (choice < 88) {
            m_lastAction = QStringLiteral("switch file");
            openFile(int(m_random.bounded(workingFiles)));
        } else if (choice < 95) {
            m_lastAction = QStringLiteral("search");
            SearchEngine *search = m_app->state().activeTabState()->search();
            search->setQuery(QStringLiteral("needleInHay"));
            search->search(m_repo);
            if (!waitFor([&] { return !search->isSearching(); }, 120000))
                diverged(QStringLiteral("the search did not finish in two minutes"));
            else if (search->results().size() != m_needles)
                diverged(QStringLiteral("search found %1 hits, the repository holds %2")
                             .arg(search->results().size())
                             .arg(m_needles));
        } else {
            m_lastAction = QStringLiteral("refresh");
            keys(Qt::Key_R, Qt::ControlModifier);
        }
        check();
        const qint64 ms = clock.elapsed();
        if (ms > m_slowestAction) {
            m_slowestAction = ms;
            m_slowestActionName = m_lastAction;
        }
    }

    // Saves are written off the main thread: the disk must come to hold the model's text soon,
    // with the event loop turning meanwhile.
    bool diskSettles(int index)
    {
        const QByteArray want = m_files[index].disk.toUtf8();
        return waitFor([&] { return readDisk(m_files[index].path) == want; }, 10000);
    }

    void check()
    {
        const QString text = editorText();
        if (text != m_text)
            diverged(QStringLiteral("the editor holds %1 characters, the model %2 (tail: \"%3\" vs \"%4\")")
                         .arg(text.size())
                         .arg(m_text.size())
                         .arg(text.right(24), m_text.right(24)));
        diskSettles(m_current);
        const QByteArray disk = readDisk(m_files[m_current].path);
        if (disk != m_files[m_current].disk.toUtf8())
            diverged(QStringLiteral("the disk holds %1 bytes, the model %2").arg(disk.size()).arg(m_files[m_current].disk.toUtf8().size()));
    }

    Options m_options;
    QRandomGenerator m_random;
    QString m_root;
    QString m_repo;
    std::unique_ptr<VeskApp> m_app;
    QList<FileModel> m_files;
    int m_current = -1;
    QString m_text;
    QStringList m_undo;
    QStringList m_redo;
    qsizetype m_needles = 0;
    qint64 m_actions = 0;
    qint64 m_now = 0;
    int m_divergences = 0;
    int m_stalls = 0;
    qint64 m_longestStall = 0;
    QString m_longestStallAction;
    QString m_lastAction = QStringLiteral("start");
    struct ActionStalls
    {
        int count = 0;
        qint64 longest = 0;
    };
    QMap<QString, ActionStalls> m_stallsByAction;
    qint64 m_slowestAction = 0;
    QString m_slowestActionName;
};

} // namespace

int main(int argc, char *argv[])
{
    // A home of its own: the run must not touch the user's preferences or trash.
    QTemporaryDir root;
    if (!root.isValid())
        return 2;
    const QByteArray home = root.path().toUtf8() + "/home";
    QDir().mkpath(QString::fromUtf8(home + "/tmp"));
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("TMPDIR", home + "/tmp");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setOrganizationName(QStringLiteral("Vesk"));
    const Options options = parse(QApplication::arguments());
    StressDay day(options, root.path());
    if (!day.prepare()) {
        out << "could not build the repository\n";
        return 2;
    }
    return day.run();
}
