#pragma once

#include "patch/patch_analysis.h"

#include <QSet>
#include <QString>

#include <functional>

namespace vesk {

// Imports a zip of whole changed files: unpacks it into a private temporary directory, matches
// each file to the repository and describes the change; later copies the accepted files in.
// The archive comes from outside and is treated as hostile: its listing is checked before
// anything is unpacked, and nothing is ever written outside the temporary directory or the
// repository.
class PatchApplier
{
public:
    PatchApplier() = delete;

    // Blocking (runs unzip, then one diff per existing file, two at a time or more); call it off
    // the UI thread. The result owns its tmpDir, even when it holds errors.
    static PatchAnalysis analyze(const QString &zipPath, const QString &repoPath,
                                 const PatchLimits &limits = {});

    // Copies every entry not in `excludedIndices` into the repository, in the order of the
    // entries, then removes the temporary directory. A repository file whose date or size is
    // no longer what the analysis saw (saved by the editor meanwhile, created or removed) is
    // left as it is and reported in errors.
    // `progress`, when given, is called on the calling thread after each entry with the number
    // of entries done and the number in all.
    static PatchApplyResult apply(const PatchAnalysis &analysis, const QSet<qsizetype> &excludedIndices,
                                  const std::function<void(qsizetype done, qsizetype total)> &progress = {});

    // Removes the temporary directory; nothing else.
    static void cancel(const PatchAnalysis &analysis);
};

} // namespace vesk
