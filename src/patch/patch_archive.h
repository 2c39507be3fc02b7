#pragma once

#include "patch/patch_analysis.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>

namespace vesk {

// One entry of an archive as the unzip tool lists it. Control characters in the name appear
// as "^" and a letter ("^J" for a line feed); the tool prints every other byte as it is.
struct ArchiveEntry
{
    QByteArray listedName;
    char type = '?';  // first letter of the permission column: '-', 'd', 'l', 'p', '?' ...
    qint64 size = 0;  // the uncompressed size the archive claims
    bool encrypted = false;
};

enum class ToolOutcome {
    Done,         // the tool ran and exited with status 0
    CannotStart,  // the tool could not be started; startError says why
    Failed,       // the tool failed, was stopped or ran out of time
};

struct ArchiveListing
{
    ToolOutcome outcome = ToolOutcome::Failed;
    QString startError;
    QList<ArchiveEntry> entries;
};

// Reads the archive's table of contents with `unzip -Z`. A listing that cannot be read in
// full counts as a failure.
ArchiveListing listArchive(const QString &zipPath, std::chrono::milliseconds timeout);

// Everything that makes the archive unsafe to unpack, one message per refused entry (or one
// for a limit); empty when the archive may be unpacked.
QStringList vetArchive(const QList<ArchiveEntry> &entries, const PatchLimits &limits);

// The first few messages and a line that counts the rest: a hostile archive may hold thousands.
QStringList summarized(QStringList problems);

// The names of the files (not folders) the listing holds, in the form the walk of the unpacked
// tree compares them in.
QSet<QString> listedFileKeys(const QList<ArchiveEntry> &entries);
QString fileKey(const QString &relativePath);

struct UnpackOutcome
{
    ToolOutcome outcome = ToolOutcome::Failed;
    QString startError;
    bool overBudget = false;  // stopped because the disk filled faster than the archive allows
};

// Runs `unzip -o -q ARCHIVE -d DIR`. The archive's claimed sizes may lie, so the free space of
// the target's file system is watched while the tool runs and the tool is stopped once more than
// `byteBudget` has gone.
UnpackOutcome unpackArchive(const QString &zipPath, const QString &dir, qint64 byteBudget,
                            std::chrono::milliseconds timeout);

// The message for an archive that holds or unpacks to more than the limits allow.
QString tooManyEntriesMessage(const PatchLimits &limits);
QString tooLargeMessage(const PatchLimits &limits);

} // namespace vesk
