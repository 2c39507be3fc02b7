#include "platform/atomic_write.h"

#include "platform/posix_io.h"

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

WriteResult failure(const QString &what, const QByteArray &path, int error)
{
    return {false, QStringLiteral("%1 \"%2\": %3").arg(what, QFile::decodeName(path), qt_error_string(error))};
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

// The side file is removed unless it was renamed into place.
struct SideFile
{
    QByteArray path;
    int fd = -1;
    bool renamed = false;

    ~SideFile()
    {
        if (fd >= 0) {
            ::close(fd);
        }
        if (!renamed && !path.isEmpty()) {
            ::unlink(path.constData());
        }
    }

    bool create(const Location &location, mode_t mode)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            path = location.directory + '/' + sideFileName(location.name);
            fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (fd >= 0) {
                return true;
            }
            if (errno != EEXIST) {
                break;
            }
        }
        path.clear();
        return false;
    }

    bool close()
    {
        const int result = ::close(fd);
        fd = -1;
        return result == 0 || errno == EINTR;  // after EINTR the descriptor is gone all the same
    }
};

// Gives the side file the replaced file's owner and permissions. Set-id bits are not carried
// over: the kernel drops them on any write to the original as well.
bool adoptAttributes(int fd, const struct stat *existing, bool makePrivate)
{
    if (makePrivate) {
        return ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    }
    if (!existing) {
        return true;  // created with 0666, so the umask has had its say
    }
    if (::fchown(fd, existing->st_uid, existing->st_gid) != 0) {
        // Only root (or a member of the group) may hand the file over; otherwise it stays ours.
    }
    return ::fchmod(fd, existing->st_mode & 0777) == 0;
}

WriteResult writeAtomically(const QString &path, const QByteArray &data, bool makePrivate,
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
        return failure(QStringLiteral("Could not write"), target, errno);
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        return failure(QStringLiteral("Could not write"), target, EISDIR);
    }
    const bool replacesLink = exists && S_ISLNK(existing.st_mode);
    if (exists && !replacesLink && !S_ISREG(existing.st_mode)) {
        return {false, QStringLiteral("Could not write \"%1\": it is not a regular file").arg(path)};
    }
    const struct stat *original = exists && !replacesLink ? &existing : nullptr;

    SideFile side;
    const mode_t createMode = makePrivate || original ? (S_IRUSR | S_IWUSR) : 0666;
    if (!side.create(location, createMode)) {
        return failure(QStringLiteral("Could not create a temporary file in"), location.directory, errno);
    }
    if (!adoptAttributes(side.fd, original, makePrivate) || !writeAll(side.fd, data.constData(), data.size())
        || !flushToDevice(side.fd) || !side.close()) {
        return failure(QStringLiteral("Could not write"), target, errno);
    }
    if (::rename(side.path.constData(), target.constData()) != 0) {
        return failure(QStringLiteral("Could not replace"), target, errno);
    }
    side.renamed = true;
    flushDirectory(location.directory);
    return {true, {}};
}

} // namespace

WriteResult atomicWrite(const QString &path, const QByteArray &data)
{
    return writeAtomically(path, data, false, LinkHandling::WriteTarget);
}

WriteResult atomicWritePrivate(const QString &path, const QByteArray &data, LinkHandling links)
{
    return writeAtomically(path, data, true, links);
}

} // namespace vesk
