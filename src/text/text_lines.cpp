#include "text/text_lines.h"

namespace vesk {

bool isLineBreak(QStringView cluster)
{
    if (cluster.size() == 1) {
        const char16_t c = cluster[0].unicode();
        return c == u'\n' || c == 0x2028 || c == 0x2029;
    }
    return cluster == u"\r\n";
}

// Line breaks are always clusters of their own (a break never joins a neighbour into one
// cluster), so lines can be cut on code units without segmenting the text.
SplitLines splitLines(QStringView text)
{
    SplitLines result;
    const qsizetype n = text.size();
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c != u'\n' && c != 0x2028 && c != 0x2029) {
            continue;
        }
        qsizetype lineEnd = i;
        if (c == u'\n' && i > lineStart && text[i - 1] == u'\r') {
            --lineEnd;
        }
        result.lines.append(text.sliced(lineStart, lineEnd - lineStart).toString());
        if (c == 0x2029) {
            result.paragraphBreaks.insert(result.lines.size() - 1);
        }
        lineStart = i + 1;
    }
    result.lines.append(text.sliced(lineStart).toString());
    return result;
}

namespace {

bool allBelowCombiningMarks(QStringView s)
{
    for (QChar c : s) {
        if (c.unicode() >= 0x0300) {
            return false;
        }
    }
    return true;
}

} // namespace

bool linesEqual(QStringView a, QStringView b)
{
    if (a == b) {
        return true;
    }
    // Text below U+0300 holds no combining marks and no canonical singletons, so two such
    // unequal lines cannot be equivalent.
    if (allBelowCombiningMarks(a) && allBelowCombiningMarks(b)) {
        return false;
    }
    return a.toString().normalized(QString::NormalizationForm_D)
        == b.toString().normalized(QString::NormalizationForm_D);
}

} // namespace vesk
