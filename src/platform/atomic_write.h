#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vesk {

struct WriteResult
{
    bool ok = false;
    QString error;  // a short human-readable reason when ok is false
    explicit operator bool() const { return ok; }
};

// Replaces the file at `path` with `data` so that readers see the old or the new content, never
// a mix: writes a side file in the same directory (created exclusively, never through an existing
// link), flushes it to the storage device (F_FULLFSYNC on macOS, fsync elsewhere), renames it over
// the path and flushes the directory. A replaced file keeps its permission bits; a new file gets
// 0666 less the umask. When `path` is a symbolic link the link's target is written and the link
// stays. On failure the side file is removed, the original stays untouched and the reason is
// returned.
WriteResult atomicWrite(const QString &path, const QByteArray &data);

// As atomicWrite, for files that must stay private: a new file is created with mode 0600 exactly.
WriteResult atomicWritePrivate(const QString &path, const QByteArray &data);

} // namespace vesk
