#include "workspace/git_manager.h"

#include "platform/process_runner.h"
#include "platform/regular_file.h"
#include "platform/tool_paths.h"
#include "text/utf8.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <atomic>

namespace vesk {

namespace {

std::atomic<qsizetype> refreshMinimumEntries{GitManager::CacheRefreshPolicy{}.minimumEntries};
std::atomic<qint64> refreshMinimumReadMs{GitManager::CacheRefreshPolicy{}.minimumReadTime.count()};

// The folder git keeps this repository's index in: ".git", or where a ".git" file (a worktree,
// a submodule) points.
QString gitDirectory(const QString &repoPath)
{
    const QString dotGit = QDir(repoPath).filePath(QStringLiteral(".git"));
    if (QFileInfo(dotGit).isDir()) {
        return dotGit;
    }
    RegularFile file = openRegularFile(dotGit);
    QByteArray text;
    if (!file.isOpen() || !readOpenedFile(file, text, 4096) || !text.startsWith("gitdir: ")) {
        return {};
    }
    const QString target = QString::fromUtf8(text.mid(8).trimmed());
    return QDir(repoPath).absoluteFilePath(target);
}

// The number of entries in an index file (its header: "DIRC", version, count), or 0.
qsizetype indexEntries(const QString &indexPath)
{
    RegularFile file = openRegularFile(indexPath);
    QByteArray header;
    if (!file.isOpen() || !readOpenedFile(file, header, 12) || header.size() < 12 || !header.startsWith("DIRC")) {
        return 0;
    }
    const auto byte = [&](int i) { return quint32(static_cast<unsigned char>(header[i])); };
    return qsizetype(byte(8) << 24 | byte(9) << 16 | byte(10) << 8 | byte(11));
}

bool isUnmerged(char index, char workTree)
{
    return index == 'U' || workTree == 'U' || (index == 'A' && workTree == 'A')
           || (index == 'D' && workTree == 'D');
}

// The status one column means on its own; nothing for a blank or an unknown letter.
std::optional<ChangeStatus> columnStatus(char code)
{
    switch (code) {
    case 'M':
    case 'T':  // type change (a link became a file, ...): the content at that path changed
        return ChangeStatus::modified;
    case 'A':
    case 'C':  // a copy is a new file
        return ChangeStatus::added;
    case 'D':
        return ChangeStatus::deleted;
    case 'R':
        return ChangeStatus::renamed;
    default:
        return std::nullopt;
    }
}

} // namespace

GitManager::GitManager(QObject *parent)
    : QObject(parent)
{
}

void GitManager::apply(const RefreshResult &result)
{
    // A git that does not answer says nothing about the files: showing no entries would call
    // every file clean. Keep what the last read that worked found, and say it is not current.
    const bool keep = result.isRepo && result.statusFailed && m_isRepo;
    publish(m_isRepo, result.isRepo);
    if (!(keep && result.branchUnanswered)) {
        publish(m_branch, result.branch);
    }
    if (!keep) {
        publish(m_statusEntries, result.entries);
    }
    publish(m_refreshError, result.isRepo && result.statusFailed
                                ? QStringLiteral("Git status could not be refreshed: git did not answer in time or "
                                                 "reported an error.")
                                : QString());
}

ChangeStatus GitManager::statusFor(const QString &relativePath) const
{
    // Status paths are relative to the repository root, as the caller's are; matching on a path's
    // ending would give a clean "README" the status of a changed "docs/README".
    for (const GitStatusEntry &entry : m_statusEntries) {
        if (entry.path == relativePath) {
            return entry.status;
        }
    }
    return ChangeStatus::unmodified;
}

// Unmerged paths are conflicts whatever the letters. Otherwise a file gone from the work tree
// is deleted whatever the index says, and the index column (what the next commit does to the
// path) decides over a further edit in the work tree: AM is added, RM renamed, MM modified.
ChangeStatus GitManager::statusForCode(char index, char workTree)
{
    if (index == '?' && workTree == '?') {
        return ChangeStatus::untracked;
    }
    if (isUnmerged(index, workTree)) {
        return ChangeStatus::conflict;
    }
    if (workTree == 'D') {
        return ChangeStatus::deleted;
    }
    if (const auto status = columnStatus(index)) {
        return *status;
    }
    if (const auto status = columnStatus(workTree)) {
        return *status;
    }
    return ChangeStatus::untracked;
}

QList<GitStatusEntry> GitManager::parseStatus(QByteArrayView output)
{
    QList<GitStatusEntry> entries;
    const QList<QByteArrayView> records = [&] {
        QList<QByteArrayView> pieces;
        qsizetype start = 0;
        while (start < output.size()) {
            qsizetype end = output.indexOf('\0', start);
            if (end < 0) {
                end = output.size();
            }
            pieces.append(output.sliced(start, end - start));
            start = end + 1;
        }
        return pieces;
    }();

    for (qsizetype i = 0; i < records.size(); ++i) {
        const QByteArrayView record = records[i];
        if (record.size() < 4 || record[2] != ' ') {
            continue;  // not a status record
        }
        const char index = record[0];
        const char workTree = record[1];
        GitStatusEntry entry;
        entry.status = statusForCode(index, workTree);
        const bool hasSource = index == 'R' || index == 'C' || workTree == 'R' || workTree == 'C';
        std::optional<QString> source;
        if (hasSource && i + 1 < records.size()) {
            source = decodeUtf8(records[++i]);
        }
        const std::optional<QString> path = decodeUtf8(record.sliced(3));
        if (!path || (hasSource && !source)) {
            continue;
        }
        entry.id = QUuid::createUuid();
        entry.path = *path;
        entry.originalPath = source.value_or(QString());
        entries.append(entry);
    }
    return entries;
}

RefreshResult GitManager::collectStatus(const QString &repoPath)
{
    RefreshResult result;
    if (!QFileInfo::exists(QDir(repoPath).filePath(QStringLiteral(".git")))) {
        return result;
    }
    result.isRepo = true;

    bool answered = true;
    const auto head = runGit({QStringLiteral("rev-parse"), QStringLiteral("--abbrev-ref"), QStringLiteral("HEAD")},
                             repoPath, &answered);
    const std::optional<QString> branch = head ? decodeUtf8(*head) : std::nullopt;
    result.branch = branch ? branch->trimmed() : QStringLiteral("unknown");
    result.branchUnanswered = !answered;

    QElapsedTimer statusTime;
    statusTime.start();
    const auto status = runGit({QStringLiteral("status"), QStringLiteral("--porcelain"), QStringLiteral("-z")},
                               repoPath, &answered);
    if (status) {
        result.entries = parseStatus(*status);
        refreshCachedFileTimes(repoPath, statusTime.elapsed());
    }
    result.statusFailed = !status;
    return result;
}

// The status read never writes the index, so after a checkout or a copy of the folder, whose
// cached file times no longer agree with the disk, every read hashes every such file again
// (30,000 files: about a second instead of a tenth). When a read of a large index was slow and
// no other git process holds the index lock, git refreshes the cached times once; that takes
// the lock only for that moment and changes nothing but the cache (no content is staged).
void GitManager::refreshCachedFileTimes(const QString &repoPath, qint64 readMilliseconds)
{
    if (readMilliseconds < refreshMinimumReadMs.load()) {
        return;
    }
    const QString gitDir = gitDirectory(repoPath);
    if (gitDir.isEmpty() || QFileInfo::exists(QDir(gitDir).filePath(QStringLiteral("index.lock")))
        || indexEntries(QDir(gitDir).filePath(QStringLiteral("index"))) < refreshMinimumEntries.load()) {
        return;
    }
    ProcessRequest request;
    request.program = toolPath(Tool::Git);
    request.arguments = QStringList{QStringLiteral("-c"), QStringLiteral("core.fsmonitor=false"),
                                    QStringLiteral("update-index"), QStringLiteral("-q"), QStringLiteral("--refresh")};
    request.workingDirectory = repoPath;
    request.timeout = gitTimeout;
    runProcess(request);  // a failure (the lock was taken meanwhile) leaves the cache as it was
}

void GitManager::setCacheRefreshPolicy(const CacheRefreshPolicy &policy)
{
    refreshMinimumEntries.store(policy.minimumEntries);
    refreshMinimumReadMs.store(policy.minimumReadTime.count());
}

std::optional<QByteArray> GitManager::runGit(const QStringList &arguments, const QString &directory, bool *answered)
{
    ProcessRequest request;
    request.program = toolPath(Tool::Git);
    // A repository's own config can name a file-system monitor command that git status would
    // run; a folder someone handed us must not run programs just by being looked at.
    request.arguments = QStringList{QStringLiteral("-c"), QStringLiteral("core.fsmonitor=false")} + arguments;
    request.workingDirectory = directory;
    request.timeout = gitTimeout;
    // Reading must never write: without this, `git status` refreshes and rewrites the index,
    // and takes the index lock that the user's own git commands then collide with.
    request.environment.insert(QStringLiteral("GIT_OPTIONAL_LOCKS"), QStringLiteral("0"));
    const std::optional<ProcessResult> run = runProcess(request);
    if (answered) {
        *answered = run.has_value();
    }
    if (!run || run->endedBySignal || run->exitCode != 0) {
        return std::nullopt;
    }
    return run->standardOutput;
}

} // namespace vesk
