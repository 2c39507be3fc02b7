#pragma once

#include "text/utf8.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <atomic>
#include <vector>

namespace vesk {

// One matching line of a file: its 1-based number and the start of its text.
struct LineHit
{
    qsizetype lineNumber = 0;
    QString lineContent;
};

// Finds a byte string with memchr on its rarest byte (both cases of it when ASCII case is
// ignored); falls back to Knuth-Morris-Pratt when the text keeps producing long near misses,
// so no input makes it quadratic.
class ByteFinder
{
public:
    explicit ByteFinder(QByteArray needle = {}, bool ignoreAsciiCase = false);

    // Where the rare byte's two cases were last seen; lets successive finds in one text (with
    // growing `from`) skip what earlier ones already looked through.
    struct Progress
    {
        qsizetype nextLower = -1;
        qsizetype nextUpper = -1;
    };

    // Start of the first occurrence at or after `from`, or -1.
    qsizetype find(const char *text, qsizetype size, qsizetype from, Progress *progress = nullptr) const;

private:
    qsizetype agreeingBytes(const char *text) const;
    qsizetype findLinear(const char *text, qsizetype size, qsizetype from) const;

    QByteArray m_needle;  // lower-case when ignoring case
    bool m_ignoreCase = false;
    qsizetype m_rare = 0;
    std::vector<qsizetype> m_borders;
};

// The line test of find-in-files, compiled once for a query and its options, and a scanner that
// applies it to a whole file without splitting it into line strings.
//
// A line matches when, after lower-casing line and query unless `caseSensitive`, the query
// occurs in it: as a plain string compared under canonical equivalence and only on whole
// characters, or as a regular expression. An expression that does not compile matches nothing,
// and each run of it is bounded (regexStepLimit backtracking steps; a line that needs more counts
// as not matching), so no pattern can stall a search.
//
// Each thread makes its own: QRegularExpression is reentrant, not promised to be thread-safe.
class SearchMatcher
{
public:
    static constexpr qsizetype lineContentLength = 200;  // characters of a line kept in a hit
    static constexpr int regexStepLimit = 100000;
    // Files are scanned in pieces of about this many bytes, cut after a line feed, which bounds
    // the memory the wide-character forms of a large file take.
    static constexpr qsizetype defaultChunkBytes = qsizetype(8) << 20;

    SearchMatcher(const QString &query, bool caseSensitive, bool useRegex);

    // Smaller pieces let tests cross piece boundaries with small files.
    void setChunkBytes(qsizetype bytes) { m_chunkBytes = std::max<qsizetype>(bytes, 1); }

    // False when no line can match (an invalid expression, a query holding a line break).
    bool canMatch() const { return m_canMatch; }

    // The matching lines of a file's bytes, split like the editor splits text. Bytes that are
    // not well-formed UTF-8 have none. Stops after `maxHits` hits or when `cancel` is set.
    QList<LineHit> scan(QByteArrayView utf8, qsizetype maxHits, const std::atomic_bool *cancel = nullptr) const;

private:
    struct Sink;
    bool mayMatch(QByteArrayView bytes) const;
    void scanAscii(QByteArrayView chunk, bool finalChunk, Sink &sink) const;
    void scanUnicode(QByteArrayView chunk, bool finalChunk, Sink &sink) const;
    bool regexMatches(QStringView line) const;

    bool m_caseSensitive = false;
    bool m_useRegex = false;
    bool m_canMatch = false;
    qsizetype m_chunkBytes = defaultChunkBytes;
    QString m_needle;          // plain: the prepared query; expression: a literal every match holds
    bool m_needleIsAscii = false;
    // Whether a line can only match where the raw UTF-8 holds m_needle (ASCII case ignored
    // unless caseSensitive) or one of m_byteFilterSources, so other pieces need not be decoded.
    bool m_byteFilter = false;
    QList<QByteArray> m_byteFilterSources;
    ByteFinder m_byteFinder;   // m_needle in UTF-8 bytes
    QRegularExpression m_regex;
};

} // namespace vesk
