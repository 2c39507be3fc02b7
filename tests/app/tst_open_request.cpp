#include "app/command_line.h"
#include "app/open_request.h"
#include "app_test_util.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <QSettings>

#include <csignal>

using namespace vesk;
namespace t = vesk::test;

class TestOpenRequest : public QObject
{
    Q_OBJECT

    std::unique_ptr<t::Workspace> m_workspace;

    // "tabs | file:line" after the request has settled: the tab layout, the active editor's file
    // (relative to the workspace) and its first caret's line.
    QString outcome(AppState &app)
    {
        waitForBackgroundWork();
        RepositoryState *state = app.activeTabState();
        const EditorViewModel *editor = state ? state->editor() : nullptr;
        QString file = QStringLiteral("-");
        if (editor && editor->currentFilePath()) {
            file = QDir(m_workspace->path(".")).relativeFilePath(*editor->currentFilePath()) + u':'
                   + QString::number(editor->cursors().constFirst().line);
        }
        return t::tabLayout(app) + QStringLiteral(" | ") + file;
    }

private Q_SLOTS:
    void init() { m_workspace = std::make_unique<t::Workspace>(); }
    void cleanup() { m_workspace.reset(); }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("items");
        QTest::addRow("nothing") << QStringList{} << "run" << QStringList{};
        QTest::addRow("paths and urls") << QStringList{"a", "/b", "vesk://open?file=/c"} << "run"
                                        << QStringList{"a", "/b", "vesk://open?file=/c"};
        QTest::addRow("help") << QStringList{"a", "--help"} << "help" << QStringList{};
        QTest::addRow("short help") << QStringList{"-h"} << "help" << QStringList{};
        QTest::addRow("version") << QStringList{"--version", "a"} << "version" << QStringList{};
        QTest::addRow("unknown option") << QStringList{"--frobnicate", "a"} << "error" << QStringList{};
        QTest::addRow("dash dash makes paths") << QStringList{"--", "-h", "--x"} << "run" << QStringList{"-h", "--x"};
        QTest::addRow("a lone dash is a path") << QStringList{"-"} << "run" << QStringList{"-"};
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, action);
        QFETCH(QStringList, items);
        const CommandLine line = parseCommandLine(arguments);
        const QStringList names{"run", "help", "version", "error"};
        QCOMPARE(names[int(line.action)], action);
        QCOMPARE(line.items, items);
        QCOMPARE(line.error.isEmpty(), action != u"error");
    }

    // vesk:// and file:// URLs and paths, relative to the requester's folder.
    void openRequest_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("expected");
        QTest::addRow("vesk url with a line") << QStringList{"vesk://open?file=WS/r/f.txt&line=3"} << "*r | r/f.txt:2";
        QTest::addRow("line 0 does not move") << QStringList{"vesk://open?file=WS/r/f.txt&line=0"} << "*r | r/f.txt:0";
        QTest::addRow("line -1 does not move") << QStringList{"vesk://open?file=WS/r/f.txt&line=-1"} << "*r | r/f.txt:0";
        QTest::addRow("line x does not move") << QStringList{"vesk://open?file=WS/r/f.txt&line=x"} << "*r | r/f.txt:0";
        QTest::addRow("line past the end") << QStringList{"vesk://open?file=WS/r/f.txt&line=99"} << "*r | r/f.txt:4";
        QTest::addRow("no line") << QStringList{"vesk://open?file=WS/r/f.txt"} << "*r | r/f.txt:0";
        QTest::addRow("escaped path") << QStringList{"vesk://open?file=WS/r/with%20space.txt&line=2"}
                                      << "*r | r/with space.txt:1";
        QTest::addRow("no file item") << QStringList{"vesk://open?line=3"} << " | -";
        QTest::addRow("empty file item") << QStringList{"vesk://open?file=&line=3"} << " | -";
        QTest::addRow("missing file") << QStringList{"vesk://open?file=WS/r/nope.txt&line=3"} << " | -";
        QTest::addRow("another scheme") << QStringList{"https://example.com/?file=WS/r/f.txt"} << " | -";
        QTest::addRow("file url") << QStringList{"file://WS/r/f.txt"} << "*r | r/f.txt:0";
        QTest::addRow("file url through a link") << QStringList{"file://WS/link.txt"} << "*r | r/f.txt:0";
        QTest::addRow("relative paths") << QStringList{"r/f.txt", "plain"} << "r *plain | -";
        QTest::addRow("several, last wins") << QStringList{"plain", "WS/r", "plain/p.txt"} << "*plain r | plain/p.txt:0";
        QTest::addRow("a folder inside a repository") << QStringList{"WS/r/sub"} << "*r | -";
        QTest::addRow("nothing there") << QStringList{"WS/no/such/folder.txt", "nothing/x.txt", "file://WS/nothing"}
                                       << " | -";
        // A path on the command line may name a file to make; a URL names one that exists.
        QTest::addRow("a new file in a repository") << QStringList{"r/new.txt"} << "*r | r/new.txt:0";
        QTest::addRow("a new file in a folder") << QStringList{"WS/plain/new.txt"} << "*plain | plain/new.txt:0";
    }
    void openRequest()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, expected);
        m_workspace->repo("r", {{"f.txt", "1\n2\n3\n4\n5"}, {"with space.txt", "a\nb\n"}, {"sub/s.txt", "s\n"}});
        t::writeFile(m_workspace->path("plain"), "p.txt", "p\n");
        QVERIFY(t::makeSymlink(m_workspace->path("r/f.txt"), m_workspace->path("link.txt")));
        AppState app;
        const QString root = QDir(m_workspace->path(".")).canonicalPath();
        for (QString &item : items) {
            item.replace(QStringLiteral("WS"), root);
        }
        handleOpenRequest(app, items, root);  // waits for the restore by itself
        QTRY_VERIFY(app.hasRestored());
        QCoreApplication::sendPostedEvents();
        t::waitForOpens(app);
        // A timer started now runs out after the one that goes to the line.
        bool lineDelayOver = false;
        QTimer::singleShot(goToLineDelayMs, &app, [&] { lineDelayOver = true; });
        QTRY_VERIFY(lineDelayOver);
        QCOMPARE(outcome(app), expected);
    }

    // The real program: `vesk PATH…` opens the tabs, SIGTERM saves and ends it at once.
    void realProcessOpensAndEndsOnSigterm()
    {
        const QString repo = m_workspace->repo("r", {{"f.txt", "x\n"}});
        t::writeFile(m_workspace->path("plain"), "p.txt", "p\n");
        QProcess vesk;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", m_workspace->path("config"));
        vesk.setProcessEnvironment(env);
        vesk.setWorkingDirectory(m_workspace->path("."));
        vesk.start(QStringLiteral(VESK_BINARY), {"r/f.txt", "plain"});
        QVERIFY(vesk.waitForStarted());
        const QString settingsFile = m_workspace->path("config/Vesk/Vesk.conf");
        QTRY_VERIFY_WITH_TIMEOUT(QSettings(settingsFile, QSettings::IniFormat).value("savedRepoPaths").toStringList().size() == 2,
                                 20000);
        QElapsedTimer timer;
        timer.start();
        ::kill(pid_t(vesk.processId()), SIGTERM);
        QVERIFY(vesk.waitForFinished(10000));
        QCOMPARE(vesk.exitStatus(), QProcess::NormalExit);
        QCOMPARE(vesk.exitCode(), 0);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        const QSettings saved(settingsFile, QSettings::IniFormat);
        QVERIFY(saved.value("activeRepoPath").toString().endsWith("/plain"));
    }

    void realProcessHelpAndVersion_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::addRow("help") << QStringList{"--help"} << 0 << "Usage: vesk";
        QTest::addRow("version") << QStringList{"--version"} << 0 << "Vesk 0.";
        QTest::addRow("unknown option") << QStringList{"--nope"} << 2 << "vesk: unknown option";
    }
    void realProcessHelpAndVersion()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QProcess vesk;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", m_workspace->path("config"));
        env.remove("DISPLAY");
        vesk.setProcessEnvironment(env);
        vesk.start(QStringLiteral(VESK_BINARY), arguments);
        QVERIFY(vesk.waitForFinished(10000));
        QCOMPARE(vesk.exitCode(), status);
        const QString text = QString::fromUtf8(vesk.readAllStandardOutput() + vesk.readAllStandardError());
        QVERIFY2(text.contains(output), qPrintable(text));
    }
};

QTEST_MAIN(TestOpenRequest)
#include "tst_open_request.moc"
