#include "editor/line_chars.h"

#include "text/grapheme.h"

#include <algorithm>

namespace vesk {

namespace {

bool allSimple(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return grapheme::isSimpleUnit(c.unicode()); });
}

} // namespace

LineChars::LineChars(QString line)
    : m_text(std::move(line))
    , m_simple(allSimple(m_text))
{
    if (!m_simple) {
        m_bounds = grapheme::boundaries(m_text);
    }
}

char32_t LineChars::leadOf(qint64 index) const
{
    const qsizetype unit = m_simple ? index : m_bounds[index];
    qsizetype length = 0;
    return grapheme::codePointAt(reinterpret_cast<const char16_t *>(m_text.utf16()), m_text.size(), unit, length);
}

bool LineChars::isWhiteSpace(qint64 index) const
{
    return vesk::isWhiteSpace(leadOf(index));
}

bool LineChars::isWordCharacter(qint64 index) const
{
    return vesk::isWordCharacter(leadOf(index));
}

qint64 characterCount(QStringView line)
{
    return allSimple(line) ? line.size() : grapheme::count(line);
}

bool isWhiteSpace(char32_t c)
{
    switch (c) {
    case 0x0009: case 0x000A: case 0x000B: case 0x000C: case 0x000D: case 0x0020: case 0x0085:
    case 0x00A0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

bool isWordCharacter(char32_t c)
{
    return c == U'_' || QChar::isLetter(c) || QChar::isNumber(c);
}

} // namespace vesk
