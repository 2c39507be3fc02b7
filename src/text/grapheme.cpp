#include "text/grapheme.h"

#include <algorithm>
#include <array>

namespace vesk::grapheme {

namespace {

using PlaneTable = std::array<std::uint8_t, 0x10000>;

PlaneTable makePlaneTable(char32_t plane)
{
    PlaneTable table{};
    const char32_t base = plane << 16;
    for (std::size_t r = 0; r < graphemeRangeCount; ++r) {
        const GraphemeRange &range = graphemeRanges[r];
        for (char32_t c = std::max(range.first, base); c <= range.last && c < base + 0x10000; ++c) {
            table[c - base] = range.value;
        }
    }
    return table;
}

} // namespace

const std::uint8_t *bmpProperties()
{
    static const PlaneTable bmp = makePlaneTable(0);
    return bmp.data();
}

std::uint8_t propertyOf(char32_t cp)
{
    // The Basic Multilingual Plane and the plane of emoji and historic scripts from flat tables,
    // the rest (mostly ideographs and tags) by binary search.
    if (cp < 0x10000) {
        return bmpProperties()[cp];
    }
    if (cp < 0x20000) {
        static const PlaneTable smp = makePlaneTable(1);
        return smp[cp - 0x10000];
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
