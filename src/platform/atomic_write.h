#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "platform/file_time.h"

#include <functional>
#include <optional>

namespace vesk {

// Why a write failed, in terms a sentence for the user can be made of.
enum class WriteFailure {
    none,
    fileReadOnly,        // the file has no write bit at all
    noPermission,        // the system refuses this user writing the file
    folderReadOnly,      // the folder has no write bit, and the file could not be written in place
    folderNoPermission,  // the folder refuses this user new files, or the path cannot be searched
    diskReadOnly,        // the file system is mounted read-only
    diskFull,
    quotaExceeded,
    fileTooLarge,        // larger than the file system or the process's limit allows
    isFolder,            // a folder stands where the file should be
    notRegularFile,      // a pipe, a device or a socket stands there
    folderMissing,       // the folder the file should be in does not exist
    notAFolder,          // a part of the path is a file, not a folder
    nameTooLong,
    linkLoop,            // the path's links lead in a circle (or through too many links)
    replacedMeanwhile,   // another file took the file's place while it was being written
    ioError,             // the device reported an error
    other,
};

struct WriteResult
{
    bool ok = false;
    QString error;  // a short human-readable reason when ok is false
    WriteFailure failure = WriteFailure::none;
    int errorNumber = 0;          // the system's error number behind it, when there was one
    QString previousContentCopy;  // a write in place failed half way: the old content is kept here
    // The date of the file as written, read from the file itself before it took the path: what
    // the path shows afterwards may already be another program's newer write.
    std::optional<FileTime> writtenTime;
    explicit operator bool() const { return ok; }
};

// What to do when the path names a symbolic link.
enum class LinkHandling {
    WriteTarget,  // write the file the link leads to; the link stays
    ReplaceLink,  // put the new file where the link was (the link's target is never touched)
};

// Replaces the file at `path` with `data` so that readers see the old or the new content, never
// a mix: writes a side file in the same directory (never through an existing link), flushes it
// to the storage device (F_FULLFSYNC on macOS, fsync elsewhere), renames it over the path and
// flushes the directory. A replaced file keeps its permission bits, owner and group; a new file
// gets 0666 less the umask. When `path` is a symbolic link the link's target is written and the
// link stays. On failure nothing is left beside the file, the original stays untouched and the
// reason is returned.
//
// A file the effective user may not write (as the system says), or that has no write bit at
// all, is refused: replacing it by a rename would get past its permissions. When the folder
// refuses the side file, or the replacement could not keep the file's owner and group, the
// file is written in place instead: its old content is first copied to the private temporary
// directory and written back should the write fail half way; the error names the copy when even
// that failed.
WriteResult atomicWrite(const QString &path, const QByteArray &data, LinkHandling links = LinkHandling::WriteTarget);

// Content handed over piece by piece, for data too large to be worth holding in one piece: it
// passes every piece to `sink` in order, and stops with false as soon as `sink` returns false
// (the write failed). It may be asked more than once (a write in place starting over) and must
// give the same bytes each time.
using WriteSink = std::function<bool(QByteArrayView piece)>;
using WriteContent = std::function<bool(const WriteSink &sink)>;

// As atomicWrite, with the content produced while it is written.
WriteResult atomicWrite(const QString &path, const WriteContent &content,
                        LinkHandling links = LinkHandling::WriteTarget);

// As atomicWrite, for files that must stay private: the file ends up with mode 0600 exactly,
// whether it is new or replaces one that was more open.
WriteResult atomicWritePrivate(const QString &path, const QByteArray &data,
                               LinkHandling links = LinkHandling::WriteTarget);

} // namespace vesk
