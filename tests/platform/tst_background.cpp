#include "platform/background.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using vesk::WorkPriority;

class TestBackground : public QObject
{
    Q_OBJECT

private:
    // Events for the application object run in order, so once this has run every hand-back
    // posted before it has run or been dropped.
    void drainHandBacks()
    {
        vesk::waitForBackgroundWork();
        bool sentinel = false;
        vesk::postToMainThread(QPointer<QObject>(this), [&sentinel] { sentinel = true; });
        QTRY_VERIFY(sentinel);
    }

private Q_SLOTS:
    void resultArrivesOnTheMainThread_data()
    {
        QTest::addColumn<WorkPriority>("priority");
        QTest::addRow("user initiated") << WorkPriority::UserInitiated;
        QTest::addRow("background") << WorkPriority::Background;
    }

    void resultArrivesOnTheMainThread()
    {
        QFETCH(WorkPriority, priority);
        QObject target;
        QThread *worker = nullptr;
        QThread *receiver = nullptr;
        QString result;
        vesk::runInBackground<QString>(
            &target, priority,
            [&worker] {
                worker = QThread::currentThread();
                return QStringLiteral("answer");
            },
            [&](QString value) {
                receiver = QThread::currentThread();
                result = value;
            });
        QTRY_COMPARE(result, QStringLiteral("answer"));
        QVERIFY(worker != thread());
        QCOMPARE(receiver, thread());
    }

    void goneTargetDropsTheResult_data()
    {
        QTest::addColumn<bool>("deleteWhileWorking");
        QTest::addRow("deleted while working") << true;
        QTest::addRow("deleted after the hand-back was posted") << false;
    }

    void goneTargetDropsTheResult()
    {
        QFETCH(bool, deleteWhileWorking);
        auto target = std::make_unique<QObject>();
        auto release = std::make_shared<QSemaphore>();
        auto called = std::make_shared<bool>(false);
        vesk::runInBackground<int>(
            target.get(), WorkPriority::Default,
            [release] {
                release->tryAcquire(1, 30000);
                return 1;
            },
            [called](int) { *called = true; });
        if (deleteWhileWorking) {
            target.reset();
            release->release();
        } else {
            release->release();
            vesk::waitForBackgroundWork();
            target.reset();
        }
        drainHandBacks();
        QVERIFY(!*called);
    }

    // Most tasks wait on child processes; a few waiting ones must not hold up the rest.
    void waitingTasksDoNotBlockOthers()
    {
        constexpr int tasks = 8;
        auto started = std::make_shared<QSemaphore>();
        auto go = std::make_shared<QSemaphore>();
        for (int i = 0; i < tasks; ++i) {
            vesk::runInBackground(WorkPriority::Utility, [started, go] {
                started->release();
                go->tryAcquire(1, 30000);
            });
        }
        const bool allRunningAtOnce = started->tryAcquire(tasks, 30000);
        go->release(tasks);
        vesk::waitForBackgroundWork();
        QVERIFY(allRunningAtOnce);
    }
};

QTEST_GUILESS_MAIN(TestBackground)
#include "tst_background.moc"
