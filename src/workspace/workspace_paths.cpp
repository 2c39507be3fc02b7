#include "workspace/workspace_paths.h"

#include "platform/process_runner.h"
#include "platform/tool_paths.h"
#include "text/utf8.h"

#include <QDir>
#include <QFileInfo>

namespace vesk::WorkspacePaths {

namespace {

// The top level found without git: the nearest folder (links resolved) holding a ".git" entry.
// Used only when git gives no answer, so that a git that hangs never makes a folder inside a
// repository look like a repository of its own.
std::optional<QString> topLevelByLayout(const QString &directory)
{
    QString folder = QFileInfo(directory).canonicalFilePath();
    while (!folder.isEmpty()) {
        if (QFileInfo::exists(folder + QStringLiteral("/.git"))) {
            return folder;
        }
        if (folder == u"/") {
            break;
        }
        const qsizetype slash = folder.lastIndexOf(u'/');
        folder = slash <= 0 ? QStringLiteral("/") : folder.left(slash);
    }
    return std::nullopt;
}

std::optional<QString> showTopLevel(const QString &directory)
{
    ProcessRequest request;
    request.program = toolPath(Tool::Git);
    request.arguments = {QStringLiteral("rev-parse"), QStringLiteral("--show-toplevel")};
    request.workingDirectory = directory;
    request.timeout = gitRootTimeout;
    const std::optional<ProcessResult> result = runProcess(request);
    if (!result) {
        return topLevelByLayout(directory);  // no answer is not "no repository"
    }
    if (result->endedBySignal || result->exitCode != 0
        || scanUtf8(result->standardOutput) == Utf8Kind::invalid) {
        return std::nullopt;
    }
    const QString topLevel = QString::fromUtf8(result->standardOutput).trimmed();
    return topLevel.isEmpty() ? std::nullopt : std::optional<QString>(topLevel);  // a bare repository
}

bool isDirectory(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

} // namespace

QString canonicalPath(const QString &path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString existing = absolute;
    QString rest;
    while (!QFileInfo::exists(existing)) {
        const qsizetype slash = existing.lastIndexOf(u'/');
        if (slash <= 0) {
            return absolute;
        }
        rest = existing.mid(slash) + rest;
        existing.truncate(slash);
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    if (canonical.isEmpty()) {
        return absolute;
    }
    return canonical == u"/" && !rest.isEmpty() ? rest : canonical + rest;
}

bool isInside(const QString &path, const QString &directory)
{
    const QString prefix = directory.endsWith(u'/') ? directory : directory + u'/';
    return path.size() > prefix.size() && path.startsWith(prefix);
}

std::optional<QString> gitRootForDirectory(const QString &dir)
{
    if (!isDirectory(dir)) {
        return std::nullopt;
    }
    const std::optional<QString> root = showTopLevel(dir);
    if (!root || *root == dir) {
        return std::nullopt;
    }
    return root;
}

std::optional<QString> findGitRoot(const QString &filePath)
{
    const QString directory = QFileInfo(filePath).path();
    if (!isDirectory(directory)) {
        return std::nullopt;
    }
    return showTopLevel(directory);
}

} // namespace vesk::WorkspacePaths
