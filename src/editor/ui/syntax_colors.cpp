#include "editor/ui/syntax_colors.h"

#include "editor/ui/editor_colors.h"

#include <QPalette>

#include <array>

namespace vesk {

namespace {

struct Pair
{
    QRgb light;
    QRgb dark;
};

// Indexed by HighlightStyle. Every light colour keeps a contrast of at least 4.5:1 on white, and
// every dark one on the dark text background.
constexpr std::array<Pair, highlightStyleCount> theme = {{
    {0, 0},                     // none: the text colour
    {0x9B2393, 0xFC5FA3},       // keyword
    {0xC41A16, 0xFC6A5D},       // string
    {0x8A5300, 0xFD8F3F},       // escape
    {0x5D6C79, 0x8A99A6},       // comment
    {0x0B4F79, 0x5DD8FF},       // type
    {0x0F68A0, 0x67B7A4},       // function
    {0x1C00CF, 0xD0BF69},       // number
    {0x78492A, 0xB88EF2},       // constant
    {0x4B4B55, 0xC8C8D2},       // operator
    {0x5F5F69, 0xA5A5AF},       // punctuation
    {0x7A36B0, 0xD0A8FF},       // variable.builtin
    {0x326D74, 0x41A1C0},       // property
    {0x0B4F79, 0x5DD8FF},       // tag
    {0x815F03, 0xBF8555},       // attribute
    {0x815F03, 0xBF8555},       // label
    {0x0B4F79, 0x5DD8FF},       // heading
    {0x0E0EFF, 0x6C9BFF},       // link
}};

} // namespace

QColor syntaxColor(HighlightStyle style, const QPalette &palette)
{
    if (style == HighlightStyle::none) {
        return labelColor(palette);
    }
    const Pair &pair = theme[size_t(style)];
    return QColor::fromRgb(isDarkPalette(palette) ? pair.dark : pair.light);
}

} // namespace vesk
