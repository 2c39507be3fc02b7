#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace vesk {

// The characters (grapheme clusters) of one line, for column arithmetic and word rules. A line
// of code units below U+0300 is one character per unit (a line holds no CR LF, which is a line
// break), so the common case needs no segmenting.
class LineChars
{
public:
    explicit LineChars(QString line);

    qint64 size() const { return m_simple ? m_text.size() : m_bounds.size() - 1; }
    // The first code point of character `index`, which decides its class.
    char32_t leadOf(qint64 index) const;
    bool isWhiteSpace(qint64 index) const;
    bool isWordCharacter(qint64 index) const;

private:
    QString m_text;
    QList<qsizetype> m_bounds;  // unit offsets of the character starts and the end; unused when simple
    bool m_simple = true;
};

// Number of characters in a line.
qint64 characterCount(QStringView line);

// Unicode White_Space.
bool isWhiteSpace(char32_t c);
// Letters, numbers (by general category) and the low line.
bool isWordCharacter(char32_t c);

} // namespace vesk
