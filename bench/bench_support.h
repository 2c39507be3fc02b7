#pragma once

// Fixtures shared by the benchmark programs that build repositories to measure against.

#include "platform/file_time.h"
#include "platform/process_runner.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
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

inline void writeBytes(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

// Source-like text of about `bytes` bytes: words from a small vocabulary, so it compresses as
// code does.
inline QByteArray sourceText(QRandomGenerator &random, qsizetype bytes)
{
    static const char *const words[] = {"return", "value", "const", "auto", "if", "for", "index", "result",
                                        "QString", "std::vector", "=", "+", "(", ")", "{", "}", ";", "0", "1",
                                        "count", "name", "path", "node", "// note", "while", "size"};
    QByteArray text;
    text.reserve(bytes + 32);
    while (text.size() < bytes) {
        text += words[random.bounded(int(std::size(words)))];
        text += random.bounded(8) == 0 ? '\n' : ' ';
    }
    return text;
}

// 20 top-level directories of 100 directories of 10 files: mostly text, some images and
// binaries, a few secrets.
struct ExportScanRepository
{
    QTemporaryDir dir;
    int files = 0;

    ExportScanRepository()
    {
        QRandomGenerator random(20000);
        for (int top = 0; top < 20; ++top) {
            for (int sub = 0; sub < 100; ++sub) {
                const QString path = dir.path() + QStringLiteral("/mod%1/pkg%2").arg(top).arg(sub);
                QDir().mkpath(path);
                for (int i = 0; i < 10; ++i, ++files) {
                    const int kind = (files * 7919) % 100;
                    if (kind < 15) {
                        writeBytes(path + QStringLiteral("/icon%1.png").arg(i), QByteArray(3000, '\x89'));
                    } else if (kind < 25) {
                        writeBytes(path + QStringLiteral("/lib%1.so").arg(i), "\x7f" "ELF" + QByteArray(5000, '\0'));
                    } else if (kind < 27) {
                        writeBytes(path + QStringLiteral("/conf%1.env").arg(i), "API_KEY=abc\n" + sourceText(random, 500));
                    } else {
                        writeBytes(path + QStringLiteral("/file%1.cpp").arg(i), sourceText(random, 2000 + random.bounded(6000)));
                    }
                }
            }
        }
    }
};

} // namespace vesk::bench
