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

// What to do when the path names a symbolic link.
enum class LinkHandling {
    WriteTarget,  // write the file the link leads to; the link stays
    ReplaceLink,  // put the new file where the link was (the link's target is never touched)
};

// Replaces the file at `path` with `data` so that readers see the old or the new content, never
// a mix: writes a side file in the same directory (created exclusively, never through an existing
// link), flushes it to the storage device (F_FULLFSYNC on macOS, fsync elsewhere), renames it over
// the path and flushes the directory. A replaced file keeps its permission bits; a new file gets
// 0666 less the umask. When `path` is a symbolic link the link's target is written and the link
// stays. On failure the side file is removed, the original stays untouched and the reason is
// returned.
WriteResult atomicWrite(const QString &path, const QByteArray &data);

// As atomicWrite, for files that must stay private: the file ends up with mode 0600 exactly,
// whether it is new or replaces one that was more open.
WriteResult atomicWritePrivate(const QString &path, const QByteArray &data,
                               LinkHandling links = LinkHandling::WriteTarget);

} // namespace vesk
