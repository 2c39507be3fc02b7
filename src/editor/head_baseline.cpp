#include "editor/head_baseline.h"

#include "editor/text_file.h"
#include "platform/process_runner.h"
#include "platform/tool_paths.h"
#include "text/utf8.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace vesk::HeadBaselineLookup {

namespace {

// Links committed in HEAD are followed this far; a longer chain is taken as a loop.
constexpr int maxLinkHops = 16;

const QString noAnswer = QStringLiteral("git did not answer in time");

struct GitRun
{
    std::optional<ProcessResult> result;  // absent: git could not be started or passed its bound
    bool succeeded() const { return result && !result->endedBySignal && result->exitCode == 0; }
};

GitRun runGit(const QString &directory, const QStringList &arguments, std::chrono::milliseconds timeout)
{
    ProcessRequest request;
    request.program = toolPath(Tool::Git);
    // Paths are names, never patterns: a file called "*.c" is that file only.
    request.arguments = QStringList{QStringLiteral("--literal-pathspecs")} + arguments;
    request.workingDirectory = directory;
    request.timeout = timeout;
    return {runProcess(request)};
}

// One entry of `git ls-tree -l -z`: "<mode> <type> <object> <size>\t<path>".
struct TreeEntry
{
    QString mode;
    QString type;
    QString object;
    qint64 size = 0;
};

std::optional<TreeEntry> parseTreeEntry(const QByteArray &output)
{
    const qsizetype tab = output.indexOf('\t');
    if (tab < 0) {
        return std::nullopt;
    }
    const QList<QByteArray> fields = output.left(tab).simplified().split(' ');
    if (fields.size() != 4) {
        return std::nullopt;
    }
    TreeEntry entry{QString::fromLatin1(fields[0]), QString::fromLatin1(fields[1]), QString::fromLatin1(fields[2])};
    entry.size = fields[3].toLongLong();  // "-" for anything but a blob
    return entry;
}

// `path` relative to `root` when it lies inside it, else nothing.
std::optional<QString> relativeTo(const QString &root, const QString &path)
{
    const QString prefix = root.endsWith(u'/') ? root : root + u'/';
    if (!path.startsWith(prefix) || path.size() == prefix.size()) {
        return std::nullopt;
    }
    return path.mid(prefix.size());
}

// Where a committed link at `linkPath` leads, relative to the root; nothing when it leads out.
std::optional<QString> linkDestination(const QString &root, const QString &linkPath, const QString &target)
{
    if (target.isEmpty()) {
        return std::nullopt;
    }
    if (target.startsWith(u'/')) {
        return relativeTo(root, QDir::cleanPath(target));
    }
    QStringList parts = linkPath.split(u'/');
    parts.removeLast();
    for (const QString &part : target.split(u'/')) {
        if (part.isEmpty() || part == u".") {
            continue;
        }
        if (part == u"..") {
            if (parts.isEmpty()) {
                return std::nullopt;  // above the repository's root
            }
            parts.removeLast();
        } else {
            parts.append(part);
        }
    }
    return parts.isEmpty() ? std::nullopt : std::optional<QString>(parts.join(u'/'));
}

HeadBaseline failed(const QString &problem)
{
    HeadBaseline baseline;
    baseline.problem = problem;
    return baseline;
}

} // namespace

std::chrono::milliseconds timeoutForSize(qint64 size)
{
    return baseTimeout + std::chrono::milliseconds(std::max<qint64>(size, 0) / (bytesPerExtraSecond / 1000));
}

HeadBaseline lookUp(const QString &path)
{
    const QFileInfo file(path);
    // Git names the root with links resolved, so the folder is resolved too; the file itself
    // stays as named, since HEAD records a link under the link's own name.
    const QString directory = QFileInfo(file.absolutePath()).canonicalFilePath();
    if (directory.isEmpty()) {
        return {};
    }
    const GitRun top = runGit(directory, {QStringLiteral("rev-parse"), QStringLiteral("--show-toplevel")}, baseTimeout);
    if (!top.result) {
        return failed(noAnswer);
    }
    if (!top.succeeded() || !isValidUtf8(top.result->standardOutput)) {
        return {};  // not in a repository
    }
    const QString root = QDir::cleanPath(QString::fromUtf8(top.result->standardOutput).trimmed());
    std::optional<QString> relative = relativeTo(root, directory + u'/' + file.fileName());
    for (int hop = 0; relative && hop < maxLinkHops; ++hop) {
        const GitRun listed = runGit(root, {QStringLiteral("ls-tree"), QStringLiteral("-l"), QStringLiteral("-z"),
                                            QStringLiteral("--full-tree"), QStringLiteral("HEAD"), QStringLiteral("--"),
                                            *relative},
                                     baseTimeout);
        if (!listed.result) {
            return failed(noAnswer);
        }
        // No commit yet, or nothing under that name in it.
        const std::optional<TreeEntry> entry =
            listed.succeeded() ? parseTreeEntry(listed.result->standardOutput) : std::nullopt;
        if (!entry || entry->type != u"blob") {
            return {};  // a folder or a submodule is no baseline for a file
        }
        const GitRun blob = runGit(root, {QStringLiteral("cat-file"), QStringLiteral("blob"), entry->object},
                                   timeoutForSize(entry->size));
        if (!blob.result) {
            return failed(noAnswer);
        }
        if (!blob.succeeded()) {
            return failed(QStringLiteral("git could not read the committed version"));
        }
        QByteArray content = blob.result->standardOutput;
        if (entry->mode == u"120000") {
            relative = isValidUtf8(content) ? linkDestination(root, *relative, QString::fromUtf8(content))
                                            : std::nullopt;
            continue;
        }
        HeadBaseline baseline;
        baseline.hasByteOrderMark = takeByteOrderMark(content);
        // Content that is not UTF-8 is no baseline (an empty one would mark every line).
        if (isValidUtf8(content)) {
            baseline.content = std::move(content);
        }
        return baseline;
    }
    return {};
}

} // namespace vesk::HeadBaselineLookup
