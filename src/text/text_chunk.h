#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace vesk {

// The text of one leaf of the text tree, held compactly: text whose characters all lie below
// U+0100 (plain ASCII, the bulk of source code, and Latin-1 text) one byte per character,
// anything else as UTF-16. Offsets called "clusters" count grapheme clusters, "units" count
// UTF-16 code units, which is also one stored byte each in the one-byte forms.
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

    enum class Form : quint8 { ascii, latin1, utf16 };

    TextChunk() = default;
    explicit TextChunk(QStringView text);
    static TextChunk fromAscii(QByteArray ascii);
    // Bytes that are Latin-1 code points (some of them at or above 0x80).
    static TextChunk fromLatin1(QByteArray latin1);

    Form form() const { return m_form; }
    bool isAscii() const { return m_form == Form::ascii; }
    bool isOneByte() const { return m_form != Form::utf16; }
    bool isEmpty() const { return m_data.isEmpty(); }
    qsizetype unitCount() const { return isOneByte() ? m_data.size() : m_data.size() / 2; }
    char16_t unitAt(qsizetype i) const
    {
        return isOneByte() ? char16_t(uchar(m_data.constData()[i])) : utf16()[i];
    }
    // Bytes held for the text.
    qsizetype storedBytes() const { return m_data.size(); }

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
    const char16_t *utf16() const { return reinterpret_cast<const char16_t *>(m_data.constData()); }
    QStringView utf16View() const { return QStringView(utf16(), m_data.size() / 2); }

    // One byte per unit in the one-byte forms, two (native order) in the UTF-16 form: one
    // buffer either way keeps the leaf node small.
    QByteArray m_data;
    Form m_form = Form::ascii;
};

} // namespace vesk
