#include "platform/background.h"
#include "platform/preferences.h"
#include "platform/process_runner.h"
#include "platform/tool_paths.h"

#include "test_support.h"

#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <thread>

using namespace std::chrono_literals;
using namespace vesk;
using namespace vesk::test;

// What other threads may do: run child processes (and stop them), read the tools' paths, hand
// results back to the main thread, read and write the preferences.
class TestPlatformRuntime : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;  // scripts and preferences files made so far

    ProcessRequest script(const QByteArray &body, const QByteArray &input = {}, bool captureError = false)
    {
        ProcessRequest request;
        request.program = writeScript(m_dir.path(), QString("tool%1.sh").arg(++m_files), body);
        request.timeout = 120s;  // so that a deadlock fails instead of hanging
        request.workingDirectory = m_dir.path();
        request.environment.insert("VESK_PROBE", "probe");
        request.standardInput = input.isNull() ? std::nullopt : std::optional(input);
        request.captureStandardError = captureError;
        return request;
    }

    // QSettings caches a file once read in this process, so every case gets a file of its own.
    QString freshFile(const QByteArray &content = {})
    {
        const QString name = QString("prefs%1.ini").arg(++m_files);
        return content.isNull() ? m_dir.filePath(name) : writeFile(m_dir.path(), name, content);
    }

private Q_SLOTS:
    void cleanupTestCase() { Preferences::useFile(freshFile()); }

    void runs_data()
    {
        QTest::addColumn<ProcessRequest>("request");
        QTest::addColumn<int>("exitCode");  // -1: ended by a signal (or cancelled), -2: no result
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        const auto add = [](const char *row, const ProcessRequest &request, int exitCode, const QByteArray &out = {},
                            const QByteArray &err = {}) {
            QTest::addRow("%s", row) << request << exitCode << out << err;
        };
        const QByteArray errorChannel = "echo err >&2; if [ -p /dev/fd/2 ]; then printf pipe; else printf null; fi";
        const QByteArray input = QByteArray("0123456789abcdef\0\xff", 18).repeated(1'111'111);  // 20 MB, any byte
        add("exit code", script("printf out; exit 3"), 3, "out");
        add("killed", script("printf partial; kill -KILL $$"), -1, "partial");
        add("error dropped", script(errorChannel), 0, "null");
        add("error captured", script(errorChannel, {}, true), 0, "pipe", "err\n");
        add("no input is end of file", script("cat; printf done"), 0, "done");
        qputenv("VESK_INHERITED", "inherited");
        add("environment", script("printf '%s %s' \"$VESK_PROBE\" \"$VESK_INHERITED\""), 0, "probe inherited");
        add("working directory", script("pwd -P"), 0, QDir(m_dir.path()).canonicalPath().toUtf8() + '\n');
        add("50 MB out", script("head -c 50000000 /dev/zero"), 0, QByteArray(50'000'000, '\0'));
        add("20 MB in and out", script("cat", input), 0, input);
        add("10 MB on both", script("head -c 10000000 /dev/zero >&2; head -c 10000000 /dev/zero", {}, true), 0,
            QByteArray(10'000'000, '\0'), QByteArray(10'000'000, '\0'));
        ProcessRequest notStarting;
        notStarting.program = "/nonexistent/tool";
        add("missing program", notStarting, -2);
        notStarting.program = "/bin/true";
        notStarting.workingDirectory = m_dir.filePath("gone");
        add("missing working directory", notStarting, -2);
        notStarting.cancel = std::make_shared<ProcessCancel>();
        notStarting.cancel->cancel();
        add("cancelled before the start: not even tried", notStarting, -1);  // trying would give no result
        // These stand-ins write their pid to $1, so that the test can see nothing is left behind.
        const auto stopped = [this](const QByteArray &body, bool cancel) {  // else the time bound runs out
            ProcessRequest request = script(body);
            request.arguments = QStringList{m_dir.filePath(QString("pid%1").arg(m_files))};
            request.timeout = cancel ? 60s : 500ms;
            request.cancel = cancel ? std::make_shared<ProcessCancel>() : nullptr;
            return request;
        };
        const QByteArray pid = "echo $$ > \"$1\"; ";
        add("timeout: sleeping", stopped(pid + "exec sleep 60", false), -2);
        add("timeout: ignores TERM", stopped("trap '' TERM; " + pid + "exec sleep 60", false), -2);
        add("timeout: child keeps output open", stopped(pid + "sleep 60 & echo $! > \"$1.child\"; wait", false), -2);
        add("cancel: sleeping", stopped(pid + "exec sleep 60", true), -1);
        add("cancel: ignores TERM", stopped("trap '' TERM; " + pid + "exec sleep 60", true), -1);
        add("cancel: exits on TERM", stopped("trap 'exit 0' TERM; " + pid + "while :; do sleep 0.05; done", true), -1);
    }

    void runs()
    {
        QFETCH(ProcessRequest, request);
        const QString pidFile = request.arguments.value(0);
        const bool cancelMeanwhile = request.cancel && !request.cancel->isCancelled();
        std::optional<ProcessResult> result;
        std::thread runner([&] { result = runProcess(request); });  // a thread without an event loop
        if (cancelMeanwhile) {
            // Cancels once the stand-in has written its pid; the bound only keeps a broken run from hanging.
            for (int i = 0; i < 3000 && !QFile::exists(pidFile); ++i) {
                std::this_thread::sleep_for(10ms);
            }
            request.cancel->cancel();
        }
        runner.join();
        QTEST(result ? (result->endedBySignal ? -1 : result->exitCode) : -2, "exitCode");
        QTEST(result ? result->standardOutput : QByteArray(), "out");
        QTEST(result ? result->standardError : QByteArray(), "err");
        if (!pidFile.isEmpty()) {
            if (const qint64 child = readFile(pidFile + ".child").trimmed().toLongLong(); child > 0) {
                ::kill(pid_t(child), SIGKILL);
            }
            const qint64 pid = readFile(pidFile).trimmed().toLongLong();
            QVERIFY(pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH);  // a zombie would still answer
        }
    }

    // Workers read a tool's path while a test swaps it for a stand-in: every read must see one
    // whole value, and an override touches only its own tool.
    // A program that passes its time bound is stopped together with whatever it started: git's
    // own helpers must not outlive it. Each row hides a grandchild differently.
    void timeoutStopsTheWholeGroup_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addRow("child in the background") << QByteArray("sleep 300 &\necho $! > \"$1\"\nwait");
        QTest::addRow("child ignoring the request to end")
            << QByteArray("sh -c 'trap \"\" TERM; echo $$ > \"$1\"; sleep 300; sleep 300' \"$0\" \"$1\" &\nwait");
        QTest::addRow("program ignoring the request, child waiting")
            << QByteArray("trap '' TERM\nsleep 300 &\necho $! > \"$1\"\nwait; wait");
    }

    void timeoutStopsTheWholeGroup()
    {
        QFETCH(QByteArray, script);
        const QString pidFile = m_dir.filePath(QStringLiteral("pid%1").arg(++m_files));
        ProcessRequest request;
        request.program = writeScript(m_dir.path(), QStringLiteral("tool%1").arg(++m_files), script);
        request.arguments = {pidFile};
        request.timeout = 500ms;
        QVERIFY(!runProcess(request));
        bool ok = false;
        const qint64 pid = readFile(pidFile).trimmed().toLongLong(&ok);
        QVERIFY(ok && pid > 0);
        // Gone, or a zombie waiting for whoever adopted it to reap it.
        const auto alive = [pid] {
            const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
            const qsizetype close = stat.lastIndexOf(')');
            return close > 0 && stat.size() > close + 2 && stat[close + 2] != 'Z';
        };
        QTRY_VERIFY(!alive());
    }

    void toolPathOverrides()
    {
        const QString standIn = "/tmp/a-stand-in-long-enough-to-live-on-the-heap";
        setToolPath(Tool::Diff, standIn);
        QCOMPARE(toolPath(Tool::Git), "/usr/bin/git");
        std::atomic_bool stop{false};
        std::atomic_int torn{0};
        std::thread reader([&] {
            while (!stop) {
                const QString path = toolPath(Tool::Git);
                torn += path != standIn && path != "/usr/bin/git";
            }
        });
        for (int i = 0; i <= 20000; ++i) {
            setToolPath(Tool::Git, i % 2 ? standIn : QString());  // an empty path restores the default
        }
        stop = true;
        reader.join();
        QCOMPARE(torn.load(), 0);
        QCOMPARE(toolPath(Tool::Git), "/usr/bin/git");
        resetToolPaths();
        QCOMPARE(toolPath(Tool::Diff), "/usr/bin/diff");
    }

    // Most tasks wait on child processes: seven waiting ones must not hold up the eighth.
    void backgroundResult_data()
    {
        QTest::addColumn<int>("deleteTarget");  // 0: never, 1: while working, 2: after the hand-back was posted
        QTest::addRow("arrives on the main thread") << 0;
        QTest::addRow("dropped: target deleted while working") << 1;
        QTest::addRow("dropped: target deleted after the hand-back was posted") << 2;
    }

    void backgroundResult()
    {
        QFETCH(int, deleteTarget);
        auto target = std::make_unique<QObject>();
        QSemaphore started;
        QSemaphore release;
        for (int i = 0; i < 7; ++i) {
            runInBackground(WorkPriority::Utility, [&] {
                started.release();
                release.tryAcquire(1, 30000);
            });
        }
        QThread *worker = nullptr;
        QList<QThread *> handedBack;  // the worker's answer, then the thread it reached
        runInBackground<QThread *>(
            target.get(), WorkPriority::Background,
            [&] {
                started.release();
                release.tryAcquire(1, 30000);
                return worker = QThread::currentThread();
            },
            [&](QThread *answer) { handedBack << answer << QThread::currentThread(); });
        const bool allRunningAtOnce = started.tryAcquire(8, 30000);
        if (deleteTarget == 1) {
            target.reset();
        }
        release.release(8);
        waitForBackgroundWork();
        if (deleteTarget == 2) {
            target.reset();
        }
        // Events for the application object run in order: once this one has run, the hand-back
        // has run or been dropped.
        bool drained = false;
        postToMainThread(QPointer<QObject>(this), [&drained] { drained = true; });
        QTRY_VERIFY(drained);
        QVERIFY(allRunningAtOnce);
        QVERIFY(worker && worker != thread());
        QCOMPARE(handedBack, deleteTarget ? QList<QThread *>() : (QList<QThread *>{worker, thread()}));
    }

    // A value hand-edited into the file, or one set through the store (read back as set, then as
    // parsed from disk), read with the getter for the expected value's type.
    void typedReads_data()
    {
        QTest::addColumn<QByteArray>("onDisk");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("fallback");
        QTest::addColumn<QVariant>("expected");
        const auto add = [](const char *row, const QByteArray &onDisk, const QVariant &stored, const QVariant &fallback,
                            const QVariant &expected) {
            QTest::addRow("%s", row) << onDisk << stored << fallback << expected;
        };
        const QByteArray none;
        const QVariant unset;
        add("number", "42", unset, 7, qint64(42));
        add("not a number", "abc", unset, 7, qint64(7));
        add("not a number, no default", "abc", unset, unset, qint64(0));
        add("fraction as integer", "2.5", unset, 7, qint64(7));
        add("missing", none, unset, 7, qint64(7));
        add("default of the wrong type", none, unset, "abc", qint64(0));
        add("number set", none, 13, 7, qint64(13));
        add("false", "false", unset, true, false);
        add("true set", none, true, false, true);
        add("bool garbage", "yes please", unset, false, false);
        add("list set as bool", none, QStringList{"a", "b"}, true, true);
        add("integer set as bool", none, 5, false, false);
        add("double", "2.5", unset, 1.0, 2.5);
        add("double garbage", "2.5x", unset, 1.0, 1.0);
        add("quoted string", "\"hello, world\"", unset, unset, QString("hello, world"));
        add("string with a comma set", none, QString("Menlo, 12"), unset, QString("Menlo, 12"));
        add("number set as string", none, 42, unset, QString("42"));
        add("list as string", "a, b", unset, QString("d"), QString("d"));
        add("one-item list", "a", unset, QStringList{"d"}, QStringList{"a"});
        add("empty list", "@Invalid()", unset, QStringList{"d"}, QStringList());
        add("list with a comma set", none, QStringList{"/a", "/b, c"}, unset, QStringList{"/a", "/b, c"});
        add("bytes", "@ByteArray(\\x1z)", unset, unset, QByteArray("\x01z"));
        add("string as bytes", "text", unset, QByteArray("d"), QByteArray("d"));
    }

    void typedReads()
    {
        QFETCH(QByteArray, onDisk);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, fallback);
        QFETCH(QVariant, expected);
        const QString path = freshFile(onDisk.isNull() ? QByteArray("") : "[General]\nkey=" + onDisk + "\n");
        Preferences::useFile(path);
        Preferences &preferences = Preferences::instance();
        preferences.registerDefaults({{"key", fallback}});
        const auto read = [&p = preferences, type = expected.typeId()] {
            const QVariantList all{p.boolValue("key"),   p.intValue("key"),        p.doubleValue("key"),
                                   p.stringValue("key"), p.stringListValue("key"), p.bytesValue("key")};
            return *std::find_if(all.begin(), all.end(), [type](const QVariant &v) { return v.typeId() == type; });
        };
        if (stored.isValid()) {
            preferences.setValue("key", stored);
            QCOMPARE(read(), expected);
            preferences.sync();
            const QString copy = freshFile();
            QVERIFY(QFile::copy(path, copy));  // a path never read in this process is parsed from disk
            Preferences::useFile(copy);
        }
        QCOMPARE(read(), expected);
    }

    void changedIsSentOnTheMainThread_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<bool>("remove");
        QTest::addRow("set") << false << false;
        QTest::addRow("remove") << false << true;
        QTest::addRow("set from a worker") << true << false;
        QTest::addRow("remove from a worker") << true << true;
    }

    void changedIsSentOnTheMainThread()
    {
        QFETCH(bool, fromWorker);
        QFETCH(bool, remove);
        Preferences::useFile(freshFile("[General]\nwrap=false\n"));
        Preferences &preferences = Preferences::instance();
        QObject listener;  // its end ends the connection
        QStringList heard;
        connect(&preferences, &Preferences::changed, &listener, [&](const QString &key) {
            heard << key + (QThread::currentThread() == thread() ? " on the main thread" : " elsewhere");
        }, Qt::DirectConnection);
        const auto change = [&] { remove ? preferences.remove("wrap") : preferences.setValue("wrap", true); };
        fromWorker ? std::thread(change).join() : change();
        QTRY_COMPARE(heard, QStringList{"wrap on the main thread"});
        QCOMPARE(preferences.contains("wrap"), !remove);
    }
};

QTEST_GUILESS_MAIN(TestPlatformRuntime)
#include "tst_platform_runtime.moc"
