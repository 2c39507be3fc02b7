#include "workspace/file_operations.h"

#include "workspace/workspace_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(Q_OS_LINUX)
#include <fcntl.h>
#endif
#include <unistd.h>

namespace vesk::FileOperations {

namespace {

QString quoted(const QString &name)
{
    return u'"' + name + u'"';
}

// True when something is at `path`, a dangling link included.
bool occupied(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Why `directory` is no place to work in, or nothing when it lies in the repository.
std::optional<QString> folderProblem(const QString &repoRoot, const QString &directory)
{
    if (!QFileInfo(directory).isDir()) {
        return QStringLiteral("The folder %1 no longer exists.").arg(quoted(QFileInfo(directory).fileName()));
    }
    const QString root = WorkspacePaths::canonicalPath(repoRoot);
    const QString folder = WorkspacePaths::canonicalPath(directory);
    if (folder != root && !WorkspacePaths::isInside(folder, root)) {
        return QStringLiteral("The folder %1 leads outside the repository.").arg(quoted(QFileInfo(directory).fileName()));
    }
    return std::nullopt;
}

FileOperationResult refused(const QString &message)
{
    return {false, QString(), message};
}

// Renames without ever replacing what is at `to`.
bool renameNoReplace(const QString &from, const QString &to, QString *why)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#if defined(Q_OS_LINUX)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
#endif
    // No atomic form on this file system: check, then rename.
    if (occupied(to)) {
        *why = QString::fromLocal8Bit(std::strerror(EEXIST));
        return false;
    }
    if (std::rename(source.constData(), target.constData()) != 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

// Checks the name and the folder; on success `path` is where the new item goes.
std::optional<QString> placeProblem(const QString &repoRoot, const QString &parentDir, const QString &name,
                                    QString *path)
{
    if (const auto problem = nameProblem(name)) {
        return problem;
    }
    if (const auto problem = folderProblem(repoRoot, parentDir)) {
        return problem;
    }
    *path = QDir(parentDir).filePath(name);
    if (occupied(*path)) {
        return QStringLiteral("An item named %1 already exists here.").arg(quoted(name));
    }
    return std::nullopt;
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
bool usableFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink() && info.isWritable();
}

// Whether the desktop has a trash for the item at `path`, by the freedesktop rules that
// QFile::moveToTrash follows: the trash of the home's data folder for items on the home's disk,
// else one at the top of the item's disk. When QFile::moveToTrash finds none it does not fail
// but moves the item into "files" below the working directory, so this is checked first.
bool hasTrashFor(const QString &path)
{
    const QStorageInfo disk(QFileInfo(path).absolutePath());
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString homeTrash = data + QStringLiteral("/Trash");
    const bool homeTrashUsable = usableFolder(homeTrash) || (!occupied(homeTrash) && usableFolder(data));
    if (disk == QStorageInfo(QDir::homePath())) {
        return homeTrashUsable;
    }
    const QString top = disk.rootPath();
    const QString uid = QString::number(::getuid());
    return homeTrashUsable || usableFolder(top + QStringLiteral("/.Trash-") + uid)
           || usableFolder(top + QStringLiteral("/.Trash/") + uid) || usableFolder(top);
}
#else
bool hasTrashFor(const QString &)
{
    return true;
}
#endif

} // namespace

QString trimmedName(const QString &text)
{
    return text.trimmed();
}

std::optional<QString> nameProblem(const QString &name)
{
    if (name.isEmpty()) {
        return QString();
    }
    if (name.contains(u'/')) {
        return QStringLiteral("A name cannot contain \"/\".");
    }
    if (name == u"." || name == u".." || name.contains(QChar(0))) {
        return QStringLiteral("%1 cannot be used as a name.").arg(quoted(name));
    }
    return std::nullopt;
}

FileOperationResult createFile(const QString &repoRoot, const QString &parentDir, const QString &name)
{
    const QString trimmed = trimmedName(name);
    QString path;
    if (const auto problem = placeProblem(repoRoot, parentDir, trimmed, &path)) {
        return refused(*problem);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return refused(QStringLiteral("Could not create %1: %2.").arg(quoted(trimmed), file.errorString()));
    }
    file.close();
    return {true, path, QString()};
}

FileOperationResult createFolder(const QString &repoRoot, const QString &parentDir, const QString &name)
{
    const QString trimmed = trimmedName(name);
    QString path;
    if (const auto problem = placeProblem(repoRoot, parentDir, trimmed, &path)) {
        return refused(*problem);
    }
    if (!QDir(parentDir).mkdir(trimmed)) {
        return refused(QStringLiteral("Could not create the folder %1.").arg(quoted(trimmed)));
    }
    return {true, path, QString()};
}

FileOperationResult renameItem(const QString &repoRoot, const QString &path, const QString &newName)
{
    const QString trimmed = trimmedName(newName);
    const QFileInfo old(path);
    if (trimmed.isEmpty() || trimmed == old.fileName()) {
        return refused(QString());
    }
    if (!occupied(path)) {
        return refused(QStringLiteral("%1 no longer exists.").arg(quoted(old.fileName())));
    }
    QString target;
    if (const auto problem = placeProblem(repoRoot, old.path(), trimmed, &target)) {
        return refused(*problem);
    }
    QString why;
    if (!renameNoReplace(path, target, &why)) {
        return refused(QStringLiteral("Could not rename %1: %2.").arg(quoted(old.fileName()), why));
    }
    return {true, target, QString()};
}

FileOperationResult moveToTrash(const QString &repoRoot, const QString &path)
{
    const QFileInfo item(path);
    if (!occupied(path)) {
        return refused(QStringLiteral("%1 no longer exists.").arg(quoted(item.fileName())));
    }
    if (const auto problem = folderProblem(repoRoot, item.path())) {
        return refused(*problem);
    }
    if (!hasTrashFor(path) || !QFile::moveToTrash(path)) {
        return refused(QStringLiteral("%1 could not be moved to the Trash, so it was not deleted.")
                           .arg(quoted(item.fileName())));
    }
    return {true, path, QString()};
}

} // namespace vesk::FileOperations
