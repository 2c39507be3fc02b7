#pragma once

#include "text/grapheme_table.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace vesk {

// Extended grapheme clusters (user-perceived characters), the unit of every offset in the text
// model, segmented by the rules of Unicode's text segmentation annex (without the Indic
// conjunct rule added after Unicode 15.0). Our own segmenter rather than Qt's: Qt 6.4 fails to
// pair regional indicators that follow an emoji, which makes its answer depend on text far
// before a cluster and would let the tree's counts drift from the flattened text.
namespace grapheme {

// Code units below U+0300 never join a neighbour except CR with LF, so between two of them
// (other than CR LF) there is always a boundary.
inline bool isSimpleUnit(char16_t u)
{
    return u < 0x0300;
}

// The break decision between consecutive code points, with the little state the rules need:
// the length of the current run of regional indicators and progress through an emoji ZWJ
// sequence. Segmentation restarts cleanly at any boundary.
class Segmenter
{
public:
    // Feeds the first code point of the text.
    void start(std::uint8_t property)
    {
        m_prev = 0xFF;
        m_riRun = 0;
        m_emoji = None;
        advance(property);
    }

    // Feeds the next code point; true when a cluster boundary lies before it.
    bool next(std::uint8_t property)
    {
        const bool boundary = isBoundary(property);
        advance(property);
        return boundary;
    }

private:
    enum EmojiState : std::uint8_t { None, InPictographic, AfterZwj };

    bool isBoundary(std::uint8_t property) const
    {
        const std::uint8_t prev = m_prev & ~pictographicBit;
        const std::uint8_t cur = property & ~pictographicBit;
        if (prev == CR && cur == LF) {
            return false;
        }
        if (prev == CR || prev == LF || prev == Control || cur == CR || cur == LF || cur == Control) {
            return true;
        }
        if (prev == L && (cur == L || cur == V || cur == LV || cur == LVT)) {
            return false;
        }
        if ((prev == LV || prev == V) && (cur == V || cur == T)) {
            return false;
        }
        if ((prev == LVT || prev == T) && cur == T) {
            return false;
        }
        if (cur == Extend || cur == ZWJ || cur == SpacingMark || prev == Prepend) {
            return false;
        }
        if (m_emoji == AfterZwj && (property & pictographicBit)) {
            return false;
        }
        if (prev == RegionalIndicator && cur == RegionalIndicator) {
            return m_riRun % 2 == 0;
        }
        return true;
    }

    void advance(std::uint8_t property)
    {
        const std::uint8_t cur = property & ~pictographicBit;
        m_riRun = cur == RegionalIndicator ? m_riRun + 1 : 0;
        if (property & pictographicBit) {
            m_emoji = InPictographic;
        } else if (cur == Extend && m_emoji == InPictographic) {
            m_emoji = InPictographic;
        } else if (cur == ZWJ && m_emoji == InPictographic) {
            m_emoji = AfterZwj;
        } else {
            m_emoji = None;
        }
        m_prev = property;
    }

    std::uint8_t m_prev = 0xFF;
    std::uint32_t m_riRun = 0;
    EmojiState m_emoji = None;
};

// The property bytes of the Basic Multilingual Plane, indexed by code unit (a surrogate reads as
// Other: it stands for itself only when it is unpaired).
const std::uint8_t *bmpProperties();

// A code point with this property is a cluster of its own unless the one before it holds it
// (see joinsStandalone): no rule joins it to what follows, and it leaves no state behind.
inline bool isStandalone(std::uint8_t property)
{
    return property == Other || property == LV || property == LVT;
}

// A code unit that is a whole standalone code point (not half of a surrogate pair).
inline bool isStandaloneUnit(const std::uint8_t *bmp, char16_t unit)
{
    return (unit < 0xD800 || unit >= 0xE000) && isStandalone(bmp[unit]);
}

// True when a code point of this property joins a following standalone one: a prefix, or a
// leading Hangul jamo before a syllable.
inline bool joinsStandalone(std::uint8_t property)
{
    const std::uint8_t plain = property & ~pictographicBit;
    return plain == Prepend || plain == L;
}

// Reads the code point at s[i] (a lone surrogate stands for itself) and its length in units.
inline char32_t codePointAt(const char16_t *s, qsizetype n, qsizetype i, qsizetype &length)
{
    const char16_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
        length = 2;
        return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00);
    }
    length = 1;
    return c;
}

// Calls onBoundary(pos) for every cluster boundary after the start of `text`, in increasing
// order; the last call is text.size(). Nothing is called for empty text. The callback returns
// false to stop early.
template <typename OnBoundary>
void forEachBoundary(QStringView text, OnBoundary &&onBoundary)
{
    const qsizetype n = text.size();
    if (n == 0) {
        return;
    }
    const auto *s = reinterpret_cast<const char16_t *>(text.utf16());
    const std::uint8_t *bmp = bmpProperties();
    Segmenter segmenter;
    qsizetype length = 0;
    std::uint8_t previous = propertyOf(codePointAt(s, n, 0, length));
    segmenter.start(previous);
    for (qsizetype i = length; i < n; i += length) {
        if (isStandaloneUnit(bmp, s[i]) && !joinsStandalone(previous)) {
            // A run of code units that are each a cluster of their own (most letters, CJK,
            // Hangul syllables): a boundary before each, no state to carry but the last one.
            do {
                previous = bmp[s[i]];
                if (!onBoundary(i)) {
                    return;
                }
            } while (++i < n && isStandaloneUnit(bmp, s[i]));
            segmenter.start(previous);
            length = 0;
            continue;
        }
        const char32_t cp = codePointAt(s, n, i, length);
        previous = cp < 0x10000 ? bmp[cp] : propertyOf(cp);
        if (segmenter.next(previous) && !onBoundary(i)) {
            return;
        }
    }
    onBoundary(n);
}

// Number of clusters in `text`.
qsizetype count(QStringView text);

// Code-unit offset where cluster number `clusterIndex` starts (text.size() when past the end).
qsizetype unitOffset(QStringView text, qsizetype clusterIndex);

// Code-unit offsets of every cluster boundary, 0 and text.size() included.
QList<qsizetype> boundaries(QStringView text);

} // namespace grapheme
} // namespace vesk
