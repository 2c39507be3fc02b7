#pragma once

#include <QObject>

class QSocketNotifier;

namespace vesk {

// Turns SIGTERM, SIGINT and SIGHUP into a signal on the main thread, so the application can save
// before it ends. The handler only writes a byte to a pipe (the one thing a signal handler may
// safely do); a socket notifier reads it in the event loop.
class TerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

    bool isWatching() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace vesk
