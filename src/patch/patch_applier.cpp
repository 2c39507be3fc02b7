#include "patch/patch_applier.h"

#include "patch/patch_archive.h"
#include "patch/patch_install.h"
#include "patch/patch_line_counts.h"
#include "patch/unpacked_tree.h"
#include "platform/regular_file.h"
#include "platform/temp_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include <sys/stat.h>

namespace vesk {

namespace {

const QString tempDirPrefix = QStringLiteral("patch_");
// The guard on the disk is a backstop against archives that lie about their sizes (the exact
// check follows unpacking): it allows room for each entry's blocks and folder records, and
// slack for whatever else writes to the same disk meanwhile.
constexpr qint64 perEntryAllowance = 64 * 1024;
constexpr qint64 diskSlack = qint64(256) << 20;
constexpr int maxWorkers = 8;

// UTF-16 order differs from code point order only where a surrogate meets a unit at U+E000 or
// above; moving the surrogates above that range mends it.
char16_t codePointRank(char16_t unit)
{
    if (unit >= 0xD800 && unit <= 0xDFFF) {
        return char16_t(unit + 0x2000);
    }
    return unit >= 0xE000 ? char16_t(unit - 0x800) : unit;
}

bool codePointLess(const QString &a, const QString &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return codePointRank(a[i].unicode()) < codePointRank(b[i].unicode());
        }
    }
    return a.size() < b.size();
}

QString withoutEnclosingFolder(const QString &relativePath, bool hasEnclosingFolder)
{
    const qsizetype slash = relativePath.indexOf(u'/');
    return hasEnclosingFolder && slash >= 0 ? relativePath.mid(slash + 1) : relativePath;
}

// Dates, whether the file is new and the size of the change, for one entry.
void describe(PatchFileEntry &entry, const QString &repoPath, const PatchLimits &limits)
{
    const QString repoFile = repoPath + u'/' + entry.relativePath;
    const QByteArray native = QFile::encodeName(repoFile);
    struct stat st;
    entry.isNew = ::lstat(native.constData(), &st) != 0;
    entry.patchModDate = modificationTime(entry.patchFileURL);
    if (!entry.isNew) {
        entry.repoModDate = modificationTime(repoFile);
        if (::stat(native.constData(), &st) == 0) {
            entry.repoSize = qint64(st.st_size);
        }
    }
    entry.repoNewer = entry.repoModDate && entry.patchModDate && *entry.repoModDate > *entry.patchModDate;

    LineCounts counts;
    if (entry.isNew) {
        counts = countNewFileLines(entry.patchFileURL);
    } else if (::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        // Only a regular file is compared: diff would wait forever on a pipe and compare a
        // folder's namesake file instead of the folder.
        counts = countChangedLines(repoFile, entry.patchFileURL, limits.diffTimeout);
    }
    entry.addedLines = counts.added;
    entry.removedLines = counts.removed;
}

void describeAll(QList<PatchFileEntry> &entries, const QString &repoPath, const PatchLimits &limits)
{
    // Most of the time goes to starting diff; several at once keep every core busy.
    const int cores = qBound(2, QThread::idealThreadCount(), maxWorkers);
    const int workers = int(std::clamp<qsizetype>(entries.size(), 1, cores));
    // Taken once, here: the list's own accessors may detach, which is no work for several threads.
    PatchFileEntry *items = entries.data();
    const qsizetype count = entries.size();
    std::atomic<qsizetype> next{0};
    auto work = [&] {
        for (qsizetype i = next++; i < count; i = next++) {
            describe(items[i], repoPath, limits);
        }
    };
    if (workers == 1) {
        work();
        return;
    }
    QThreadPool pool;
    pool.setMaxThreadCount(workers);
    for (int i = 0; i < workers; ++i) {
        pool.start(work);
    }
    pool.waitForDone();
}

QString cleanRepoPath(const QString &repoPath)
{
    // An empty path would otherwise become the working directory.
    return repoPath.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(repoPath).absoluteFilePath());
}

// What unpacking produced must be what the listing promised: a file the listing did not name
// means unzip rewrote a name in a way nobody checked.
QStringList checkUnpackedTree(const UnpackedTree &tree, const QList<ArchiveEntry> &listed, const PatchLimits &limits)
{
    qint64 total = 0;
    for (const UnpackedFile &file : tree.files) {
        total += file.size;
    }
    if (total > limits.maxUnpackedBytes) {
        return {tooLargeMessage(limits)};
    }
    const QSet<QString> keys = listedFileKeys(listed);
    QStringList problems;
    for (const UnpackedFile &file : tree.files) {
        if (!keys.contains(fileKey(file.relativePath))) {
            problems << QStringLiteral("Unpacking produced \"%1\", which the archive does not list")
                            .arg(file.relativePath);
        }
    }
    return summarized(problems);
}

// Runs the archive's checks and unpacks it into analysis.tmpDir; on failure fills in errors.
QList<UnpackedFile> unpack(PatchAnalysis &analysis, const QString &zipPath, const PatchLimits &limits,
                           bool &hasEnclosingFolder)
{
    const QString archive = QFileInfo(zipPath).absoluteFilePath();
    const QString failed = QStringLiteral("Failed to unzip ") + QFileInfo(zipPath).fileName();
    // unzip would wait on a pipe until its time bound and read a device without end.
    if (const RegularFile zip = openRegularFile(archive); !zip.isOpen()) {
        analysis.errors << failed + QStringLiteral(": ") + zip.error;
        return {};
    }

    const ArchiveListing listing = listArchive(archive, limits.listTimeout);
    if (listing.outcome != ToolOutcome::Done) {
        analysis.errors << (listing.outcome == ToolOutcome::CannotStart ? listing.startError : failed);
        return {};
    }
    analysis.errors = vetArchive(listing.entries, limits);
    if (!analysis.errors.isEmpty()) {
        return {};
    }

    const qint64 budget = limits.maxUnpackedBytes + qint64(listing.entries.size()) * perEntryAllowance + diskSlack;
    const UnpackOutcome unpacked = unpackArchive(archive, analysis.tmpDir, budget, limits.unzipTimeout);
    if (unpacked.overBudget) {
        analysis.errors << tooLargeMessage(limits);
        return {};
    }
    if (unpacked.outcome != ToolOutcome::Done) {
        analysis.errors << (unpacked.outcome == ToolOutcome::CannotStart ? unpacked.startError : failed);
        return {};
    }

    const QString base = QFileInfo(analysis.tmpDir).canonicalFilePath();
    const UnpackedTree tree = walkUnpackedTree(base);
    if (base.isEmpty() || !tree.readable) {
        analysis.errors << QStringLiteral("Failed to enumerate extracted files");
        return {};
    }
    analysis.errors = checkUnpackedTree(tree, listing.entries, limits);
    hasEnclosingFolder = tree.hasEnclosingFolder;
    return analysis.errors.isEmpty() ? tree.files : QList<UnpackedFile>();
}

// Why the repository's file is no longer the one the review showed (edited and saved meanwhile,
// created, removed), or an empty string when it is unchanged.
QString changeSinceAnalysis(const PatchFileEntry &entry, const QString &repoPath)
{
    const QString repoFile = repoPath + u'/' + entry.relativePath;
    const QByteArray native = QFile::encodeName(repoFile);
    struct stat st;
    const bool exists = ::lstat(native.constData(), &st) == 0;
    if (entry.isNew) {
        return exists ? QStringLiteral("a file was created there after the review; it was left as it is") : QString();
    }
    if (!exists) {
        return QStringLiteral("the file was removed after the review; it was not put back");
    }
    const std::optional<qint64> size =
        ::stat(native.constData(), &st) == 0 ? std::optional<qint64>(st.st_size) : std::nullopt;
    if (modificationTime(repoFile) != entry.repoModDate || size != entry.repoSize) {
        return QStringLiteral("the file changed on disk after the review; it was left as it is");
    }
    return {};
}

// A single folder holding the whole archive is taken for a wrapper and stripped, unless the
// repository has a top-level folder of that name: then the archive means that folder. A folder
// named like the repository itself is a wrapper all the same.
bool stripsEnclosingFolder(const QList<UnpackedFile> &files, const QString &repoPath)
{
    if (files.isEmpty()) {
        return false;
    }
    const QString folder = files.first().relativePath.section(u'/', 0, 0);
    const QFileInfo repo(repoPath);
    if (folder == repo.fileName() || folder == QFileInfo(repo.canonicalFilePath()).fileName()) {
        return true;
    }
    struct stat st;
    return ::stat(QFile::encodeName(repoPath + u'/' + folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode);
}

// The unpacked file must still be where analyze found it: inside the temporary directory.
bool isInsideTempDir(const QString &file, const QString &tempDir)
{
    const QString canonicalTemp = QFileInfo(tempDir).canonicalFilePath();
    const QString folder = QFileInfo(QFileInfo(file).absolutePath()).canonicalFilePath();
    return !canonicalTemp.isEmpty() && !folder.isEmpty()
           && (folder == canonicalTemp || folder.startsWith(canonicalTemp + u'/'));
}

} // namespace

PatchAnalysis PatchApplier::analyze(const QString &zipPath, const QString &repoPath, const PatchLimits &limits)
{
    PatchAnalysis analysis;
    analysis.repoPath = cleanRepoPath(repoPath);
    errno = 0;
    analysis.tmpDir = createTempDirectory(tempDirPrefix);
    if (analysis.tmpDir.isEmpty()) {
        const int error = errno;
        const QString reason = error != 0 ? qt_error_string(error) : QStringLiteral("no private temporary directory");
        analysis.errors << QStringLiteral("Could not create a temporary folder: %1").arg(reason);
        return analysis;
    }

    bool hasEnclosingFolder = false;
    const QList<UnpackedFile> files = unpack(analysis, zipPath, limits, hasEnclosingFolder);
    if (!analysis.errors.isEmpty()) {
        return analysis;
    }
    hasEnclosingFolder = hasEnclosingFolder && stripsEnclosingFolder(files, analysis.repoPath);
    analysis.entries.reserve(files.size());
    for (const UnpackedFile &file : files) {
        PatchFileEntry entry;
        entry.relativePath = withoutEnclosingFolder(file.relativePath, hasEnclosingFolder);
        entry.patchFileURL = file.path;
        analysis.entries.append(entry);
    }
    describeAll(analysis.entries, analysis.repoPath, limits);
    std::sort(analysis.entries.begin(), analysis.entries.end(), [](const PatchFileEntry &a, const PatchFileEntry &b) {
        return codePointLess(a.relativePath, b.relativePath);
    });
    return analysis;
}

PatchApplyResult PatchApplier::apply(const PatchAnalysis &analysis, const QSet<qsizetype> &excludedIndices,
                                     const std::function<void(qsizetype done, qsizetype total)> &progress)
{
    PatchApplyResult result;
    const qsizetype total = analysis.entries.size();
    for (qsizetype i = 0; i < total; ++i) {
        if (progress && i > 0) {
            progress(i, total);
        }
        const PatchFileEntry &entry = analysis.entries[i];
        if (excludedIndices.contains(i)) {
            result.skipped << entry.relativePath;
            continue;
        }
        QString problem = isInsideTempDir(entry.patchFileURL, analysis.tmpDir)
                              ? changeSinceAnalysis(entry, analysis.repoPath)
                              : QStringLiteral("the unpacked file is not in the patch's temporary folder");
        if (problem.isEmpty()) {
            problem = installPatchFile(analysis.repoPath, entry.relativePath, entry.patchFileURL);
        }
        if (problem.isEmpty()) {
            result.applied << entry.relativePath;
        } else {
            result.errors << entry.relativePath + QStringLiteral(": ") + problem;
        }
    }
    if (progress && total > 0) {
        progress(total, total);
    }
    cancel(analysis);
    return result;
}

void PatchApplier::cancel(const PatchAnalysis &analysis)
{
    // Only ever a directory this class made: a damaged analysis must not delete anything else.
    if (!analysis.tmpDir.isEmpty() && QFileInfo(analysis.tmpDir).fileName().startsWith(tempDirPrefix)) {
        removeTree(analysis.tmpDir);
    }
}

} // namespace vesk
