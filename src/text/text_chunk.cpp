#include "text/text_chunk.h"

#include "text/grapheme.h"

#include <algorithm>
#include <cstring>

namespace vesk {

namespace {

bool isAsciiText(QStringView text)
{
    const char16_t *s = text.utf16();
    char16_t acc = 0;
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        acc |= s[i];
    }
    return acc < 0x80;
}

bool isBreakUnit(char16_t c)
{
    return c == u'\n' || c == 0x2028 || c == 0x2029;
}

} // namespace

TextChunk::TextChunk(QStringView text)
{
    if (isAsciiText(text)) {
        m_bytes = text.toLatin1();
        m_ascii = true;
    } else {
        m_text = text.toString();
        m_ascii = false;
    }
}

TextChunk TextChunk::fromAscii(QByteArray ascii)
{
    TextChunk chunk;
    chunk.m_bytes = std::move(ascii);
    chunk.m_ascii = true;
    return chunk;
}

char16_t TextChunk::unitAt(qsizetype i) const
{
    return m_ascii ? char16_t(uchar(m_bytes[i])) : m_text[i].unicode();
}

TextChunk::Stats TextChunk::stats(qint64 knownClusters) const
{
    Stats st;
    if (m_ascii) {
        const char *b = m_bytes.constData();
        const qsizetype n = m_bytes.size();
        qint64 crlf = 0;
        qint64 lf = 0;
        const void *hasCr = std::memchr(b, '\r', size_t(n));
        if (hasCr) {
            for (qsizetype i = 0; i < n; ++i) {
                if (b[i] == '\n') {
                    (i > 0 && b[i - 1] == '\r') ? ++crlf : ++lf;
                }
            }
        } else {
            lf = std::count(b, b + n, '\n');
        }
        st.clusters = n - crlf;
        st.lineFeeds = lf;
        st.lineBreaks = lf + crlf;
        return st;
    }
    // Line breaks are rare: one cheap test per unit, the details only for the few that pass.
    const auto *s = reinterpret_cast<const char16_t *>(m_text.utf16());
    for (qsizetype i = 0, n = m_text.size(); i < n; ++i) {
        const char16_t c = s[i];
        if (Q_LIKELY(c != u'\n' && (c & 0xFFFE) != 0x2028)) {
            continue;
        }
        ++st.lineBreaks;
        if (c == u'\n') {
            st.lineFeeds += i == 0 || s[i - 1] != u'\r';
        } else if (c == 0x2029) {
            ++st.paragraphBreaks;
        } else {
            ++st.lineSeparators;
        }
    }
    st.clusters = knownClusters >= 0 ? knownClusters : grapheme::count(m_text);
    return st;
}

QString TextChunk::toString() const
{
    return m_ascii ? QString::fromLatin1(m_bytes) : m_text;
}

void TextChunk::appendTo(QString &out) const
{
    if (m_ascii) {
        out.append(QLatin1StringView(m_bytes));
    } else {
        out.append(m_text);
    }
}

void TextChunk::appendUtf8To(QByteArray &out) const
{
    if (m_ascii) {
        out.append(m_bytes);
    } else {
        out.append(m_text.toUtf8());
    }
}

qsizetype TextChunk::unitOffsetOfCluster(qint64 cluster) const
{
    if (cluster <= 0) {
        return 0;
    }
    if (!m_ascii) {
        return grapheme::unitOffset(m_text, cluster);
    }
    const char *b = m_bytes.constData();
    const qsizetype n = m_bytes.size();
    if (!std::memchr(b, '\r', size_t(n))) {
        return std::min<qsizetype>(cluster, n);
    }
    qsizetype i = 0;
    for (qint64 seen = 0; i < n && seen < cluster; ++seen) {
        i += (b[i] == '\r' && i + 1 < n && b[i + 1] == '\n') ? 2 : 1;
    }
    return i;
}

qint64 TextChunk::clustersBeforeUnit(qsizetype units) const
{
    if (!m_ascii) {
        return grapheme::count(QStringView(m_text).first(units));
    }
    const char *b = m_bytes.constData();
    qint64 crlf = 0;
    for (qsizetype i = 1; i < units; ++i) {
        if (b[i] == '\n' && b[i - 1] == '\r') {
            ++crlf;
        }
    }
    return units - crlf;
}

TextChunk TextChunk::midUnits(qsizetype from, qsizetype length) const
{
    TextChunk chunk;
    chunk.m_ascii = m_ascii;
    if (m_ascii) {
        chunk.m_bytes = m_bytes.mid(from, length);
    } else {
        chunk.m_text = m_text.mid(from, length);
    }
    return chunk;
}

qsizetype TextChunk::unitAfterBreak(qint64 k) const
{
    if (k <= 0) {
        return 0;
    }
    qint64 seen = 0;
    for (qsizetype i = 0, n = unitCount(); i < n; ++i) {
        if (isBreakUnit(unitAt(i)) && ++seen == k) {
            return i + 1;
        }
    }
    return -1;
}

qint64 TextChunk::paragraphBreaksAmongFirst(qint64 k) const
{
    if (m_ascii) {
        return 0;
    }
    qint64 seen = 0;
    qint64 paragraphs = 0;
    for (qsizetype i = 0, n = m_text.size(); i < n && seen < k; ++i) {
        const char16_t c = m_text[i].unicode();
        if (isBreakUnit(c)) {
            ++seen;
            paragraphs += c == 0x2029 ? 1 : 0;
        }
    }
    return paragraphs;
}

qsizetype TextChunk::appendLineFrom(qsizetype fromUnit, QString &out) const
{
    const qsizetype n = unitCount();
    qsizetype i = fromUnit;
    while (i < n && !isBreakUnit(unitAt(i))) {
        ++i;
    }
    const bool ended = i < n;
    qsizetype end = i;
    if (ended && unitAt(i) == u'\n' && i > fromUnit && unitAt(i - 1) == u'\r') {
        --end;
    }
    if (m_ascii) {
        out.append(QLatin1StringView(m_bytes.constData() + fromUnit, end - fromUnit));
    } else {
        out.append(QStringView(m_text).sliced(fromUnit, end - fromUnit));
    }
    return ended ? i + 1 : -1;
}

} // namespace vesk
