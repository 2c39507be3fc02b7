#pragma once

#include <QString>

#include <chrono>
#include <optional>

namespace vesk {

// How the workspace names the folders it opens: canonical paths for comparing them, and the git
// top level of a folder or file. The git lookups run git on the calling thread and block it (up
// to gitRootTimeout): call them off the main thread. When git cannot be run or does not answer
// in time, the nearest folder holding ".git" is taken instead, never "no repository" by default.
namespace WorkspacePaths {

inline constexpr std::chrono::seconds gitRootTimeout{5};

// `path` made absolute, with links resolved and "." and ".." removed. The part of a path that
// does not exist is kept as written below the deepest part that does.
QString canonicalPath(const QString &path);

// True when `path` lies strictly inside `directory` (both canonical).
bool isInside(const QString &path, const QString &directory);

// The top level of the repository holding the directory `dir`; nothing when `dir` is no existing
// directory, is no repository, or the top level is `dir` itself as written.
std::optional<QString> gitRootForDirectory(const QString &dir);

// The top level of the repository holding the file `filePath` (which need not exist); nothing
// when its directory does not exist or git finds no repository there.
std::optional<QString> findGitRoot(const QString &filePath);

} // namespace WorkspacePaths
} // namespace vesk
