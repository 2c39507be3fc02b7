#pragma once

// Fixtures shared by the benchmark programs that build repositories to measure against.

#include "platform/file_time.h"
#include "platform/process_runner.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <optional>

namespace vesk::bench {

inline std::optional<ProcessResult> run(const QString &program, const QStringList &arguments,
                                        const QString &directory)
{
    ProcessRequest request;
    request.program = program;
    request.arguments = arguments;
    request.workingDirectory = directory;
    return runProcess(request);
}

inline bool runOk(const QString &program, const QStringList &arguments, const QString &directory)
{
    const auto result = run(program, arguments, directory);
    return result && !result->endedBySignal && result->exitCode == 0;
}

// Makes `repo` a git repository whose one commit holds everything in it.
inline void commitEverything(const QString &repo)
{
    runOk("/usr/bin/git", {"init", "-q", "-b", "main"}, repo);
    runOk("/usr/bin/git", {"add", "-A"}, repo);
    runOk("/usr/bin/git", {"-c", "user.name=bench", "-c", "user.email=bench@vesk.invalid", "commit", "-q", "-m", "tree"},
          repo);
}

// Writes a file dated a minute back, so the index written after it never holds it as
// "racily clean" (which would make every status read its content again).
inline void writeOldFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    file.close();
    setModificationTime(path, {modificationTime(path)->nanoseconds - 60'000'000'000LL});
}

} // namespace vesk::bench
