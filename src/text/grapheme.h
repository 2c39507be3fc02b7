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
    Segmenter segmenter;
    qsizetype length = 0;
    segmenter.start(propertyOf(codePointAt(s, n, 0, length)));
    for (qsizetype i = length; i < n; i += length) {
        const std::uint8_t property = propertyOf(codePointAt(s, n, i, length));
        if (segmenter.next(property) && !onBoundary(i)) {
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
