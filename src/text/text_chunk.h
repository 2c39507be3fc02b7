#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vesk {

// The text of one leaf of the text tree. Plain ASCII (the bulk of source code) is held one byte
// per character; anything else as UTF-16. Offsets called "clusters" count grapheme clusters,
// "units" count the stored code units.
class TextChunk
{
public:
    struct Stats
    {
        qint64 clusters = 0;
        qint64 lineFeeds = 0;        // "\n" characters (CR LF not counted)
        qint64 lineBreaks = 0;       // all four line-break characters
        qint64 paragraphBreaks = 0;  // U+2029
        qint64 lineSeparators = 0;   // U+2028
    };

    TextChunk() = default;
    explicit TextChunk(QStringView text);
    static TextChunk fromAscii(QByteArray ascii);

    bool isAscii() const { return m_ascii; }
    bool isEmpty() const { return unitCount() == 0; }
    qsizetype unitCount() const { return m_ascii ? m_bytes.size() : m_text.size(); }
    char16_t unitAt(qsizetype i) const;

    // Counts; `knownClusters` saves segmenting again when the caller already counted.
    Stats stats(qint64 knownClusters = -1) const;

    QString toString() const;
    void appendTo(QString &out) const;
    void appendUtf8To(QByteArray &out) const;

    // Unit offset of the start of cluster `cluster` (unitCount() when past the end).
    qsizetype unitOffsetOfCluster(qint64 cluster) const;
    // Number of clusters in the first `units` units; `units` must be a cluster boundary.
    qint64 clustersBeforeUnit(qsizetype units) const;

    TextChunk midUnits(qsizetype from, qsizetype length = -1) const;

    // Unit offset just after the k-th line break (k >= 1), or -1 when there are fewer breaks.
    qsizetype unitAfterBreak(qint64 k) const;
    // How many of the first k line breaks are U+2029.
    qint64 paragraphBreaksAmongFirst(qint64 k) const;
    // Appends the units from `fromUnit` up to the next line break (the break itself and a CR
    // before its LF excluded). Returns the unit just after that break, or -1 when the chunk ends
    // before one.
    qsizetype appendLineFrom(qsizetype fromUnit, QString &out) const;

private:
    QByteArray m_bytes;  // when m_ascii
    QString m_text;      // otherwise
    bool m_ascii = true;
};

} // namespace vesk
