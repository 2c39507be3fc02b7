#pragma once

#include "platform/file_time.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace vesk {

// One file of a patch archive, matched to its place in the repository.
struct PatchFileEntry
{
    QString relativePath;  // "/"-separated path inside the repository
    QString patchFileURL;  // the unpacked file inside the analysis' temporary directory
    bool isNew = false;    // nothing (file, folder or link) stands at the repository path
    std::optional<FileTime> repoModDate;
    std::optional<qint64> repoSize;  // the repository file's size when analysed (links followed)
    std::optional<FileTime> patchModDate;
    bool repoNewer = false;  // both dates known and the repository's is strictly later
    qint64 addedLines = 0;
    qint64 removedLines = 0;
};

// What analysing one archive found. Owns `tmpDir` until PatchApplier::apply or ::cancel ends it.
struct PatchAnalysis
{
    QList<PatchFileEntry> entries;  // ascending by relativePath, code point by code point
    QString tmpDir;
    QString repoPath;
    QStringList errors;  // when not empty, entries is empty
};

// The outcome of applying an analysis; every list keeps the order of the entries.
struct PatchApplyResult
{
    QStringList applied;
    QStringList skipped;
    QStringList errors;  // "relative/path: reason"
};

// What an archive may unpack to and how long its tools may run. An archive comes from outside,
// so neither its size nor the tools' answers are taken on trust.
struct PatchLimits
{
    qint64 maxUnpackedBytes = qint64(2) << 30;
    qint64 maxEntries = 100'000;
    std::chrono::milliseconds listTimeout{60'000};
    std::chrono::milliseconds unzipTimeout{10 * 60'000};
    std::chrono::milliseconds diffTimeout{60'000};
};

} // namespace vesk
