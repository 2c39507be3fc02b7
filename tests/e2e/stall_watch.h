#pragma once

// Watches another process's main thread from outside, the way a user feels it: the thread is
// responsive while it sleeps in its event loop's poll, and stalls for as long as it is anywhere
// else (working, or waiting on a lock or a child). Linux only (/proc); elsewhere it sees nothing.

#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

namespace vesk::test {

class StallWatch
{
public:
    StallWatch() = default;
    ~StallWatch();
    Q_DISABLE_COPY_MOVE(StallWatch)

    void start(qint64 pid);
    void stop();
    // What the test is doing now, to name the longest stall by it.
    void setStep(const QString &step);

    qint64 longestMs() const;
    QString longestStep() const;

private:
    void run(qint64 pid);

    std::thread m_thread;
    std::atomic_bool m_running{false};
    mutable std::mutex m_mutex;
    QString m_step;
    qint64 m_longestMs = 0;
    QString m_longestStep;
};

} // namespace vesk::test
