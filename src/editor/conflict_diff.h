#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

#include <chrono>

namespace vesk::conflict {

// Lines that differ between two versions of a file, for the side-by-side view of a conflict:
// 0-based indices of lines of the first version that the second lacks (removed) and of lines of
// the second that the first lacks (added). Lines are the texts split at "\n".
struct SideBySideDiff
{
    QSet<qint64> removed;
    QSet<qint64> added;
    bool operator==(const SideBySideDiff &) const = default;
};

// How long the system's diff may run; the panel is built on the main thread.
inline constexpr std::chrono::milliseconds diffTimeout{10000};

// Runs the system's `diff -u` on two private temporary files holding `a` and `b` (UTF-8) and
// reads the line sets from its output. Both sets are empty when diff cannot run or finish in
// time; the temporary files are gone when this returns.
SideBySideDiff computeDiff(const QByteArray &a, const QByteArray &b);
SideBySideDiff computeDiff(const QString &a, const QString &b);

} // namespace vesk::conflict
