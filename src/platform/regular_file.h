#pragma once

#include "platform/posix_io.h"

#include <QByteArray>
#include <QString>

#include <limits>

namespace vesk {

// A regular file opened for reading, or why it could not be. Only regular files are ever read:
// opening a named pipe would wait for a writer forever, and a device such as /dev/zero never
// ends.
struct RegularFile
{
    FileDescriptor fd;  // open only when error is empty
    qint64 size = 0;    // the size when it was opened; never read past it
    qint64 consumed = 0;  // how much readOpenedFile has read so far
    QString error;      // a short reason in plain words ("it is a named pipe"), without a final stop
    int errorCode = 0;  // errno when the system refused, else 0

    bool isOpen() const { return fd.isOpen(); }
};

// Opens `path` (links followed) without blocking on whatever it names, then checks on the
// opened descriptor that it is a regular file, so a swap between check and read cannot slip
// through.
RegularFile openRegularFile(const QString &path);

// Reads the next `maxBytes` (or what is left) of an opened file, never past the size it had
// when it was opened (a file that grows meanwhile is cut there). An empty result is the end.
// False on a read error (errno tells why).
bool readOpenedFile(RegularFile &file, QByteArray &into, qint64 maxBytes = std::numeric_limits<qint64>::max());

struct RegularFileRead
{
    QByteArray data;
    QString error;  // empty on success
    bool ok() const { return error.isEmpty(); }
};

// The whole regular file at `path`. A file larger than `maxBytes` is refused ("it is too large").
RegularFileRead readRegularFile(const QString &path, qint64 maxBytes = std::numeric_limits<qint64>::max());

// As readRegularFile, into a buffer the caller keeps from file to file (its capacity is reused).
// Returns the reason on failure, an empty string on success.
QString readRegularFileInto(const QByteArray &nativePath, QByteArray &buffer,
                            qint64 maxBytes = std::numeric_limits<qint64>::max());

// The reason, in plain words, for a system error met while opening or reading a file.
QString fileErrorReason(int errorCode);

// True when `path` (links followed) names a regular file. Never opens it.
bool isRegularFile(const QString &path);

} // namespace vesk
