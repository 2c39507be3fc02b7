#pragma once

#include "workspace/change_status.h"

#include <QList>
#include <QString>
#include <QUuid>

namespace vesk {

// One entry of the sidebar's file tree.
struct FileNode
{
    QUuid id;  // fresh on every build: nodes of two builds never share an id
    QString name;
    QString path;  // absolute: the parent's path and the name
    bool isDirectory = false;  // a link counts as what it points to
    // A directory's entries (empty when it is empty, unreadable or beyond the depth limit);
    // always empty for a file.
    QList<FileNode> children;
    // The file's own status, or for a directory the most pressing status of anything below it.
    ChangeStatus gitStatus = ChangeStatus::unmodified;
};

// Directories nested this deep below the root are listed with no children.
inline constexpr int fileTreeDepthLimit = 10;

// Lists `directory` recursively into sorted nodes: directories first, then files, each group in
// the locale's case-insensitive order. Leaves out "node_modules", ".build" and, unless
// `showDotFiles`, every name starting with ".". Each node gets its status from `statusEntries`
// (paths relative to `repoRoot`, as git reports them). `depth` is 0 for the root. Each real
// folder is listed once: a link to a folder listed elsewhere (or a second way to the same
// folder) appears as a folder without children. Safe on any thread.
QList<FileNode> buildFileTree(const QString &directory, const QString &repoRoot,
                              const QList<GitStatusEntry> &statusEntries, bool showDotFiles, int depth = 0);

} // namespace vesk
