#pragma once

#include "text/baseline_diff.h"
#include "text/vesk_node.h"

namespace vesk {

// The marks of a shortest line diff of `original` against `current` (lines equal under
// canonical equivalence), as `diff -u` output would give them: each run of removed original
// lines marks the current line above it in deletedAfter, each added line is modified. When more
// than `maxEdits` lines differ the whole middle between the common head and tail counts as
// replaced. Any thread.
DiffResult lineDiffMarks(const VeskNodePtr &original, const VeskNodePtr &current, qint64 maxEdits = 4000);

} // namespace vesk
