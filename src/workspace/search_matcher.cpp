#include "workspace/search_matcher.h"

#include "text/grapheme.h"
#include "workspace/compiled_regex.h"
#include "workspace/regex_pattern.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace vesk {

namespace {

constexpr char16_t lineSeparator = 0x2028;
constexpr char16_t paragraphSeparator = 0x2029;

bool isBreak(char16_t c)
{
    return c == u'\n' || c == lineSeparator || c == paragraphSeparator;
}

// Index of the first `byte` in [from, end), or `end`. Never hands memchr an empty range, whose
// pointer may be null (an empty text has no storage).
qsizetype findByte(const char *s, qsizetype from, qsizetype end, char byte)
{
    if (from >= end) {
        return end;
    }
    const void *hit = std::memchr(s + from, byte, size_t(end - from));
    return hit ? static_cast<const char *>(hit) - s : end;
}

// Index of the first line break in [from, end), or `end`. In ASCII text only "\n" breaks lines.
qsizetype nextBreak(const char *s, qsizetype from, qsizetype end)
{
    return findByte(s, from, end, '\n');
}

qsizetype nextBreak(const char16_t *s, qsizetype from, qsizetype end)
{
    for (qsizetype i = from; i < end; ++i) {
        if (isBreak(s[i])) {
            return i;
        }
    }
    return end;
}

// End of a line's text: a CR right before the LF belongs to the line break.
template <typename Char>
qsizetype contentEnd(const Char *s, qsizetype lineStart, qsizetype lineEnd, qsizetype size)
{
    if (lineEnd < size && s[lineEnd] == Char('\n') && lineEnd > lineStart && s[lineEnd - 1] == Char('\r')) {
        return lineEnd - 1;
    }
    return lineEnd;
}

// Line breaks in well-formed UTF-8: LF bytes and the encodings of U+2028 and U+2029.
qsizetype countLineBreaks(QByteArrayView bytes)
{
    const char *s = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype count = std::count(s, s + n, '\n');
    for (qsizetype i = findByte(s, 0, n, '\xE2'); i < n; i = findByte(s, i + 1, n, '\xE2')) {
        if (n - i >= 3 && s[i + 1] == '\x80' && (s[i + 2] == '\xA8' || s[i + 2] == '\xA9')) {
            ++count;
        }
    }
    return count;
}

bool containsBytes(QByteArrayView text, QByteArrayView sequence)
{
    const char *s = text.data();
    const qsizetype n = text.size();
    const qsizetype m = sequence.size();
    for (qsizetype i = findByte(s, 0, n, sequence[0]); i < n; i = findByte(s, i + 1, n, sequence[0])) {
        if (n - i >= m && std::memcmp(s + i, sequence.data(), size_t(m)) == 0) {
            return true;
        }
    }
    return false;
}

char foldByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return char(byte + (unsigned(byte - 'A') < 26u ? 32 : 0));
}

void foldAscii(const char *source, char *target, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        target[i] = foldByte(source[i]);
    }
}

QByteArray foldedCopy(QByteArrayView text)
{
    QByteArray folded(text.size(), Qt::Uninitialized);
    foldAscii(text.data(), folded.data(), text.size());
    return folded;
}

// A CR that does not end a line: the whole-buffer search reads it as a line end, lines do not.
bool hasLoneCarriageReturn(QByteArrayView text)
{
    const char *s = text.data();
    const qsizetype n = text.size();
    for (qsizetype i = findByte(s, 0, n, '\r'); i < n; i = findByte(s, i + 1, n, '\r')) {
        if (i + 1 == n || s[i + 1] != '\n') {
            return true;
        }
    }
    return false;
}

bool hasNonSimpleUnits(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return !grapheme::isSimpleUnit(c.unicode()); });
}

bool holdsLineBreak(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return isBreak(c.unicode()); });
}

QString contentPrefix(QStringView line)
{
    return line.first(grapheme::unitOffset(line, SearchMatcher::lineContentLength)).toString();
}

// How often each ASCII byte occurs per 2^20 bytes of source text and prose (C headers, Python,
// Perl and documentation); the finder anchors on the least frequent byte of a needle.
int byteFrequency(char c)
{
    static constexpr int ascii[128] = {
        1, 1, 1, 1, 1, 1, 1, 1, 1, 4001, 29065, 1, 1, 7, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        180532, 518, 7378, 4239, 2439, 276, 902, 4266, 7164, 7186, 3786, 655, 7967, 6945, 10426, 10644,
        9266, 5954, 5615, 3192, 2688, 2599, 2804, 2311, 2658, 2770, 5605, 3990, 8680, 6408, 10221, 147,
        899, 7509, 2752, 6445, 3853, 8776, 3582, 2609, 2066, 7465, 378, 921, 6197, 2994, 5730, 5134,
        4199, 220, 5836, 7326, 8384, 2481, 1098, 1205, 1469, 1202, 317, 1241, 1179, 1233, 97, 24012,
        1358, 39295, 8903, 23536, 21168, 67599, 14739, 9314, 16319, 38797, 1515, 4097, 26855, 14504, 37391, 36323,
        19141, 1165, 37586, 40887, 50800, 15507, 5279, 5033, 5290, 8303, 1088, 1907, 362, 1897, 139, 1,
    };
    const auto byte = static_cast<unsigned char>(c);
    return byte < 128 ? ascii[byte] : 1000;
}

// Cluster boundaries of one line, computed only when a position sits next to a complex unit.
class LineBounds
{
public:
    explicit LineBounds(QStringView line = {})
        : m_line(line)
    {
    }

    bool isBoundary(qsizetype position)
    {
        if (position <= 0 || position >= m_line.size()) {
            return true;
        }
        const char16_t before = m_line[position - 1].unicode();
        const char16_t after = m_line[position].unicode();
        if (grapheme::isSimpleUnit(before) && grapheme::isSimpleUnit(after) && !(before == u'\r' && after == u'\n')) {
            return true;
        }
        if (!m_bounds) {
            m_bounds = grapheme::boundaries(m_line);
        }
        return std::binary_search(m_bounds->cbegin(), m_bounds->cend(), position);
    }

private:
    QStringView m_line;
    std::optional<QList<qsizetype>> m_bounds;
};

// Walks forward through a text's lines; the caller asks for increasing line numbers.
class LineCursor
{
public:
    explicit LineCursor(QStringView text)
        : m_text(text)
    {
    }

    QStringView line(qsizetype index)
    {
        const auto *s = reinterpret_cast<const char16_t *>(m_text.utf16());
        const qsizetype n = m_text.size();
        for (; m_index < index; ++m_index) {
            m_start = nextBreak(s, m_start, n) + 1;
        }
        const qsizetype end = contentEnd(s, m_start, nextBreak(s, m_start, n), n);
        return m_text.sliced(m_start, end - m_start);
    }

private:
    QStringView m_text;
    qsizetype m_index = 0;
    qsizetype m_start = 0;
};

enum class Verdict { match, retryAfter, nextLine };

} // namespace

struct SearchMatcher::Sink
{
    qsizetype maxHits = 0;
    const std::atomic_bool *cancel = nullptr;
    qsizetype lineOffset = 0;  // lines in the pieces before the current one
    QList<LineHit> hits;
    bool cutShort = false;  // a run of the expression was cut off

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
    bool full() const { return hits.size() >= maxHits; }

    // Returns whether to go on.
    bool add(qsizetype line, QString content)
    {
        hits.append({lineOffset + line + 1, std::move(content)});
        return !full();
    }
};

namespace {

// Visits candidate positions from `find` in order, works out the line each lies in, and lets
// `verify` judge it; a matching line is reported once and the search resumes on the next line.
// A piece of a file that is not its last leaves out the empty text after its final line feed,
// which is the start of the next piece.
template <typename Char, typename Sink, typename Find, typename Verify, typename Hit>
void walkCandidates(const Char *s, qsizetype n, bool finalChunk, const Sink &sink, Find &&find, Verify &&verify,
                    Hit &&hit)
{
    qsizetype lineIndex = 0;
    qsizetype lineStart = 0;
    qsizetype lineEnd = -1;  // of the line at lineStart, once looked for
    qsizetype pos = 0;
    while (pos < n || (pos == n && finalChunk)) {
        if (sink.cancelled()) {
            return;
        }
        const qsizetype p = find(pos);
        if (p < 0 || (p == n && !finalChunk)) {
            return;  // past the end, or at the start of the next piece
        }
        if (p > lineEnd) {
            for (qsizetype b; (b = nextBreak(s, lineStart, p)) < p;) {
                ++lineIndex;
                lineStart = b + 1;
            }
            lineEnd = nextBreak(s, p, n);
        }
        const qsizetype end = contentEnd(s, lineStart, lineEnd, n);
        switch (verify(lineStart, end, p, lineIndex)) {
        case Verdict::match:
            if (!hit(lineIndex, lineStart, end)) {
                return;
            }
            pos = lineEnd + 1;
            break;
        case Verdict::retryAfter:
            pos = p + 1;
            break;
        case Verdict::nextLine:
            pos = lineEnd + 1;
            break;
        }
    }
}

} // namespace

// ---- ByteFinder

namespace {

bool isAsciiLetter(char c)
{
    return unsigned((static_cast<unsigned char>(c) | 0x20) - 'a') < 26u;
}

} // namespace

ByteFinder::ByteFinder(QByteArray needle, bool ignoreAsciiCase)
    : m_needle(std::move(needle))
    , m_ignoreCase(ignoreAsciiCase)
{
    if (m_ignoreCase) {
        foldAscii(m_needle.constData(), m_needle.data(), m_needle.size());
    }
    // With case ignored a letter is looked for in both cases, so it counts as common as both.
    const auto weight = [&](char c) {
        return byteFrequency(c) + (m_ignoreCase && isAsciiLetter(c) ? byteFrequency(char(c - 32)) : 0);
    };
    for (qsizetype i = 1; i < m_needle.size(); ++i) {
        if (weight(m_needle[i]) < weight(m_needle[m_rare])) {
            m_rare = i;
        }
    }
    // Knuth-Morris-Pratt table: the length of the longest proper border of each prefix.
    m_borders.assign(size_t(m_needle.size()), 0);
    for (qsizetype i = 1, k = 0; i < m_needle.size(); ++i) {
        while (k > 0 && m_needle[i] != m_needle[k]) {
            k = m_borders[size_t(k - 1)];
        }
        k += m_needle[i] == m_needle[k] ? 1 : 0;
        m_borders[size_t(i)] = k;
    }
}

// Linear in the text whatever it holds; slower than anchoring on a rare byte in ordinary text.
qsizetype ByteFinder::findLinear(const char *text, qsizetype size, qsizetype from) const
{
    const qsizetype m = m_needle.size();
    for (qsizetype i = from, k = 0; i < size; ++i) {
        const char c = m_ignoreCase ? foldByte(text[i]) : text[i];
        while (k > 0 && c != m_needle[k]) {
            k = m_borders[size_t(k - 1)];
        }
        k += c == m_needle[k] ? 1 : 0;
        if (k == m) {
            return i - m + 1;
        }
    }
    return -1;
}

// Bytes that agree before the first difference (the needle's size when it matches).
qsizetype ByteFinder::agreeingBytes(const char *text) const
{
    const qsizetype m = m_needle.size();
    qsizetype k = 0;
    if (m_ignoreCase) {
        while (k < m && foldByte(text[k]) == m_needle[k]) {
            ++k;
        }
    } else {
        while (k < m && text[k] == m_needle[k]) {
            ++k;
        }
    }
    return k;
}

qsizetype ByteFinder::find(const char *text, qsizetype size, qsizetype from, Progress *progress) const
{
    const qsizetype m = m_needle.size();
    if (from < 0 || from + m > size) {
        return m == 0 && from == size ? from : -1;
    }
    const char lower = m_needle[m_rare];
    const bool bothCases = m_ignoreCase && isAsciiLetter(lower);
    const char upper = bothCases ? char(lower - 32) : lower;
    const qsizetype last = size - m + m_rare;  // last place the rare byte can sit
    // Next place of each form of the rare byte at or after the current one (last + 1: none).
    Progress local;
    Progress &next = progress ? *progress : local;
    qsizetype &nextLower = next.nextLower;
    qsizetype &nextUpper = next.nextUpper;
    if (!bothCases) {
        nextUpper = last + 1;
    }
    const auto locate = [&](char c, qsizetype at) { return findByte(text, at, last + 1, c); };
    qsizetype compared = 0;
    for (qsizetype i = from + m_rare; i <= last; ++i) {
        if (nextLower < i) {
            nextLower = locate(lower, i);
        }
        if (nextUpper < i) {
            nextUpper = locate(upper, i);
        }
        i = std::min(nextLower, nextUpper);
        if (i > last) {
            return -1;
        }
        const qsizetype start = i - m_rare;
        const qsizetype agreeing = agreeingBytes(text + start);
        if (agreeing == m) {
            return start;
        }
        // Long near misses on most bytes: repetitive text, where anchoring degrades to O(n * m).
        compared += agreeing + 1;
        if (compared > 4096 && compared > 4 * (i - from)) {
            return findLinear(text, size, start + 1);
        }
    }
    return -1;
}

// ---- SearchMatcher

SearchMatcher::SearchMatcher(const QString &query, bool caseSensitive, bool useRegex)
    : m_caseSensitive(caseSensitive)
    , m_useRegex(useRegex)
{
    if (useRegex) {
        const QString translated = regex_pattern::fromIcu(query, &m_error);
        if (m_error.isEmpty()) {
            const QString pattern = caseSensitive ? translated : regex_pattern::lowercased(translated);
            m_regex = std::make_unique<CompiledRegex>(pattern);
            m_canMatch = m_regex->isValid();
            m_needle = m_canMatch ? regex_pattern::requiredLiteral(pattern) : QString();
            m_error = m_regex->errorMessage();
        }
    } else {
        m_needle = (caseSensitive ? query : query.toLower()).normalized(QString::NormalizationForm_C);
        m_canMatch = !m_needle.isEmpty();
    }
    // A line never holds a line break, so neither can anything that matches in one.
    m_canMatch = m_canMatch && !holdsLineBreak(m_needle);
    m_needleIsAscii = std::all_of(m_needle.cbegin(), m_needle.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (m_needleIsAscii) {
        m_byteFinder = ByteFinder(m_needle.toLatin1(), !caseSensitive);
    }
    // The only characters outside ASCII that lower-casing or normalization turn into ASCII are
    // U+212A KELVIN SIGN (K, k), U+037E (;), U+1FEF (`) and U+0130 (i and a combining dot,
    // which a plain match can neither end on nor pass through). Where the needle holds none of
    // their results, or the text holds none of them, a matching line holds the needle's bytes.
    m_byteFilter = m_needleIsAscii && !m_needle.isEmpty();
    const struct
    {
        char ascii;
        bool plain;
        bool expression;
        const char *source;
    } conversions[] = {
        {caseSensitive ? 'K' : 'k', true, !caseSensitive, "\xE2\x84\xAA"},
        {';', true, false, "\xCD\xBE"},
        {'`', true, false, "\xE1\xBF\xAF"},
        {'i', false, !caseSensitive, "\xC4\xB0"},
    };
    for (const auto &conversion : conversions) {
        if ((useRegex ? conversion.expression : conversion.plain) && m_needle.contains(QChar(conversion.ascii))) {
            m_byteFilterSources.append(QByteArray(conversion.source));
        }
    }
}

SearchMatcher::~SearchMatcher() = default;

template <typename Line>
bool SearchMatcher::regexMatches(Line line, Sink &sink) const
{
    const CompiledRegex::Outcome outcome = m_regex->match(line);
    sink.cutShort = sink.cutShort || outcome == CompiledRegex::Outcome::cutShort;
    return outcome == CompiledRegex::Outcome::match;
}

bool SearchMatcher::mayMatch(QByteArrayView bytes) const
{
    if (!m_byteFilter || m_byteFinder.find(bytes.data(), bytes.size(), 0) >= 0) {
        return true;
    }
    return std::any_of(m_byteFilterSources.cbegin(), m_byteFilterSources.cend(),
                       [&](const QByteArray &source) { return containsBytes(bytes, source); });
}

QList<LineHit> SearchMatcher::scan(QByteArrayView utf8, qsizetype maxHits, const std::atomic_bool *cancel,
                                   bool *cutShort) const
{
    // Whether the bytes are UTF-8 only matters once something may match in them.
    if (!m_canMatch || maxHits <= 0 || !mayMatch(utf8)) {
        return {};
    }
    const Utf8Kind kind = scanUtf8(utf8);
    if (kind == Utf8Kind::invalid) {
        return {};
    }
    Sink sink{maxHits, cancel, 0, {}, false};
    const qsizetype n = utf8.size();
    qsizetype pos = 0;
    do {
        qsizetype end = n;
        if (n - pos > m_chunkBytes) {
            end = std::min(findByte(utf8.data(), pos + m_chunkBytes, n, '\n') + 1, n);
        }
        const bool finalChunk = end == n;
        const QByteArrayView chunk = utf8.sliced(pos, end - pos);
        const Utf8Kind chunkKind = (kind == Utf8Kind::ascii || (pos == 0 && finalChunk)) ? kind : scanUtf8(chunk);
        if (chunkKind == Utf8Kind::ascii) {
            scanAscii(chunk, finalChunk, sink);
        } else {
            scanUnicode(chunk, finalChunk, sink);
        }
        if (sink.full() || sink.cancelled()) {
            break;
        }
        sink.lineOffset += finalChunk ? 0 : countLineBreaks(chunk);
        pos = end;
    } while (pos < n);
    if (cutShort && sink.cutShort) {
        *cutShort = true;
    }
    return std::move(sink.hits);
}

void SearchMatcher::scanAscii(QByteArrayView chunk, bool finalChunk, Sink &sink) const
{
    if (!m_needleIsAscii) {
        return;  // lower-casing ASCII gives ASCII, and ASCII text is already normalized
    }
    const char *original = chunk.data();
    const qsizetype n = chunk.size();
    ByteFinder::Progress progress;
    const auto find = [&](qsizetype from) {
        return m_needle.isEmpty() ? from : m_byteFinder.find(original, n, from, &progress);
    };
    const auto hit = [&](qsizetype line, qsizetype start, qsizetype end) {
        return sink.add(line, QString::fromLatin1(original + start, std::min(end - start, lineContentLength)));
    };
    if (m_useRegex) {
        if (m_needle.isEmpty() && m_regex->canSearchBuffers() && !hasLoneCarriageReturn(chunk)) {
            scanAsciiBuffer(chunk, m_caseSensitive ? chunk : QByteArrayView(foldedCopy(chunk)), finalChunk, sink);
            return;
        }
        QByteArray folded;  // reused: one line at a time
        walkCandidates(original, n, finalChunk, sink, find,
                       [&](qsizetype start, qsizetype end, qsizetype, qsizetype) {
                           QByteArrayView line(original + start, end - start);
                           if (!m_caseSensitive) {
                               folded.resize(line.size());
                               foldAscii(line.data(), folded.data(), line.size());
                               line = folded;
                           }
                           return regexMatches(line, sink) ? Verdict::match : Verdict::nextLine;
                       },
                       hit);
        return;
    }
    const qsizetype m = m_needle.size();
    walkCandidates(original, n, finalChunk, sink, find,
                   [&](qsizetype, qsizetype end, qsizetype p, qsizetype) {
                       return p + m <= end ? Verdict::match : Verdict::retryAfter;
                   },
                   hit);
}

// The expression runs over the whole piece at once and each line it lands in is checked on its
// own, which is much faster than a run per line when most lines hold no match. `subject` is the
// piece as the expression sees it (lower-cased when case is ignored).
void SearchMatcher::scanAsciiBuffer(QByteArrayView chunk, QByteArrayView subject, bool finalChunk, Sink &sink) const
{
    const char *original = chunk.data();
    bool lineByLine = false;  // once a buffer run is cut off, every line is tried on its own
    const auto find = [&](qsizetype from) {
        if (!lineByLine) {
            const CompiledRegex::BufferMatch found = m_regex->findInBuffer(subject, from);
            if (found.outcome != CompiledRegex::Outcome::cutShort) {
                return found.outcome == CompiledRegex::Outcome::match ? found.start : qsizetype(-1);
            }
            lineByLine = true;
        }
        return from;
    };
    walkCandidates(original, chunk.size(), finalChunk, sink, find,
                   [&](qsizetype start, qsizetype end, qsizetype, qsizetype) {
                       return regexMatches(subject.sliced(start, end - start), sink) ? Verdict::match
                                                                                      : Verdict::nextLine;
                   },
                   [&](qsizetype line, qsizetype start, qsizetype end) {
                       return sink.add(line, QString::fromLatin1(original + start,
                                                                 std::min(end - start, lineContentLength)));
                   });
}

void SearchMatcher::scanUnicode(QByteArrayView chunk, bool finalChunk, Sink &sink) const
{
    if (!mayMatch(chunk)) {
        return;
    }
    const QString text = QString::fromUtf8(chunk);
    QString work = m_caseSensitive ? text : text.toLower();
    bool transformed = !m_caseSensitive;
    if (!m_useRegex && hasNonSimpleUnits(work)) {
        work = work.normalized(QString::NormalizationForm_C);
        transformed = true;
    }
    const QStringView view(work);
    const auto *s = reinterpret_cast<const char16_t *>(work.utf16());
    const qsizetype n = work.size();
    LineCursor original(text);
    const auto find = [&](qsizetype from) { return m_needle.isEmpty() ? from : view.indexOf(m_needle, from); };
    const auto hit = [&](qsizetype line, qsizetype start, qsizetype end) {
        return sink.add(line, contentPrefix(transformed ? original.line(line) : view.sliced(start, end - start)));
    };
    if (m_useRegex) {
        walkCandidates(s, n, finalChunk, sink, find,
                       [&](qsizetype start, qsizetype end, qsizetype, qsizetype) {
                           return regexMatches(view.sliced(start, end - start), sink) ? Verdict::match
                                                                                       : Verdict::nextLine;
                       },
                       hit);
        return;
    }
    const qsizetype m = m_needle.size();
    qsizetype boundsLine = -1;
    LineBounds bounds;
    walkCandidates(s, n, finalChunk, sink, find,
                   [&](qsizetype start, qsizetype end, qsizetype p, qsizetype line) {
                       if (p + m > end) {
                           return Verdict::retryAfter;
                       }
                       if (line != boundsLine) {
                           bounds = LineBounds(view.sliced(start, end - start));
                           boundsLine = line;
                       }
                       return bounds.isBoundary(p - start) && bounds.isBoundary(p + m - start) ? Verdict::match
                                                                                               : Verdict::retryAfter;
                   },
                   hit);
}

} // namespace vesk
