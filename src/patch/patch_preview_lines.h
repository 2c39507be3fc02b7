#pragma once

#include "patch/patch_analysis.h"

#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace vesk {

// One line of a file preview, typed for its colours.
struct PreviewLine
{
    enum class Type { fileHeader, hunkHeader, addition, deletion, context };

    Type type = Type::context;
    QString content;                // the line without its diff marker
    std::optional<qint64> oldNum;   // 1-based, in the repository file
    std::optional<qint64> newNum;   // 1-based, in the patch file
};

// What a preview shows for one entry of a patch: its lines and the title's suffix.
struct PreviewText
{
    QList<PreviewLine> lines;
    QString titleSuffix;  // relativePath, plus " (new file)" for a new one
};

// The unified diff between the repository file and the patch file (for a new file, a diff
// against nothing), read by the program's one diff reader. Blocking: runs diff and reads files.
PreviewText buildPreviewDiff(const PatchFileEntry &entry, const QString &repoPath,
                             std::chrono::milliseconds timeout = std::chrono::seconds(60));

// The whole patch file, its lines numbered, the lines the patch adds typed as additions and the
// others as context. Blocking, as above.
PreviewText buildPreviewWholeFile(const PatchFileEntry &entry, const QString &repoPath,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(60));

} // namespace vesk
