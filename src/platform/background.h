#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>
#include <utility>

namespace vesk {

// How urgent background work is, as the caller sees it; mapped to pool order and thread priority.
enum class WorkPriority { UserInitiated, Default, Utility, Background };

// Runs `work` on a pool thread. The pool has room for several waiting tasks (most of our work
// waits on child processes), so one slow job never holds up another.
void runInBackground(WorkPriority priority, std::function<void()> work);

// Posts `task` to the main thread. It runs only if `target` still exists then: the target is held
// weakly and checked on the main thread, and a gone target drops the task. Make the QPointer on
// the main thread (where the target lives) and pass it along to the worker.
void postToMainThread(const QPointer<QObject> &target, std::function<void()> task);

// Runs `work` on a pool thread and hands its result to `done` on the main thread while `target`
// exists.
template <typename Result>
void runInBackground(QObject *target, WorkPriority priority, std::function<Result()> work,
                     std::function<void(Result)> done)
{
    QPointer<QObject> weakTarget(target);
    runInBackground(priority, [weakTarget, work = std::move(work), done = std::move(done)]() mutable {
        Result result = work();
        postToMainThread(weakTarget, [done = std::move(done), result = std::move(result)]() mutable {
            done(std::move(result));
        });
    });
}

// Waits until every task started with runInBackground has finished (tests, shutdown).
void waitForBackgroundWork();

} // namespace vesk
