#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace vesk {

// The program's one reader of unified diffs (the output of `diff -u`). Hunks are read by the
// line counts in their headers, so a removed line whose own text starts with "--" (printed
// "---") or an added line starting with "++" (printed "+++") counts like any other line.
struct HunkHeader
{
    qint64 oldStart = 0;
    qint64 oldCount = 1;
    qint64 newStart = 0;
    qint64 newCount = 1;
};

struct DiffLine
{
    enum class Kind {
        FileHeader,       // "--- a", "+++ b", "diff ...", "index ..." outside a hunk
        HunkHeader,       // any line starting with "@@" outside a hunk
        Addition,         // "+" inside a hunk
        Deletion,         // "-" inside a hunk
        Context,          // " " inside a hunk
        NoNewlineMarker,  // "\ No newline at end of file"
        Other,            // anything else outside a hunk, including a final empty line
    };

    Kind kind = Kind::Other;
    QString content;                 // additions, deletions, context: without the first character
    std::optional<qint64> oldNumber; // 1-based line number in the old file
    std::optional<qint64> newNumber; // 1-based line number in the new file
    std::optional<HunkHeader> hunk;  // for a hunk header that could be read
};

// Reads "@@ -a,b +c,d @@": counts default to 1 when absent. Nothing when the line is not a
// hunk header or its numbers do not parse.
std::optional<HunkHeader> parseHunkHeader(QStringView line);

// Splits the text at each line feed (a final line feed yields a last, empty line) and types
// every line.
std::vector<DiffLine> parseUnifiedDiff(QStringView diff);

} // namespace vesk
