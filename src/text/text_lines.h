#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace vesk {

// Exactly four characters end a line: "\n", "\r\n", U+2028 and U+2029. A lone "\r", U+000B,
// U+000C and U+0085 are ordinary characters. `cluster` is one whole grapheme cluster.
bool isLineBreak(QStringView cluster);

struct SplitLines
{
    QStringList lines;             // one more than there are line breaks; never empty
    QSet<qint64> paragraphBreaks;  // indices of lines ended by U+2029
};

// Splits text at its line breaks; the breaks belong to no line.
SplitLines splitLines(QStringView text);

// Line equality under canonical equivalence: a precomposed letter equals the same letter
// followed by its combining mark.
bool linesEqual(QStringView a, QStringView b);

} // namespace vesk
