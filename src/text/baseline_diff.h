#pragma once

#include "text/vesk_node.h"

#include <QSet>
#include <QStringView>

#include <chrono>

namespace vesk {

// Which lines of the current text differ from a baseline.
struct DiffResult
{
    QSet<qint64> modified;      // current lines that are new or changed
    QSet<qint64> deletedAfter;  // current lines after which baseline lines were removed; -1: before the first
    bool operator==(const DiffResult &) const = default;
};

namespace baseline {

// How long the external diff may run before the positional fallback is used.
inline constexpr std::chrono::milliseconds diffTimeout{3000};

// Baseline against current text. Equal line counts are compared line by line; otherwise the
// system's diff runs on two private temporary files (removed afterwards), falling back to
// naiveDiff when it cannot be written, started or finished in time.
DiffResult computeDiff(const VeskNodePtr &original, const VeskNodePtr &current);

// The marks computed here, without files or processes (any thread): equal line counts are
// compared line by line as in computeDiff; otherwise a shortest line diff gives the marks that
// `diff -u` output would (a run of removed lines marks the line above it; added lines are
// modified). A diff too large to search marks the whole differing middle.
DiffResult exactDiff(const VeskNodePtr &original, const VeskNodePtr &current);

// Reads the marks out of `diff -u` output.
DiffResult parseDiffOutput(QStringView output);

// Position-by-position comparison, used when the external diff is unavailable.
DiffResult naiveDiff(const VeskNodePtr &original, const VeskNodePtr &current);

} // namespace baseline
} // namespace vesk
