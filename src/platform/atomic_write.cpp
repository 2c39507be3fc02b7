#include "platform/atomic_write.h"

#include "platform/posix_io.h"
#include "platform/regular_file.h"
#include "platform/temp_files.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

constexpr int maxLinkHops = 40;
// Leaves room for the dot and suffix within the usual 255-byte name limit.
constexpr int maxSideNameBytes = 200;

WriteFailure classify(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return WriteFailure::noPermission;
    case EROFS:
        return WriteFailure::diskReadOnly;
    case ENOSPC:
        return WriteFailure::diskFull;
    case EDQUOT:
        return WriteFailure::quotaExceeded;
    case EFBIG:
        return WriteFailure::fileTooLarge;
    case EISDIR:
        return WriteFailure::isFolder;
    case ENOENT:
        return WriteFailure::folderMissing;
    case ENOTDIR:
        return WriteFailure::notAFolder;
    case ENAMETOOLONG:
        return WriteFailure::nameTooLong;
    case ELOOP:
        return WriteFailure::linkLoop;
    case EIO:
        return WriteFailure::ioError;
    default:
        return WriteFailure::other;
    }
}

WriteResult failure(const QString &what, const QByteArray &path, int error, WriteFailure kind)
{
    return {false, QStringLiteral("%1 \"%2\": %3").arg(what, QFile::decodeName(path), qt_error_string(error)), kind,
            error, {}, {}};
}

WriteResult failure(const QString &what, const QByteArray &path, int error)
{
    return failure(what, path, error, classify(error));
}

WriteResult refused(const QString &reason, const QByteArray &path, WriteFailure kind, int error = 0)
{
    return {false, QStringLiteral("Could not write \"%1\": %2").arg(QFile::decodeName(path), reason), kind, error, {}, {}};
}

// A folder that refuses a new file: read-only when nobody may write it, else closed to this user.
WriteFailure folderRefusal(const QByteArray &directory, int error)
{
    if (error != EACCES && error != EPERM) {
        return classify(error);
    }
    struct stat st;
    return ::stat(directory.constData(), &st) == 0 && (st.st_mode & 0222) == 0 ? WriteFailure::folderReadOnly
                                                                                : WriteFailure::folderNoPermission;
}

struct Location
{
    QByteArray directory;
    QByteArray name;
};

Location split(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) {
        return {QByteArrayLiteral("."), path};
    }
    return {slash == 0 ? QByteArrayLiteral("/") : path.left(slash), path.mid(slash + 1)};
}

// Follows a chain of links to the path it ends at, which need not exist yet (a dangling link
// gets its target created).
std::optional<QByteArray> resolveLinks(QByteArray path, int &error)
{
    for (int hop = 0; hop < maxLinkHops; ++hop) {
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return path;
        }
        QByteArray target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (length < 0 || length >= target.size()) {
            error = length < 0 ? errno : ENAMETOOLONG;
            return std::nullopt;
        }
        target.truncate(length);
        path = target.startsWith('/') ? target : split(path).directory + '/' + target;
    }
    error = ELOOP;
    return std::nullopt;
}

QByteArray sideFileName(const QByteArray &name)
{
    QString shortened = QFile::decodeName(name);
    while (QFile::encodeName(shortened).size() > maxSideNameBytes) {
        shortened.chop(1);
    }
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(6, '\0');
    for (char &c : suffix) {
        c = alphabet[QRandomGenerator::global()->bounded(int(sizeof(alphabet) - 1))];
    }
    return '.' + QFile::encodeName(shortened) + ".vesk-" + suffix;
}

// The side file is removed unless it was renamed into place. Where the system offers unnamed
// files, the side file gets its name only just before the rename, so a failure on the way (a
// full disk, a folder whose permissions change meanwhile) leaves nothing behind.
struct SideFile
{
    QByteArray path;
    int fd = -1;
    bool named = false;
    bool renamed = false;

    ~SideFile()
    {
        if (fd >= 0) {
            ::close(fd);
        }
        if (named && !renamed) {
            ::unlink(path.constData());
        }
    }

    bool create(const Location &location, mode_t mode)
    {
#ifdef O_TMPFILE
        fd = ::open(location.directory.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) {
            return true;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return false;  // the folder refuses files altogether
        }
#endif
        for (int attempt = 0; attempt < 100; ++attempt) {
            path = location.directory + '/' + sideFileName(location.name);
            fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (fd >= 0) {
                named = true;
                return true;
            }
            if (errno != EEXIST) {
                break;
            }
        }
        path.clear();
        return false;
    }

    // Gives an unnamed side file a name in `location` (a named one has it already).
    bool name(const Location &location)
    {
        if (named) {
            return true;
        }
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            path = location.directory + '/' + sideFileName(location.name);
            if (::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) == 0) {
                named = true;
                return true;
            }
            if (errno != EEXIST) {
                break;
            }
        }
        return false;
    }

    bool close()
    {
        const int result = ::close(fd);
        fd = -1;
        return result == 0 || errno == EINTR;  // after EINTR the descriptor is gone all the same
    }
};

// May this user write the existing file? The system's answer for the effective user decides
// (root may write almost anything), and a file that nobody has the write bit for is taken as
// meant to stay as it is, even by root.
std::optional<WriteResult> writeRefusal(const QByteArray &target, const struct stat &existing)
{
    if ((existing.st_mode & 0222) == 0) {
        return refused(QStringLiteral("the file is read-only"), target, WriteFailure::fileReadOnly);
    }
    if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0) {
        const int error = errno;
        return error == EROFS ? refused(QStringLiteral("the disk is read-only"), target, WriteFailure::diskReadOnly, error)
                              : refused(QStringLiteral("you do not have permission to write it"), target,
                                        WriteFailure::noPermission, error);
    }
    return std::nullopt;
}

// Gives the side file the replaced file's owner, group and permissions. False when the
// owner or group cannot be kept: replacing the file would then hand it to this user, so the
// caller writes in place instead. Set-id bits are not carried over: the kernel drops them on
// any write to the original as well.
bool adoptOwnership(int fd, const struct stat &existing)
{
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        // Only root (or a member of the group) may; check what we got instead.
    }
    struct stat now;
    return ::fstat(fd, &now) == 0 && now.st_uid == existing.st_uid && now.st_gid == existing.st_gid;
}

WriteContent wholly(const QByteArray &data)
{
    return [&data](const WriteSink &sink) { return sink(data); };
}

// Writes the content from the descriptor's position; errno tells why when false.
bool writeContent(int fd, const WriteContent &content, qint64 &size)
{
    size = 0;
    int error = 0;
    const bool ok = content([&](QByteArrayView piece) {
        if (!writeAll(fd, piece.data(), piece.size())) {
            error = errno;
            return false;
        }
        size += piece.size();
        return true;
    });
    if (!ok) {
        errno = error != 0 ? error : EIO;
    }
    return ok;
}

bool writeAllAt(int fd, const WriteContent &content)
{
    qint64 size = 0;
    return ::lseek(fd, 0, SEEK_SET) == 0 && writeContent(fd, content, size) && ::ftruncate(fd, off_t(size)) == 0
           && flushToDevice(fd);
}

// Writes over the file itself, for when a replacement cannot be put beside it (the folder
// refuses new files) or would change its owner. The old content is first kept in a private
// copy and written back if the write fails half way; a copy that could not be written back is
// left in place and named in the error.
WriteResult writeInPlace(const QByteArray &target, const struct stat &existing, const WriteContent &data)
{
    FileDescriptor fd(::open(target.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened;
    if (!fd.isOpen() || ::fstat(fd.get(), &opened) != 0) {
        return failure(QStringLiteral("Could not write"), target, errno);
    }
    if (!S_ISREG(opened.st_mode) || opened.st_dev != existing.st_dev || opened.st_ino != existing.st_ino) {
        return refused(QStringLiteral("it was replaced while being saved"), target, WriteFailure::replacedMeanwhile);
    }
    const RegularFileRead old = readRegularFile(QFile::decodeName(target));
    if (!old.ok()) {
        return refused(QStringLiteral("its old content could not be read first (%1)").arg(old.error), target,
                       WriteFailure::other);
    }
    const QString copy = writeTempFile(QStringLiteral("vesk_previous_") + shortUuid(), old.data);
    if (copy.isEmpty()) {
        return refused(QStringLiteral("no private copy of its old content could be made"), target, WriteFailure::other);
    }
    if (writeAllAt(fd.get(), data)) {
        const std::optional<FileTime> writtenTime = modificationTime(fd.get());
        if (!fd.close()) {
            const int error = errno;
            QFile::remove(copy);
            return failure(QStringLiteral("Could not write"), target, error);
        }
        QFile::remove(copy);
        return {true, {}, WriteFailure::none, 0, {}, writtenTime};
    }
    const int error = errno;
    WriteResult result = failure(QStringLiteral("Could not write"), target, error);
    if (writeAllAt(fd.get(), wholly(old.data))) {
        QFile::remove(copy);
    } else {
        result.error += QStringLiteral("; the file may be incomplete, its previous content is in \"%1\"").arg(copy);
        result.previousContentCopy = copy;
    }
    return result;
}

bool refusesNewFiles(int error)
{
    return error == EACCES || error == EPERM || error == EROFS || error == EDQUOT || error == ENOSPC;
}

WriteResult writeAtomically(const QString &path, const WriteContent &data, bool makePrivate,
                            LinkHandling links)
{
    QByteArray target = QFile::encodeName(path);
    if (links == LinkHandling::WriteTarget) {
        int error = 0;
        const std::optional<QByteArray> resolved = resolveLinks(target, error);
        if (!resolved) {
            return failure(QStringLiteral("Could not follow the link"), target, error);
        }
        target = *resolved;
    }
    const Location location = split(target);
    if (location.name.isEmpty()) {
        return failure(QStringLiteral("Could not write"), target, EISDIR);
    }

    struct stat existing;
    const bool exists = ::lstat(target.constData(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        const int error = errno;
        // EACCES here means a folder on the way may not be searched.
        return failure(QStringLiteral("Could not write"), target, error,
                       error == EACCES ? WriteFailure::folderNoPermission : classify(error));
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        return failure(QStringLiteral("Could not write"), target, EISDIR);
    }
    const bool replacesLink = exists && S_ISLNK(existing.st_mode);
    if (exists && !replacesLink && !S_ISREG(existing.st_mode)) {
        return refused(QStringLiteral("it is not a regular file"), target, WriteFailure::notRegularFile);
    }
    const struct stat *original = exists && !replacesLink ? &existing : nullptr;
    if (original && !makePrivate) {
        if (std::optional<WriteResult> refusal = writeRefusal(target, *original)) {
            return *std::move(refusal);
        }
    }

    SideFile side;
    const mode_t createMode = makePrivate || original ? (S_IRUSR | S_IWUSR) : 0666;
    if (!side.create(location, createMode)) {
        const int error = errno;
        if (original && !makePrivate && refusesNewFiles(error)) {
            return writeInPlace(target, *original, data);
        }
        return failure(QStringLiteral("Could not create a temporary file in"), location.directory, error,
                       folderRefusal(location.directory, error));
    }
    if (makePrivate) {
        if (::fchmod(side.fd, S_IRUSR | S_IWUSR) != 0) {
            return failure(QStringLiteral("Could not write"), target, errno);
        }
    } else if (original) {
        if (!adoptOwnership(side.fd, *original)) {
            return writeInPlace(target, *original, data);
        }
        if (::fchmod(side.fd, original->st_mode & 0777) != 0) {
            return failure(QStringLiteral("Could not write"), target, errno);
        }
    }
    qint64 written = 0;
    if (!writeContent(side.fd, data, written) || !flushToDevice(side.fd)) {
        return failure(QStringLiteral("Could not write"), target, errno);
    }
    const std::optional<FileTime> writtenTime = modificationTime(side.fd);
    if (!side.name(location) || !side.close()) {
        return failure(QStringLiteral("Could not write"), target, errno);
    }
    if (::rename(side.path.constData(), target.constData()) != 0) {
        return failure(QStringLiteral("Could not replace"), target, errno);
    }
    side.renamed = true;
    flushDirectory(location.directory);
    return {true, {}, WriteFailure::none, 0, {}, writtenTime};
}

} // namespace

WriteResult atomicWrite(const QString &path, const QByteArray &data, LinkHandling links)
{
    return writeAtomically(path, wholly(data), false, links);
}

WriteResult atomicWrite(const QString &path, const WriteContent &content, LinkHandling links)
{
    return writeAtomically(path, content, false, links);
}

WriteResult atomicWritePrivate(const QString &path, const QByteArray &data, LinkHandling links)
{
    return writeAtomically(path, wholly(data), true, links);
}

} // namespace vesk
