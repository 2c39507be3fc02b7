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

bool isGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// Polls for a file another process writes; the bound only keeps a broken run from hanging.
bool waitForFile(const QString &path)
{
    for (int i = 0; i < 3000 && !QFile::exists(path); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return QFile::exists(path);
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
        request.timeout = 120s;  // only so that a deadlock fails instead of hanging
        return request;
    }

private Q_SLOTS:
    void completedRuns_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QVariant>("input");
        QTest::addColumn<bool>("captureError");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("bySignal");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");

        const QVariant none;
        QTest::addRow("exit code") << QByteArray("printf out; exit 3") << none << false << 3 << false
                                   << QByteArray("out") << QByteArray();
        QTest::addRow("killed") << QByteArray("printf partial; kill -KILL $$") << none << false << 0 << true
                                << QByteArray("partial") << QByteArray();
        const QByteArray errorChannel = "echo err >&2; if [ -p /dev/fd/2 ]; then printf pipe; else printf null; fi";
        QTest::addRow("error dropped") << errorChannel << none << false << 0 << false << QByteArray("null")
                                       << QByteArray();
        QTest::addRow("error captured") << errorChannel << none << true << 0 << false << QByteArray("pipe")
                                        << QByteArray("err\n");
        QTest::addRow("error only") << QByteArray("echo err >&2; exit 1") << none << true << 1 << false
                                    << QByteArray() << QByteArray("err\n");
        QTest::addRow("no input is end of file") << QByteArray("cat; printf done") << none << false << 0 << false
                                                 << QByteArray("done") << QByteArray();
        QTest::addRow("empty input") << QByteArray("cat; printf done") << QVariant(QByteArray()) << false << 0
                                     << false << QByteArray("done") << QByteArray();
        QTest::addRow("environment") << QByteArray("printf '%s %s' \"$VESK_PROBE\" \"${PATH:+inherited}\"") << none
                                     << false << 0 << false << QByteArray("probe inherited") << QByteArray();
        QTest::addRow("working directory") << QByteArray("pwd -P") << none << false << 0 << false
                                           << QDir(m_dir.path()).canonicalPath().toUtf8() + '\n' << QByteArray();
    }

    void completedRuns()
    {
        QFETCH(QByteArray, body);
        QFETCH(QVariant, input);
        QFETCH(bool, captureError);
        ProcessRequest request = scriptRequest(body);
        if (input.isValid()) {
            request.standardInput = input.toByteArray();
        }
        request.captureStandardError = captureError;
        request.workingDirectory = m_dir.path();
        request.environment.insert(QStringLiteral("VESK_PROBE"), QStringLiteral("probe"));

        const auto result = runProcess(request);
        QVERIFY(result);
        QTEST(result->endedBySignal, "bySignal");
        if (!result->endedBySignal) {
            QTEST(result->exitCode, "exitCode");
        }
        QTEST(result->standardOutput, "out");
        QTEST(result->standardError, "err");
    }

    void failsToStart_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("workingDirectory");
        const QString notExecutable = vesk::test::writeFile(m_dir.path(), QStringLiteral("plain.txt"), "echo hi\n");
        QTest::addRow("missing program") << QStringLiteral("/nonexistent/tool") << QString();
        QTest::addRow("not executable") << notExecutable << QString();
        QTest::addRow("missing working directory") << QStringLiteral("/bin/true") << m_dir.filePath(QStringLiteral("gone"));
    }

    void failsToStart()
    {
        QFETCH(QString, program);
        QFETCH(QString, workingDirectory);
        ProcessRequest request;
        request.program = program;
        request.workingDirectory = workingDirectory;
        QVERIFY(!runProcess(request));
    }

    void largeStreams_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("inputSize");
        QTest::addColumn<bool>("captureError");
        QTest::addColumn<int>("outSize");
        QTest::addColumn<int>("errSize");

        QTest::addRow("50 MB out") << QByteArray("head -c 50000000 /dev/zero") << 0 << false << 50'000'000 << 0;
        QTest::addRow("20 MB in and out") << QByteArray("cat") << 20'000'000 << false << 20'000'000 << 0;
        QTest::addRow("20 MB error dropped") << QByteArray("head -c 20000000 /dev/zero >&2; printf ok") << 0
                                             << false << 2 << 0;
        QTest::addRow("10 MB on both") << QByteArray("head -c 10000000 /dev/zero >&2; head -c 10000000 /dev/zero")
                                       << 0 << true << 10'000'000 << 10'000'000;
    }

    void largeStreams()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, inputSize);
        QFETCH(bool, captureError);
        ProcessRequest request = scriptRequest(body);
        QByteArray input(inputSize, Qt::Uninitialized);
        for (int i = 0; i < inputSize; ++i) {
            input[i] = char(i * 7 + i / 4096);
        }
        if (inputSize > 0) {
            request.standardInput = input;
        }
        request.captureStandardError = captureError;

        const auto result = runProcess(request);
        QVERIFY(result);
        QCOMPARE(result->exitCode, 0);
        QTEST(int(result->standardOutput.size()), "outSize");
        QTEST(int(result->standardError.size()), "errSize");
        if (inputSize > 0) {
            QVERIFY(result->standardOutput == input);
        }
    }

    // The stand-ins write their pid to $1 so the test can check nothing is left behind.
    void stoppedRunsAreReaped_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("cancel");

        const QByteArray sleeping = "echo $$ > \"$1\"; exec sleep 60";
        const QByteArray ignoresTerm = "trap '' TERM; echo $$ > \"$1\"; exec sleep 60";
        const QByteArray childHoldsOutput = "echo $$ > \"$1\"; sleep 60 & echo $! > \"$1.child\"; wait";
        const QByteArray exitsOnTerm = "trap 'exit 0' TERM; echo $$ > \"$1\"; while :; do sleep 0.05; done";
        QTest::addRow("timeout: sleeping") << sleeping << false;
        QTest::addRow("timeout: ignores TERM") << ignoresTerm << false;
        QTest::addRow("timeout: child keeps output open") << childHoldsOutput << false;
        QTest::addRow("cancel: sleeping") << sleeping << true;
        QTest::addRow("cancel: ignores TERM") << ignoresTerm << true;
        QTest::addRow("cancel: exits cleanly on TERM") << exitsOnTerm << true;
        QTest::addRow("cancel: child keeps output open") << childHoldsOutput << true;
    }

    void stoppedRunsAreReaped()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, cancel);
        const QString pidFile = m_dir.filePath(QStringLiteral("pid%1").arg(m_scripts + 1));
        ProcessRequest request = scriptRequest(body);
        request.arguments = QStringList{pidFile};
        std::thread canceller;
        if (cancel) {
            request.cancel = std::make_shared<vesk::ProcessCancel>();
            canceller = std::thread([pidFile, flag = request.cancel] {
                waitForFile(pidFile);
                flag->cancel();
            });
        } else {
            request.timeout = 500ms;
        }

        const auto result = runProcess(request);
        if (canceller.joinable()) {
            canceller.join();
        }
        const qint64 child = readPid(pidFile + QStringLiteral(".child"));
        if (child > 0) {
            ::kill(pid_t(child), SIGKILL);
        }
        QCOMPARE(bool(result), cancel);
        if (cancel) {
            QVERIFY(result->endedBySignal);
        }
        QVERIFY(QFile::exists(pidFile));
        QVERIFY(isGone(readPid(pidFile)));
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
        const ProcessRequest request = scriptRequest("cat; head -c 3000000 /dev/zero");
        std::optional<vesk::ProcessResult> fromStdThread;
        std::thread([&] { fromStdThread = runProcess(request); }).join();
        std::optional<vesk::ProcessResult> fromQThread;
        std::unique_ptr<QThread> thread(QThread::create([&] { fromQThread = runProcess(request); }));
        thread->start();
        QVERIFY(thread->wait(QDeadlineTimer(120s)));
        for (const auto &result : {fromStdThread, fromQThread}) {
            QVERIFY(result);
            QCOMPARE(result->standardOutput.size(), 3'000'000);
        }
    }
};

QTEST_GUILESS_MAIN(TestProcessRunner)
#include "tst_process_runner.moc"
