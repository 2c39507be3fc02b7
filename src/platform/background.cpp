#include "platform/background.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace vesk {

namespace {

// Most tasks sit waiting on a child process, so the pool is wider than the processor count.
QThreadPool &pool()
{
    static QThreadPool instance;
    static const bool configured = [] {
        instance.setMaxThreadCount(std::max(8, 2 * QThread::idealThreadCount()));
        return true;
    }();
    Q_UNUSED(configured);
    return instance;
}

int poolPriority(WorkPriority priority)
{
    switch (priority) {
    case WorkPriority::UserInitiated:
        return 3;
    case WorkPriority::Default:
        return 2;
    case WorkPriority::Utility:
        return 1;
    case WorkPriority::Background:
        return 0;
    }
    return 0;
}

// IdlePriority is avoided: on Linux it means SCHED_IDLE, which a thread may not be able to leave.
QThread::Priority threadPriority(WorkPriority priority)
{
    switch (priority) {
    case WorkPriority::UserInitiated:
        return QThread::HighPriority;
    case WorkPriority::Default:
        return QThread::NormalPriority;
    case WorkPriority::Utility:
        return QThread::LowPriority;
    case WorkPriority::Background:
        return QThread::LowestPriority;
    }
    return QThread::NormalPriority;
}

} // namespace

void runInBackground(WorkPriority priority, std::function<void()> work)
{
    pool().start(
        [priority, work = std::move(work)] {
            QThread *thread = QThread::currentThread();
            QThread::Priority previous = thread->priority();
            if (previous == QThread::InheritPriority) {
                previous = QThread::NormalPriority;
            }
            thread->setPriority(threadPriority(priority));
            work();
            thread->setPriority(previous);
        },
        poolPriority(priority));
}

void postToMainThread(const QPointer<QObject> &target, std::function<void()> task)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) {
        return;  // shutting down: nobody is left to hand the result to
    }
    QMetaObject::invokeMethod(
        app,
        [target, task = std::move(task)] {
            if (target) {
                task();
            }
        },
        Qt::QueuedConnection);
}

void waitForBackgroundWork()
{
    pool().waitForDone();
}

} // namespace vesk
