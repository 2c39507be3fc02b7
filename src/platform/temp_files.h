#pragma once

#include <QByteArray>
#include <QString>

namespace vesk {

// The user's private temporary directory: $TMPDIR when set (macOS gives each user a private
// one), otherwise "vesk-<uid>" under the system temporary directory, created with mode 0700 and
// checked to be a real directory owned by the user with no access for others. Returns an empty
// string when no such directory can be had. Every temporary file the program writes goes here.
QString userTempDir();

// Makes sure `path` is a directory only the current user can use: creates it with mode 0700 when
// missing, tightens the mode of one the user owns, and refuses (returns an empty string) a link,
// a non-directory or a directory owned by someone else. Returns `path` when it is fit for use.
QString ensurePrivateDirectory(const QString &path);

// Eight upper-case hexadecimal digits from a fresh random UUID (its text form's first 8 characters).
QString shortUuid();

// Creates a new directory named prefix + full UUID (e.g. "patch_" + UUID) inside userTempDir(),
// with mode 0700. Returns its path, or an empty string on failure.
QString createTempDirectory(const QString &prefix);

// Writes a new private file (mode 0600) named `name` inside userTempDir(), atomically, never
// following a link that already stands at that name. Returns the path, or an empty string on failure.
QString writeTempFile(const QString &name, const QByteArray &data);

} // namespace vesk
