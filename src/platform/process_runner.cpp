#include "platform/process_runner.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <csignal>

#include <unistd.h>

namespace vesk {

namespace {

// Short waits keep a cancel from another thread prompt without spinning.
constexpr int sliceMs = 25;
// How long a terminated program gets to clean up before it is killed.
constexpr int terminateGraceMs = 500;
// After SIGKILL only the kernel is left; this bounds the wait for the exit to be collected.
constexpr int killReapMs = 5000;
// Starting is synchronous on POSIX; this only guards against a wedged exec.
constexpr int startBoundMs = 30000;

// The next wait: one slice, never past the deadline.
int sliceWithin(const QDeadlineTimer &deadline)
{
    if (deadline.isForever()) {
        return sliceMs;
    }
    return int(std::clamp<qint64>(deadline.remainingTime(), 0, sliceMs));
}

void configure(QProcess &process, const ProcessRequest &request)
{
    process.setProgram(request.program);
    process.setArguments(request.arguments);
    if (!request.workingDirectory.isEmpty()) {
        process.setWorkingDirectory(request.workingDirectory);
    }
    if (!request.environment.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (auto it = request.environment.cbegin(); it != request.environment.cend(); ++it) {
            environment.insert(it.key(), it.value());
        }
        process.setProcessEnvironment(environment);
    }
    if (!request.captureStandardError) {
        process.setStandardErrorFile(QProcess::nullDevice());
    }
    startInOwnProcessGroup(process);
}

void drain(QProcess &process, ProcessResult &result, bool captureStandardError)
{
    result.standardOutput += process.readAllStandardOutput();
    if (captureStandardError) {
        result.standardError += process.readAllStandardError();
    }
}

// Waits up to `ms` for the end, still collecting output so a chatty program cannot block on a
// full pipe while we wait.
bool waitForEnd(QProcess &process, ProcessResult &result, bool captureStandardError, int ms)
{
    QDeadlineTimer deadline(ms);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForFinished(sliceWithin(deadline));
        drain(process, result, captureStandardError);
    }
    return process.state() == QProcess::NotRunning;
}

void stop(QProcess &process, ProcessResult &result, bool captureStandardError)
{
    const qint64 pid = process.processId();
    signalProcessGroup(pid, SIGTERM);
    if (!waitForEnd(process, result, captureStandardError, terminateGraceMs)) {
        signalProcessGroup(pid, SIGKILL);
        waitForEnd(process, result, captureStandardError, killReapMs);
        return;
    }
    // The program is gone; a helper of its own that ignored the request must not outlive it.
    signalProcessGroup(pid, SIGKILL);
}

bool isCancelled(const ProcessRequest &request)
{
    return request.cancel && request.cancel->isCancelled();
}

} // namespace

void startInOwnProcessGroup(QProcess &process, std::function<void()> alsoInChild)
{
    process.setChildProcessModifier([alsoInChild = std::move(alsoInChild)] {
        ::setpgid(0, 0);
        if (alsoInChild) {
            alsoInChild();
        }
    });
}

void signalProcessGroup(qint64 pid, int signal)
{
    if (pid > 0) {
        ::kill(-pid_t(pid), signal);
    }
}

std::optional<ProcessResult> runProcess(const ProcessRequest &request)
{
    ProcessResult result;
    if (isCancelled(request)) {
        result.endedBySignal = true;
        return result;
    }

    QProcess process;
    configure(process, request);
    process.start();
    if (!process.waitForStarted(startBoundMs)) {
        return std::nullopt;
    }
    if (request.standardInput) {
        // QProcess keeps the bytes and feeds the pipe while we wait below, so a program that
        // answers as it reads cannot block us; the channel closes once everything is written.
        process.write(*request.standardInput);
    }
    process.closeWriteChannel();

    const bool capture = request.captureStandardError;
    const QDeadlineTimer deadline = request.timeout ? QDeadlineTimer(request.timeout->count())
                                                    : QDeadlineTimer(QDeadlineTimer::Forever);
    while (process.state() != QProcess::NotRunning) {
        if (isCancelled(request)) {
            stop(process, result, capture);
            result.endedBySignal = true;
            return result;
        }
        if (deadline.hasExpired()) {
            stop(process, result, capture);
            return std::nullopt;
        }
        process.waitForFinished(sliceWithin(deadline));
        drain(process, result, capture);
    }
    drain(process, result, capture);

    result.endedBySignal = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = result.endedBySignal ? 0 : process.exitCode();
    return result;
}

} // namespace vesk
