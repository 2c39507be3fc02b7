#include "workspace/git_manager.h"

#include "platform/process_runner.h"
#include "platform/tool_paths.h"
#include "text/utf8.h"

#include <QDir>
#include <QFileInfo>

namespace vesk {

namespace {

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
    publish(m_isRepo, result.isRepo);
    publish(m_branch, result.branch);
    publish(m_statusEntries, result.entries);
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

    const auto head = runGit({QStringLiteral("rev-parse"), QStringLiteral("--abbrev-ref"), QStringLiteral("HEAD")},
                             repoPath);
    const std::optional<QString> branch = head ? decodeUtf8(*head) : std::nullopt;
    result.branch = branch ? branch->trimmed() : QStringLiteral("unknown");

    const auto status = runGit({QStringLiteral("status"), QStringLiteral("--porcelain"), QStringLiteral("-z")},
                               repoPath);
    if (status) {
        result.entries = parseStatus(*status);
    }
    return result;
}

std::optional<QByteArray> GitManager::runGit(const QStringList &arguments, const QString &directory)
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
    if (!run || run->endedBySignal || run->exitCode != 0) {
        return std::nullopt;
    }
    return run->standardOutput;
}

} // namespace vesk
