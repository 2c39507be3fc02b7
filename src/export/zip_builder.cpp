#include "export/zip_builder.h"

#include "export/zip_name_flags.h"
#include "platform/temp_files.h"
#include "platform/tool_paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <csignal>

#include <sys/stat.h>

namespace vesk {

namespace {

constexpr int progressIntervalMs = 150;
// Short waits keep a stop from another thread prompt.
constexpr int sliceMs = 25;
constexpr int startBoundMs = 30000;
constexpr int terminateGraceMs = 2000;
constexpr int killReapMs = 5000;
constexpr qint64 bytesPerFile = 200;

void stop(QProcess &process)
{
    const qint64 pid = process.processId();
    signalProcessGroup(pid, SIGTERM);
    if (!process.waitForFinished(terminateGraceMs)) {
        signalProcessGroup(pid, SIGKILL);
        process.waitForFinished(killReapMs);
    }
    signalProcessGroup(pid, SIGKILL);  // nothing it started outlives it
}

// zip writes the archive under a temporary name in `workDir` and renames it at the very end,
// so the growing file is the one found there.
qint64 growingArchiveSize(const QString &workDir, const QString &archive)
{
    const QFileInfoList inProgress = QDir(workDir).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    if (!inProgress.isEmpty()) {
        return inProgress.first().size();
    }
    const QFileInfo finished(archive);
    return finished.exists() ? finished.size() : -1;
}

// The names as zip reads them with -@: one per line, "./" in front so that no name is taken
// for standard input ("-") and -nw so that none is taken for a pattern.
QByteArray nameList(const QStringList &paths)
{
    QByteArray list;
    for (const QString &path : paths) {
        if (!list.isEmpty()) {
            list += '\n';
        }
        list += "./" + path.toUtf8();
    }
    return list;
}

QString skipReason(const QString &repoPath, const QString &path)
{
    const QString reason = ZipBuilder::unsupportedNameReason(path);
    if (!reason.isEmpty()) {
        return reason;
    }
    // zip stores a directory as an empty entry and skips a pipe with a mere warning, so either
    // would go missing from a run reported as successful. A missing file still goes to zip,
    // which then fails the run.
    const QFileInfo info(repoPath + QLatin1Char('/') + path);
    if (info.exists() && !info.isFile()) {
        return QStringLiteral("Not a regular file");
    }
    // zip follows links: one that leads out of the repository would pack someone else's file.
    const QString realRoot = QFileInfo(repoPath).canonicalFilePath();
    const QString realFile = info.canonicalFilePath();
    if (info.exists() && (realRoot.isEmpty() || !realFile.startsWith(realRoot + QLatin1Char('/')))) {
        return QStringLiteral("Link leading outside the repository");
    }
    return {};
}

struct Run
{
    QString repoPath;
    QString archive;
    QString workDir;
    QByteArray names;
    int total = 0;
};

ZipResult::Status runZip(const Run &run, const ZipBuilder::ProcessHandler &onProcess,
                         const ZipBuilder::ProgressHandler &progress)
{
    QProcess process;
    process.setProgram(toolPath(Tool::Zip));
    // -MM: a listed file that is missing or unreadable fails the run instead of being dropped
    // with a warning. -b: the temporary archive goes to our own directory (see growingArchiveSize).
    process.setArguments({QStringLiteral("-q"), QStringLiteral("-nw"), QStringLiteral("-MM"), QStringLiteral("-b"),
                          run.workDir, run.archive, QStringLiteral("-@")});
    process.setWorkingDirectory(run.repoPath);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // The archive holds the user's code: only the user may read it, even in a shared /tmp.
    startInOwnProcessGroup(process, [] { ::umask(077); });
    process.start();
    if (!process.waitForStarted(startBoundMs)) {
        return ZipResult::Status::Failed;
    }
    const auto cancel = std::make_shared<ProcessCancel>();
    if (onProcess) {
        onProcess(cancel);
    }
    process.write(run.names);
    process.closeWriteChannel();

    QElapsedTimer sinceReport;
    while (process.state() != QProcess::NotRunning) {
        if (cancel->isCancelled()) {
            stop(process);
            break;
        }
        if (progress && (!sinceReport.isValid() || sinceReport.elapsed() >= progressIntervalMs)) {
            sinceReport.start();
            progress(ZipBuilder::progressEstimate(growingArchiveSize(run.workDir, run.archive), run.total), run.total);
        }
        process.waitForFinished(sliceMs);
    }
    if (progress) {
        progress(run.total, run.total);
    }
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        return ZipResult::Status::Success;
    }
    // zip catches SIGTERM and exits with an error status of its own, so a stop is known by the
    // request rather than by the way the tool ended.
    if (process.exitStatus() == QProcess::CrashExit || cancel->isCancelled()) {
        return ZipResult::Status::Cancelled;
    }
    return ZipResult::Status::Failed;
}

} // namespace

namespace ZipBuilder {

QString archivePath(const QString &repoPath)
{
    const QString tempDir = userTempDir();
    if (tempDir.isEmpty()) {
        return {};
    }
    QString folder = repoPath;
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) {
        folder.chop(1);
    }
    // Two repositories may share a folder name (two checkouts called "app"); each gets a
    // directory of its own, so neither replaces nor hands out the other's archive, while the
    // archive itself keeps the plain name the assistant will see.
    const QByteArray digest = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex();
    return tempDir + QStringLiteral("/export-") + QString::fromLatin1(digest.left(16)) + QLatin1Char('/')
           + folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1) + QStringLiteral("_export.zip");
}

QString unsupportedNameReason(const QString &relativePath)
{
    if (relativePath.contains(QLatin1Char('\n')) || relativePath.contains(QLatin1Char('\r'))) {
        return QStringLiteral("The name holds a line break, which the zip tool cannot read");
    }
    if (!relativePath.isValidUtf16() || relativePath.contains(QChar(0))) {
        return QStringLiteral("The name is not valid Unicode");
    }
    const QStringList components = relativePath.split(QLatin1Char('/'));
    for (const QString &component : components) {
        if (component.isEmpty() || component == QLatin1String(".") || component == QLatin1String("..")) {
            return QStringLiteral("Not a plain path inside the repository");
        }
    }
    return {};
}

int progressEstimate(qint64 archiveBytes, int total)
{
    if (archiveBytes < bytesPerFile) {
        return 1;
    }
    return int(std::min<qint64>(archiveBytes / bytesPerFile, total));
}

ZipResult buildZip(const QString &repoPath, const QStringList &relativePaths, const ProcessHandler &onProcess,
                   const ProgressHandler &progress)
{
    ZipResult result;
    QStringList carried;
    for (const QString &path : relativePaths) {
        const QString reason = skipReason(repoPath, path);
        if (reason.isEmpty()) {
            carried.append(path);
        } else {
            result.skipped.append({path, reason});
        }
    }
    const QString archive = archivePath(repoPath);
    if (carried.isEmpty() || archive.isEmpty()) {
        return result;
    }
    if (ensurePrivateDirectory(QFileInfo(archive).path()).isEmpty()) {
        return result;
    }
    QFile::remove(archive);
    const QString workDir = createTempDirectory(QStringLiteral("zip_"));
    if (workDir.isEmpty()) {
        return result;
    }
    const Run run{repoPath, archive, workDir, nameList(carried), int(relativePaths.size())};
    result.status = runZip(run, onProcess, progress);
    QDir(workDir).removeRecursively();
    if (result.status == ZipResult::Status::Success) {
        result.archivePath = archive;
        markUtf8Names(archive);
    }
    return result;
}

} // namespace ZipBuilder

} // namespace vesk
