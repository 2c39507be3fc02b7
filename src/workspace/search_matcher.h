#pragma once

#include "text/utf8.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace vesk {

class CompiledRegex;

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
// characters, or as a regular expression in ICU syntax. An expression that does not compile
// matches nothing and says why. Each run of an expression is bounded by a number of
// backtracking steps that grows with the line's length (see CompiledRegex): a line whose run
// is cut off counts as not matching, and the scan says that it cut the file short.
//
// Each thread makes its own: it holds the expression's scratch memory.
class SearchMatcher
{
public:
    static constexpr qsizetype lineContentLength = 200;  // characters of a line kept in a hit
    // Files are scanned in pieces of about this many bytes, cut after a line feed, which bounds
    // the memory the wide-character forms of a large file take.
    static constexpr qsizetype defaultChunkBytes = qsizetype(8) << 20;

    SearchMatcher(const QString &query, bool caseSensitive, bool useRegex);
    ~SearchMatcher();
    SearchMatcher(const SearchMatcher &) = delete;
    SearchMatcher &operator=(const SearchMatcher &) = delete;

    // Smaller pieces let tests cross piece boundaries with small files.
    void setChunkBytes(qsizetype bytes) { m_chunkBytes = std::max<qsizetype>(bytes, 1); }

    // False when no line can match (an invalid expression, a query holding a line break).
    bool canMatch() const { return m_canMatch; }
    // Why the expression cannot be used ("" when it can, or when not searching by expression).
    const QString &errorMessage() const { return m_error; }

    // The matching lines of a file's bytes, split like the editor splits text. Bytes that are
    // not well-formed UTF-8 have none. Stops after `maxHits` hits or when `cancel` is set.
    // Sets `*cutShort` when a run of the expression was cut off, so some line may have been
    // passed over (it is left alone otherwise).
    QList<LineHit> scan(QByteArrayView utf8, qsizetype maxHits, const std::atomic_bool *cancel = nullptr,
                        bool *cutShort = nullptr) const;

private:
    struct Sink;
    bool mayMatch(QByteArrayView bytes) const;
    void scanAscii(QByteArrayView chunk, bool finalChunk, Sink &sink) const;
    void scanAsciiBuffer(QByteArrayView chunk, QByteArrayView subject, bool finalChunk, Sink &sink) const;
    void scanUnicode(QByteArrayView chunk, bool finalChunk, Sink &sink) const;
    template <typename Line>
    bool regexMatches(Line line, Sink &sink) const;

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
    std::unique_ptr<CompiledRegex> m_regex;
    QString m_error;
};

} // namespace vesk
