#include "patch/patch_install.h"

#include "platform/atomic_write.h"
#include "platform/posix_io.h"
#include "platform/regular_file.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

constexpr qsizetype copyChunk = 1 << 20;

QString systemReason(int error)
{
    return qt_error_string(error);
}

std::optional<QByteArray> realPath(const QByteArray &path)
{
    char *resolved = ::realpath(path.constData(), nullptr);
    if (!resolved) {
        return std::nullopt;
    }
    QByteArray result(resolved);
    ::free(resolved);
    return result;
}

bool isInside(const QByteArray &root, const QByteArray &path)
{
    if (root == "/") {
        return path.startsWith('/');
    }
    return path == root || path.startsWith(root + '/');
}

bool isPlainRelativePath(const QStringList &parts)
{
    for (const QString &part : parts) {
        if (part.isEmpty() || part == u"." || part == u".." || part.contains(QChar(0))) {
            return false;
        }
    }
    return !parts.isEmpty();
}

struct Folder
{
    QByteArray path;  // empty on failure
    QString error;
};

// Walks (and where needed creates) the destination's folders one by one from the canonical
// root, so that a link met on the way is judged before anything is written through it.
Folder prepareFolder(const QByteArray &root, const QStringList &parts)
{
    QByteArray folder = root;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        QByteArray next = folder + '/' + QFile::encodeName(parts[i]);
        struct stat st;
        if (::lstat(next.constData(), &st) != 0) {
            if (errno != ENOENT) {
                return {{}, systemReason(errno)};
            }
            if (::mkdir(next.constData(), 0777) != 0 && errno != EEXIST) {
                return {{}, systemReason(errno)};
            }
            if (::lstat(next.constData(), &st) != 0) {
                return {{}, systemReason(errno)};
            }
        }
        if (S_ISLNK(st.st_mode)) {
            const std::optional<QByteArray> resolved = realPath(next);
            if (!resolved) {
                return {{}, systemReason(errno)};
            }
            if (!isInside(root, *resolved)) {
                return {{}, QStringLiteral("its folder leads outside the repository")};
            }
            if (::stat(resolved->constData(), &st) != 0) {
                return {{}, systemReason(errno)};
            }
            next = *resolved;
        }
        if (!S_ISDIR(st.st_mode)) {
            return {{}, systemReason(ENOTDIR)};
        }
        folder = next;
    }
    return {folder, {}};
}

QByteArray sideFileName()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = ".vesk-patch-";
    for (int i = 0; i < 10; ++i) {
        name += alphabet[QRandomGenerator::global()->bounded(int(sizeof(alphabet) - 1))];
    }
    return name;
}

bool copyAll(int from, int to)
{
    QByteArray buffer(copyChunk, Qt::Uninitialized);
    while (true) {
        const ssize_t got = ::read(from, buffer.data(), size_t(buffer.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        if (!writeAll(to, buffer.constData(), got)) {
            return false;
        }
    }
}

// The side file is removed unless it was renamed into place.
struct SideFile
{
    QByteArray path;
    FileDescriptor fd;
    bool renamed = false;

    ~SideFile()
    {
        fd.close();
        if (!renamed && !path.isEmpty()) {
            ::unlink(path.constData());
        }
    }

    bool create(const QByteArray &folder, mode_t mode)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            path = folder + '/' + sideFileName();
            fd.reset(::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
            if (fd.get() >= 0) {
                return true;
            }
            if (errno != EEXIST) {
                break;
            }
        }
        path.clear();
        return false;
    }
};

// Gives the side file the replaced file's owner and group; false when that is not allowed.
bool keepsOwner(int fd, const struct stat &existing)
{
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        // Only root (or a member of the group) may; what the file got decides below.
    }
    struct stat now;
    return ::fstat(fd, &now) == 0 && now.st_uid == existing.st_uid && now.st_gid == existing.st_gid;
}

// Replaces the content of the existing file itself, through the general write (which keeps a
// private copy of the old content and restores it should the write fail half way).
QString writeInPlace(const QByteArray &source, const QByteArray &target)
{
    const RegularFileRead unpacked = readRegularFile(QFile::decodeName(source));
    if (!unpacked.ok()) {
        return QStringLiteral("the unpacked file could not be read: ") + unpacked.error;
    }
    const WriteResult written = atomicWrite(QFile::decodeName(target), unpacked.data);
    return written ? QString() : written.error;
}

QString copyAtomically(const QByteArray &source, const QByteArray &folder, const QByteArray &name)
{
    const QByteArray target = folder + '/' + name;
    struct stat existing;
    const bool exists = ::lstat(target.constData(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        return systemReason(errno);
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        return systemReason(EISDIR);
    }
    const bool replacesFile = exists && S_ISREG(existing.st_mode);

    // Never waits on a pipe swapped in for the unpacked file; the descriptor is checked below.
    FileDescriptor in(::open(source.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat unpacked;
    if (in.get() < 0 || ::fstat(in.get(), &unpacked) != 0) {
        return systemReason(errno);
    }
    if (!S_ISREG(unpacked.st_mode)) {
        return QStringLiteral("the unpacked file is not a regular file");
    }
    if (replacesFile) {
        // A rename would get past the file's permissions; the system decides for this user.
        if ((existing.st_mode & 0222) == 0) {
            return QStringLiteral("the file is read-only");
        }
        if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0) {
            return QStringLiteral("you do not have permission to write it");
        }
    }
    // A new file gets the usual mode less the umask, executable when the archive said so.
    const mode_t newMode = (unpacked.st_mode & 0111) != 0 ? 0777 : 0666;
    SideFile side;
    if (!side.create(folder, replacesFile ? S_IRUSR | S_IWUSR : newMode)) {
        // The folder takes no new file: the general write falls back to writing in place.
        return replacesFile ? writeInPlace(source, target) : systemReason(errno);
    }
    if (replacesFile && !keepsOwner(side.fd.get(), existing)) {
        return writeInPlace(source, target);  // a rename would hand the file to this user
    }
    if ((replacesFile && ::fchmod(side.fd.get(), existing.st_mode & 0777) != 0) || !copyAll(in.get(), side.fd.get())
        || !flushToDevice(side.fd.get()) || !side.fd.close()) {
        return systemReason(errno);
    }
    if (::rename(side.path.constData(), target.constData()) != 0) {
        return systemReason(errno);
    }
    side.renamed = true;
    flushDirectory(folder);
    return {};
}

} // namespace

QString installPatchFile(const QString &repoRoot, const QString &relativePath, const QString &source)
{
    const QStringList parts = relativePath.split(u'/');
    if (!isPlainRelativePath(parts)) {
        return QStringLiteral("the path is not a plain relative path");
    }
    const std::optional<QByteArray> root = realPath(QFile::encodeName(repoRoot));
    if (!root) {
        return systemReason(errno);
    }
    const Folder folder = prepareFolder(*root, parts);
    if (folder.path.isEmpty()) {
        return folder.error;
    }
    return copyAtomically(QFile::encodeName(source), folder.path, QFile::encodeName(parts.last()));
}

} // namespace vesk
