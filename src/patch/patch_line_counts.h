#pragma once

#include <QString>

#include <chrono>

namespace vesk {

struct LineCounts
{
    qint64 added = 0;
    qint64 removed = 0;
};

// A new file adds as many lines as it has pieces between line feeds (a final line feed starts
// one more, an empty file has one). A file that is not UTF-8 counts nothing.
LineCounts countNewFileLines(const QString &path);

// The lines `diff -u` adds and removes when `patchFile` replaces `repoFile`. Nothing when the
// tool cannot start, runs out of time, or prints something other than UTF-8 (binary files).
LineCounts countChangedLines(const QString &repoFile, const QString &patchFile,
                             std::chrono::milliseconds timeout);

} // namespace vesk
