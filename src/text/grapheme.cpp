#include "text/grapheme.h"

namespace vesk::grapheme {

qsizetype count(QStringView text)
{
    qsizetype clusters = 0;
    forEachBoundary(text, [&clusters](qsizetype) {
        ++clusters;
        return true;
    });
    return clusters;
}

qsizetype unitOffset(QStringView text, qsizetype clusterIndex)
{
    if (clusterIndex <= 0) {
        return 0;
    }
    // Fast path: a prefix of simple units without CR maps clusters to units one to one.
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && i < clusterIndex && text[i].unicode() < 0x0300 && text[i] != u'\r') {
        ++i;
    }
    if (i == clusterIndex && (i == n || isSimpleUnit(text[i].unicode()))) {
        return i;
    }
    qsizetype seen = 0;
    qsizetype result = n;
    forEachBoundary(text, [&](qsizetype pos) {
        if (++seen < clusterIndex) {
            return true;
        }
        result = pos;
        return false;
    });
    return result;
}

QList<qsizetype> boundaries(QStringView text)
{
    QList<qsizetype> result;
    result.reserve(text.size() + 1);
    result.append(0);
    forEachBoundary(text, [&result](qsizetype pos) {
        result.append(pos);
        return true;
    });
    return result;
}

} // namespace vesk::grapheme
