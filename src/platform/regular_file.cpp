#include "platform/regular_file.h"

#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

QString kindReason(mode_t mode)
{
    if (S_ISDIR(mode)) {
        return QStringLiteral("it is a folder");
    }
    if (S_ISFIFO(mode)) {
        return QStringLiteral("it is a named pipe, not a file");
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return QStringLiteral("it is a device, not a file");
    }
    if (S_ISSOCK(mode)) {
        return QStringLiteral("it is a socket, not a file");
    }
    return QStringLiteral("it is not a regular file");
}

QString systemReason(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("the file does not exist");
    case EACCES:
    case EPERM:
        return QStringLiteral("you do not have permission to read it");
    case ELOOP:
        return QStringLiteral("its links lead round in a circle");
    case EISDIR:
        return QStringLiteral("it is a folder");
    default:
        return qt_error_string(error);
    }
}

RegularFile openNative(const QByteArray &path)
{
    RegularFile file;
    // Non-blocking: a pipe without a writer (or a device that waits for a carrier) would
    // otherwise hold the open forever. No controlling terminal is ever taken on.
    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        file.errorCode = errno;
        file.error = systemReason(file.errorCode);
        return file;
    }
    FileDescriptor opened(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        file.errorCode = errno;
        file.error = systemReason(file.errorCode);
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.error = kindReason(st.st_mode);
        return file;
    }
    // O_NONBLOCK stays: it changes nothing for a regular file, and clearing it costs two calls.
    file.fd = std::move(opened);
    file.size = qint64(st.st_size);
    return file;
}

// Reads `limit` bytes or up to the end, appending at `into[filled]`; the buffer is sized by the caller.
bool readUpTo(int fd, char *into, qint64 limit, qint64 &filled)
{
    filled = 0;
    while (filled < limit) {
        const ssize_t got = ::read(fd, into + filled, size_t(std::min<qint64>(limit - filled, qint64(1) << 30)));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;  // shrank since it was opened
        }
        filled += got;
    }
    return true;
}

} // namespace

RegularFile openRegularFile(const QString &path)
{
    if (path.isEmpty()) {
        RegularFile file;
        file.errorCode = ENOENT;
        file.error = systemReason(ENOENT);
        return file;
    }
    return openNative(QFile::encodeName(path));
}

bool readOpenedFile(RegularFile &file, QByteArray &into, qint64 maxBytes)
{
    const qint64 limit = std::max<qint64>(std::min(file.size - file.consumed, maxBytes), 0);
    into.resize(qsizetype(limit));
    qint64 filled = 0;
    const bool ok = readUpTo(file.fd.get(), into.data(), limit, filled);
    into.truncate(qsizetype(filled));
    // A file that shrank ends here, however much it had when opened.
    file.consumed = filled < limit ? file.size : file.consumed + filled;
    return ok;
}

QString readRegularFileInto(const QByteArray &nativePath, QByteArray &buffer, qint64 maxBytes)
{
    RegularFile file = openNative(nativePath);
    if (!file.isOpen()) {
        return file.error;
    }
    if (file.size > maxBytes || file.size > qint64(std::numeric_limits<qsizetype>::max() / 2)) {
        return QStringLiteral("it is too large");
    }
    if (!readOpenedFile(file, buffer)) {
        return systemReason(errno);
    }
    return {};
}

RegularFileRead readRegularFile(const QString &path, qint64 maxBytes)
{
    RegularFileRead result;
    result.error = path.isEmpty() ? systemReason(ENOENT)
                                  : readRegularFileInto(QFile::encodeName(path), result.data, maxBytes);
    if (!result.ok()) {
        result.data.clear();
    }
    return result;
}

QString fileErrorReason(int errorCode)
{
    return systemReason(errorCode);
}

bool isRegularFile(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace vesk
