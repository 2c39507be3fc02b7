#pragma once

#include "text/baseline_diff.h"
#include "text/vesk_node.h"

namespace vesk {

// The whole lines two texts share at their start (`head`) and at their end (`tail`), found by
// skipping the subtrees both trees hold. Lines [0, head) are equal in both, and so are their
// last `tail` lines; head + tail never exceeds the shorter line count.
struct CommonLines
{
    qint64 head = 0;
    qint64 tail = 0;
    bool identical = false;  // the same text
};
CommonLines commonLines(const VeskNodePtr &a, const VeskNodePtr &b);

// How many code units two texts share from their start; subtrees both hold are stepped over
// at once, so two versions of one text compare in about the time their differences take.
qint64 commonPrefixUnits(const VeskNodePtr &a, const VeskNodePtr &b);

// `baseline` rebuilt from the subtrees of `text` for the lines the two share at their start and
// end: the same text as `baseline`, but later versions of `text` share those subtrees with it,
// so comparing them skips the shared lines at once. `text` itself when the texts are equal.
VeskNodePtr shareCommonLines(const VeskNodePtr &baseline, const VeskNodePtr &text);

// The marks of a shortest line diff of `original` against `current` (lines equal under
// canonical equivalence), as `diff -u` output would give them: each run of removed original
// lines marks the current line above it in deletedAfter, each added line is modified. When more
// than `maxEdits` lines differ the whole middle between the common head and tail counts as
// replaced. Any thread.
DiffResult lineDiffMarks(const VeskNodePtr &original, const VeskNodePtr &current, qint64 maxEdits = 4000);

} // namespace vesk
