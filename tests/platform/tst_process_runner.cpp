#include "platform/process_runner.h"

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <thread>

using namespace std::chrono_literals;
using vesk::ProcessRequest;
using vesk::runProcess;

namespace {

qint64 readPid(const QString &path)
{
    return vesk::test::readFile(path).trimmed().toLongLong();
}

// Polls for a file the stand-in writes; the bound only keeps a broken run from hanging.
void waitForFile(const QString &path)
{
    for (int i = 0; i < 3000 && !QFile::exists(path); ++i) {
        std::this_thread::sleep_for(10ms);
    }
}

} // namespace

class TestProcessRunner : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_scripts = 0;

    ProcessRequest scriptRequest(const QByteArray &body)
    {
        ProcessRequest request;
        request.program = vesk::test::writeScript(m_dir.path(), QStringLiteral("tool%1.sh").arg(++m_scripts), body);
        request.timeout = 120s;  // so that a deadlock fails instead of hanging
        return request;
    }

private Q_SLOTS:
    void completedRuns_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("captureError");
        QTest::addColumn<int>("exitCode");  // -1: ended by a signal
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        const QByteArray errorChannel = "echo err >&2; if [ -p /dev/fd/2 ]; then printf pipe; else printf null; fi";
        QTest::addRow("exit code") << QByteArray("printf out; exit 3") << false << 3 << QByteArray("out") << QByteArray();
        QTest::addRow("killed") << QByteArray("printf partial; kill -KILL $$") << false << -1 << QByteArray("partial")
                                << QByteArray();
        QTest::addRow("error dropped") << errorChannel << false << 0 << QByteArray("null") << QByteArray();
        QTest::addRow("error captured") << errorChannel << true << 0 << QByteArray("pipe") << QByteArray("err\n");
        QTest::addRow("no input is end of file") << QByteArray("cat; printf done") << false << 0 << QByteArray("done")
                                                 << QByteArray();
        QTest::addRow("environment") << QByteArray("printf '%s %s' \"$VESK_PROBE\" \"${PATH:+inherited}\"") << false << 0
                                     << QByteArray("probe inherited") << QByteArray();
        QTest::addRow("working directory") << QByteArray("pwd -P") << false << 0
                                           << QDir(m_dir.path()).canonicalPath().toUtf8() + '\n' << QByteArray();
    }

    void completedRuns()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, captureError);
        QFETCH(int, exitCode);
        ProcessRequest request = scriptRequest(body);
        request.captureStandardError = captureError;
        request.workingDirectory = m_dir.path();
        request.environment.insert(QStringLiteral("VESK_PROBE"), QStringLiteral("probe"));

        const auto result = runProcess(request);
        QVERIFY(result);
        QCOMPARE(result->endedBySignal, exitCode < 0);
        QCOMPARE(result->endedBySignal ? -1 : result->exitCode, exitCode);
        QTEST(result->standardOutput, "out");
        QTEST(result->standardError, "err");
    }

    void failsToStart_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("workingDirectory");
        QTest::addRow("missing program") << QStringLiteral("/nonexistent/tool") << QString();
        QTest::addRow("not executable") << vesk::test::writeFile(m_dir.path(), QStringLiteral("plain"), "echo hi") << QString();
        QTest::addRow("missing working directory") << QStringLiteral("/bin/true") << m_dir.filePath(QStringLiteral("gone"));
    }

    void failsToStart()
    {
        ProcessRequest request;
        QFETCH(QString, program);
        request.program = program;
        QFETCH(QString, workingDirectory);
        request.workingDirectory = workingDirectory;
        QVERIFY(!runProcess(request));
    }

    void largeStreams_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("inputSize");
        QTest::addColumn<int>("outSize");
        QTest::addColumn<int>("errSize");  // captured when not zero
        QTest::addRow("50 MB out") << QByteArray("head -c 50000000 /dev/zero") << 0 << 50'000'000 << 0;
        QTest::addRow("20 MB in and out") << QByteArray("cat") << 20'000'000 << 20'000'000 << 0;
        QTest::addRow("10 MB on both") << QByteArray("head -c 10000000 /dev/zero >&2; head -c 10000000 /dev/zero") << 0
                                       << 10'000'000 << 10'000'000;
    }

    void largeStreams()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, inputSize);
        QFETCH(int, errSize);
        ProcessRequest request = scriptRequest(body);
        QByteArray input(inputSize, Qt::Uninitialized);
        for (int i = 0; i < inputSize; ++i) {
            input[i] = char(i * 7 + i / 4096);
        }
        if (inputSize > 0) {
            request.standardInput = input;
        }
        request.captureStandardError = errSize > 0;

        const auto result = runProcess(request);
        QVERIFY(result);
        QTEST(int(result->standardOutput.size()), "outSize");
        QCOMPARE(int(result->standardError.size()), errSize);
        QVERIFY(inputSize == 0 || result->standardOutput == input);
    }

    // The stand-ins write their pid to $1 so the test can check that nothing is left behind.
    void stoppedRunsAreReaped_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("cancel");
        const QByteArray sleeping = "echo $$ > \"$1\"; exec sleep 60";
        const QByteArray ignoresTerm = "trap '' TERM; echo $$ > \"$1\"; exec sleep 60";
        const QByteArray childHoldsOutput = "echo $$ > \"$1\"; sleep 60 & echo $! > \"$1.child\"; wait";
        QTest::addRow("timeout: sleeping") << sleeping << false;
        QTest::addRow("timeout: ignores TERM") << ignoresTerm << false;
        QTest::addRow("timeout: child keeps output open") << childHoldsOutput << false;
        QTest::addRow("cancel: sleeping") << sleeping << true;
        QTest::addRow("cancel: ignores TERM") << ignoresTerm << true;
        QTest::addRow("cancel: exits cleanly on TERM")
            << QByteArray("trap 'exit 0' TERM; echo $$ > \"$1\"; while :; do sleep 0.05; done") << true;
    }

    void stoppedRunsAreReaped()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, cancel);
        const QString pidFile = m_dir.filePath(QStringLiteral("pid%1").arg(m_scripts + 1));
        ProcessRequest request = scriptRequest(body);
        request.arguments = QStringList{pidFile};
        request.timeout = 500ms;
        std::thread canceller;
        if (cancel) {
            request.timeout = 60s;
            request.cancel = std::make_shared<vesk::ProcessCancel>();
            canceller = std::thread([pidFile, flag = request.cancel] {
                waitForFile(pidFile);
                flag->cancel();
            });
        }

        const auto result = runProcess(request);
        if (canceller.joinable()) {
            canceller.join();
        }
        if (const qint64 child = readPid(pidFile + QStringLiteral(".child")); child > 0) {
            ::kill(pid_t(child), SIGKILL);
        }
        QCOMPARE(bool(result), cancel);
        QVERIFY(!cancel || result->endedBySignal);
        const qint64 pid = readPid(pidFile);
        QVERIFY(pid > 0);
        QVERIFY(::kill(pid_t(pid), 0) != 0 && errno == ESRCH);  // a zombie would still answer
    }

    void cancelledBeforeStartNeverRuns()
    {
        const QString marker = m_dir.filePath(QStringLiteral("ran"));
        ProcessRequest request = scriptRequest("touch \"$1\"");
        request.arguments = QStringList{marker};
        request.cancel = std::make_shared<vesk::ProcessCancel>();
        request.cancel->cancel();
        const auto result = runProcess(request);
        QVERIFY(result && result->endedBySignal);
        QVERIFY(!QFile::exists(marker));
    }

    void runsOnThreadsWithoutEventLoop()
    {
        const ProcessRequest request = scriptRequest("head -c 3000000 /dev/zero");
        std::optional<vesk::ProcessResult> fromStdThread;
        std::optional<vesk::ProcessResult> fromQThread;
        std::thread([&] { fromStdThread = runProcess(request); }).join();
        std::unique_ptr<QThread> thread(QThread::create([&] { fromQThread = runProcess(request); }));
        thread->start();
        QVERIFY(thread->wait(QDeadlineTimer(120s)));
        QVERIFY(fromStdThread && fromQThread);
        QCOMPARE(fromStdThread->standardOutput.size(), 3'000'000);
        QCOMPARE(fromQThread->standardOutput.size(), 3'000'000);
    }
};

QTEST_GUILESS_MAIN(TestProcessRunner)
#include "tst_process_runner.moc"
