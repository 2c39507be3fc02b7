#pragma once

#include "export/export_filter.h"
#include "export/export_node.h"

#include <QSet>
#include <QString>

class QCollator;

namespace vesk {

// Scans a repository into the tree the export offers. Synchronous; touches every entry below
// the chosen top-level directories and reads at most one sample per file.
namespace ExportScanner {

// Deepest level entered below the root: a file's relative path has at most 15 components.
constexpr int maxDepth = 14;

// The files at the root and the non-empty directories named in `includedDirs`, sorted.
ExportTree buildTree(const QString &repoPath, const QSet<QString> &includedDirs);

// The scan of `dirPath`, whose relative path is `relBase` and nesting level `depth` (1 for a
// top-level directory). Build, tool and bundle directories are not entered.
ExportTree buildSub(const QString &dirPath, const QString &relBase, int depth);

// Directories first, then by name under the user's locale without regard to case; stable.
void sortNodes(ExportTree &nodes, const QCollator &collator);

// The selected relative paths: `included` wins, then `excluded`, then the category decides.
QSet<QString> resolveInclusion(const ExportTree &tree, const ExportFilter &filter);

} // namespace ExportScanner

} // namespace vesk
