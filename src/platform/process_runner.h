#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

class QProcess;

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

// A flag another thread sets to stop a running child process. Shared by the caller and the runner.
class ProcessCancel
{
public:
    void cancel() { m_cancelled.store(true); }
    bool isCancelled() const { return m_cancelled.load(); }

private:
    std::atomic_bool m_cancelled{false};
};

struct ProcessRequest
{
    QString program;
    QStringList arguments;
    QString workingDirectory;                          // empty: the current directory
    std::optional<QByteArray> standardInput;           // absent: standard input is closed at once
    std::optional<std::chrono::milliseconds> timeout;  // absent: no bound
    bool captureStandardError = false;                 // false: standard error goes to the null device
    QHash<QString, QString> environment;               // added to (or replacing in) the inherited environment
    std::shared_ptr<ProcessCancel> cancel;             // optional; when set, the process is terminated
};

struct ProcessResult
{
    int exitCode = 0;            // meaningful only when endedBySignal is false
    bool endedBySignal = false;  // the program crashed or was terminated (including by cancel)
    QByteArray standardOutput;   // everything the program wrote
    QByteArray standardError;    // only when captureStandardError was set
};

// Runs a program to its end in the calling thread (any thread; no event loop needed).
// Returns nothing when the program cannot start or the time bound runs out; in that case the
// process and everything it started (it runs in a process group of its own) have been
// terminated, then killed if they ignore that, and the program reaped before returning.
// Reads standard output as it arrives, so any amount of output is safe. A cancelled run is
// terminated and reported with endedBySignal set.
std::optional<ProcessResult> runProcess(const ProcessRequest &request);

// Makes the process start in a process group of its own (call before start()), so that
// stopProcessGroup reaches whatever it starts too (git runs helpers of its own). `alsoInChild`
// runs in the child as well, after the group is made.
void startInOwnProcessGroup(QProcess &process, std::function<void()> alsoInChild = {});

// Sends `signal` to the group of the process `pid` (its QProcess::processId() while it ran,
// which the group keeps as long as any member lives): the process and every descendant that
// stayed in it.
void signalProcessGroup(qint64 pid, int signal);

} // namespace vesk
