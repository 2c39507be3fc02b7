#include "stall_watch.h"

#include <QElapsedTimer>
#include <QFile>

namespace vesk::test {

namespace {

// Whether the thread sleeps in poll() now: its kernel wait channel names the poll wait.
bool sleepsInPoll(const QString &wchanPath)
{
    QFile wchan(wchanPath);
    if (!wchan.open(QIODevice::ReadOnly)) {
        return true;  // gone: nothing to feel
    }
    const QByteArray where = wchan.readAll();
    return where.contains("poll");
}

} // namespace

StallWatch::~StallWatch()
{
    stop();
}

void StallWatch::start(qint64 pid)
{
    stop();
    m_running = true;
    m_thread = std::thread([this, pid] { run(pid); });
}

void StallWatch::stop()
{
    m_running = false;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void StallWatch::setStep(const QString &step)
{
    const std::lock_guard lock(m_mutex);
    m_step = step;
}

qint64 StallWatch::longestMs() const
{
    const std::lock_guard lock(m_mutex);
    return m_longestMs;
}

QString StallWatch::longestStep() const
{
    const std::lock_guard lock(m_mutex);
    return m_longestStep;
}

void StallWatch::run(qint64 pid)
{
    // The main thread's id is the process id.
    const QString wchan = QStringLiteral("/proc/%1/task/%1/wchan").arg(pid);
    QElapsedTimer clock;
    clock.start();
    qint64 busySince = -1;
    while (m_running) {
        const qint64 now = clock.elapsed();
        if (sleepsInPoll(wchan)) {
            if (busySince >= 0) {
                const qint64 stall = now - busySince;
                const std::lock_guard lock(m_mutex);
                if (stall > m_longestMs) {
                    m_longestMs = stall;
                    m_longestStep = m_step;
                }
            }
            busySince = -1;
        } else if (busySince < 0) {
            busySince = now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace vesk::test
