#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

namespace vesk {

// Lists the files of a repository for find-in-files, depth first in the file system's own
// order (a folder's contents follow the folder at once; nothing is sorted).
//
// Hidden entries (names starting with "." and, on macOS, items flagged hidden) are left out and
// hidden folders are not entered; neither are "node_modules" folders. Symbolic links are listed
// but never entered, so a link to a folder is listed like a file (reading it then fails).
// Unreadable folders are passed over.
namespace RepositoryWalker {

// Calls `visit` with each listed item's path (in the file system's encoding) and name; `visit`
// returns false to end the walk. Returns false when the walk was ended that way.
bool walk(const QString &root, const std::function<bool(const QByteArray &path, QByteArrayView name)> &visit);

// True for the names whose items and contents find-in-files never looks at.
bool isExcludedName(QByteArrayView name);

} // namespace RepositoryWalker
} // namespace vesk
