#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QTextBoundaryFinder>

#include <utility>

namespace vesk {

// Extended grapheme clusters (user-perceived characters), the unit of every offset in the text
// model. Runs of code units below U+0300 are segmented inline (each unit is a cluster, CR LF is
// one); only the stretches around combining marks, emoji, Hangul, surrogates and the like go
// through Qt's segmenter. Between two such simple units (other than CR LF) there is always a
// boundary, which is where a complex stretch can be cut off and segmented on its own.
namespace grapheme {

inline bool isSimpleUnit(char16_t u)
{
    return u < 0x0300;
}

// Calls onBoundary(pos) for every cluster boundary after the start of `text`, in increasing
// order; the last call is text.size(). Nothing is called for empty text. The callback returns
// false to stop early.
template <typename OnBoundary>
void forEachBoundary(QStringView text, OnBoundary &&onBoundary)
{
    const qsizetype n = text.size();
    const char16_t *s = text.utf16();
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = s[i];
        if (isSimpleUnit(c) && (i + 1 == n || isSimpleUnit(s[i + 1]))) {
            i += (c == u'\r' && i + 1 < n && s[i + 1] == u'\n') ? 2 : 1;
            if (!onBoundary(i)) {
                return;
            }
            continue;
        }
        qsizetype end = i + 1;
        while (end < n
               && !(isSimpleUnit(s[end - 1]) && isSimpleUnit(s[end])
                    && !(s[end - 1] == u'\r' && s[end] == u'\n'))) {
            ++end;
        }
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme,
                                   reinterpret_cast<const QChar *>(s + i), end - i);
        for (qsizetype b = finder.toNextBoundary(); b > 0; b = finder.toNextBoundary()) {
            if (!onBoundary(i + b)) {
                return;
            }
        }
        i = end;
    }
}

// Number of clusters in `text`.
qsizetype count(QStringView text);

// Code-unit offset where cluster number `clusterIndex` starts (text.size() when past the end).
qsizetype unitOffset(QStringView text, qsizetype clusterIndex);

// Code-unit offsets of every cluster boundary, 0 and text.size() included.
QList<qsizetype> boundaries(QStringView text);

} // namespace grapheme
} // namespace vesk
