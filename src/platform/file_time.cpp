#include "platform/file_time.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

namespace vesk {

namespace {

constexpr qint64 nanosecondsPerSecond = 1'000'000'000;

FileTime modificationTimeOf(const struct stat &st)
{
#ifdef __APPLE__
    const struct timespec &mtime = st.st_mtimespec;
#else
    const struct timespec &mtime = st.st_mtim;
#endif
    return FileTime{qint64(mtime.tv_sec) * nanosecondsPerSecond + mtime.tv_nsec};
}

} // namespace

std::optional<FileTime> modificationTime(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return modificationTimeOf(st);
}

std::optional<FileTime> modificationTime(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return modificationTimeOf(st);
}

bool setModificationTime(const QString &path, FileTime time)
{
    // timespec wants 0 <= tv_nsec < 1e9, so times before the epoch round the seconds down.
    qint64 seconds = time.nanoseconds / nanosecondsPerSecond;
    qint64 rest = time.nanoseconds % nanosecondsPerSecond;
    if (rest < 0) {
        seconds -= 1;
        rest += nanosecondsPerSecond;
    }
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = time_t(seconds);
    times[0].tv_nsec = times[1].tv_nsec = long(rest);
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

} // namespace vesk
