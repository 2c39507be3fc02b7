#pragma once

#include "platform/process_runner.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace vesk {

// A listed file that could not be handed to the zip tool, with a reason the user can read.
struct ZipSkippedFile
{
    QString relativePath;
    QString reason;

    friend bool operator==(const ZipSkippedFile &, const ZipSkippedFile &) = default;
};

struct ZipResult
{
    enum class Status { Success, Failed, Cancelled };

    Status status = Status::Failed;
    QString archivePath;             // set on success
    QList<ZipSkippedFile> skipped;   // listed files left out of the archive

    bool succeeded() const { return status == Status::Success; }
};

// Builds the export archive with the system's zip tool.
namespace ZipBuilder {

// Lets the caller stop the running tool from any thread.
using ProcessHandler = std::function<void(const std::shared_ptr<ProcessCancel> &)>;
// (estimated files done, total files)
using ProgressHandler = std::function<void(int, int)>;

// <user's private temporary directory>/export-<digest of repoPath>/<repository folder name>_export.zip:
// the same path for the same repository, a different one for a namesake elsewhere.
QString archivePath(const QString &repoPath);

// Why `relativePath` cannot be passed to the zip tool as a name, or an empty string when it can.
QString unsupportedNameReason(const QString &relativePath);

// The progress shown for an archive that has grown to `archiveBytes`: one file per 200 bytes,
// at least 1 and at most `total`.
int progressEstimate(qint64 archiveBytes, int total);

// Archives the files (relative to `repoPath`, in this order) under their relative paths,
// replacing the repository's previous archive. Blocks until the tool has ended, so never call
// it on the UI thread. `onProcess` receives the stop handle once the tool runs; `progress` is
// called about every 0.15 seconds while it runs and once with (total, total) at the end.
// Both are called on the calling thread.
ZipResult buildZip(const QString &repoPath, const QStringList &relativePaths, const ProcessHandler &onProcess = {},
                   const ProgressHandler &progress = {});

} // namespace ZipBuilder

} // namespace vesk
