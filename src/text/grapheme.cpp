#include "text/grapheme.h"

#include <algorithm>
#include <array>

namespace vesk::grapheme {

std::uint8_t propertyOf(char32_t cp)
{
    // The Basic Multilingual Plane from a flat table, the rest by binary search.
    static const std::array<std::uint8_t, 0x10000> bmp = [] {
        std::array<std::uint8_t, 0x10000> table{};
        for (std::size_t r = 0; r < graphemeRangeCount && graphemeRanges[r].first < 0x10000; ++r) {
            const GraphemeRange &range = graphemeRanges[r];
            for (char32_t c = range.first; c <= range.last && c < 0x10000; ++c) {
                table[c] = range.value;
            }
        }
        return table;
    }();
    if (cp < 0x10000) {
        return bmp[cp];
    }
    const GraphemeRange *end = graphemeRanges + graphemeRangeCount;
    const GraphemeRange *it = std::upper_bound(graphemeRanges, end, cp,
                                               [](char32_t c, const GraphemeRange &r) { return c < r.first; });
    if (it == graphemeRanges) {
        return Other;
    }
    --it;
    return cp <= it->last ? it->value : std::uint8_t(Other);
}

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
