#include "text/text_chunk.h"

#include "text/grapheme.h"

#include <algorithm>
#include <cstring>

namespace vesk {

namespace {

// The largest code unit of the text.
char16_t highestUnit(QStringView text)
{
    const char16_t *s = text.utf16();
    char16_t acc = 0;
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        acc = std::max(acc, s[i]);
    }
    return acc;
}

bool hasHighByte(const char *b, qsizetype n)
{
    unsigned char acc = 0;
    for (qsizetype i = 0; i < n; ++i) {
        acc |= uchar(b[i]);
    }
    return acc >= 0x80;
}

bool isBreakUnit(char16_t c)
{
    return c == u'\n' || c == 0x2028 || c == 0x2029;
}

} // namespace

TextChunk::TextChunk(QStringView text)
{
    const char16_t high = highestUnit(text);
    if (high < 0x100) {
        m_data = text.toLatin1();
        m_form = high < 0x80 ? Form::ascii : Form::latin1;
    } else {
        m_data = QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        m_form = Form::utf16;
    }
}

TextChunk TextChunk::fromAscii(QByteArray ascii)
{
    TextChunk chunk;
    chunk.m_data = std::move(ascii);
    chunk.m_form = Form::ascii;
    return chunk;
}

TextChunk TextChunk::fromLatin1(QByteArray latin1)
{
    TextChunk chunk;
    chunk.m_data = std::move(latin1);
    chunk.m_form = Form::latin1;
    return chunk;
}

TextChunk::Stats TextChunk::stats(qint64 knownClusters) const
{
    Stats st;
    if (isOneByte()) {
        // Below U+0100 only CR LF joins into one cluster, and "\n" is the only line break.
        const char *b = m_data.constData();
        const qsizetype n = m_data.size();
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
    const char16_t *s = utf16();
    for (qsizetype i = 0, n = unitCount(); i < n; ++i) {
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
    st.clusters = knownClusters >= 0 ? knownClusters : grapheme::count(utf16View());
    return st;
}

QString TextChunk::toString() const
{
    return isOneByte() ? QString::fromLatin1(m_data) : utf16View().toString();
}

void TextChunk::appendTo(QString &out) const
{
    if (isOneByte()) {
        out.append(QLatin1StringView(m_data));
    } else {
        out.append(utf16View());
    }
}

void TextChunk::appendUtf8To(QByteArray &out) const
{
    switch (m_form) {
    case Form::ascii:
        out.append(m_data);
        break;
    case Form::latin1:
        for (const char c : m_data) {
            const uchar u = uchar(c);
            if (u < 0x80) {
                out.append(c);
            } else {
                out.append(char(0xC0 | (u >> 6)));
                out.append(char(0x80 | (u & 0x3F)));
            }
        }
        break;
    case Form::utf16:
        out.append(utf16View().toUtf8());
        break;
    }
}

qsizetype TextChunk::unitOffsetOfCluster(qint64 cluster) const
{
    if (cluster <= 0) {
        return 0;
    }
    if (!isOneByte()) {
        return grapheme::unitOffset(utf16View(), cluster);
    }
    const char *b = m_data.constData();
    const qsizetype n = m_data.size();
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
    if (!isOneByte()) {
        return grapheme::count(utf16View().first(units));
    }
    const char *b = m_data.constData();
    if (!std::memchr(b, '\r', size_t(units))) {
        return units;
    }
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
    chunk.m_form = m_form;
    if (isOneByte()) {
        chunk.m_data = m_data.mid(from, length);
        if (m_form == Form::latin1 && !hasHighByte(chunk.m_data.constData(), chunk.m_data.size())) {
            chunk.m_form = Form::ascii;
        }
    } else {
        chunk = TextChunk(utf16View().mid(from, length));
    }
    return chunk;
}

qsizetype TextChunk::unitAfterBreak(qint64 k) const
{
    if (k <= 0) {
        return 0;
    }
    qint64 seen = 0;
    if (isOneByte()) {
        const char *b = m_data.constData();
        const char *end = b + m_data.size();
        for (const char *p = b; p < end; ++p) {
            p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            if (!p) {
                return -1;
            }
            if (++seen == k) {
                return p - b + 1;
            }
        }
        return -1;
    }
    const char16_t *s = utf16();
    for (qsizetype i = 0, n = unitCount(); i < n; ++i) {
        if (isBreakUnit(s[i]) && ++seen == k) {
            return i + 1;
        }
    }
    return -1;
}

qint64 TextChunk::paragraphBreaksAmongFirst(qint64 k) const
{
    if (isOneByte()) {
        return 0;
    }
    qint64 seen = 0;
    qint64 paragraphs = 0;
    const char16_t *s = utf16();
    for (qsizetype i = 0, n = unitCount(); i < n && seen < k; ++i) {
        const char16_t c = s[i];
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
    if (isOneByte()) {
        const char *b = m_data.constData();
        const void *found = std::memchr(b + i, '\n', size_t(n - i));
        i = found ? static_cast<const char *>(found) - b : n;
    } else {
        const char16_t *s = utf16();
        while (i < n && !isBreakUnit(s[i])) {
            ++i;
        }
    }
    const bool ended = i < n;
    qsizetype end = i;
    if (ended && unitAt(i) == u'\n' && i > fromUnit && unitAt(i - 1) == u'\r') {
        --end;
    }
    if (isOneByte()) {
        out.append(QLatin1StringView(m_data.constData() + fromUnit, end - fromUnit));
    } else {
        out.append(utf16View().sliced(fromUnit, end - fromUnit));
    }
    return ended ? i + 1 : -1;
}

} // namespace vesk
