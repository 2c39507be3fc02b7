#pragma once

#include <QString>
#include <QtGlobal>

#include <compare>
#include <optional>

namespace vesk {

// A file's modification time at the file system's full precision (nanoseconds since the epoch).
struct FileTime
{
    qint64 nanoseconds = 0;
    auto operator<=>(const FileTime &) const = default;
};

// The modification time of `path` (following links); nothing when it cannot be read.
std::optional<FileTime> modificationTime(const QString &path);
// The modification time of an open file.
std::optional<FileTime> modificationTime(int fd);

// Sets the modification (and access) time of `path`. For tests and for keeping dates on copies.
bool setModificationTime(const QString &path, FileTime time);

} // namespace vesk
