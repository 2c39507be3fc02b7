#pragma once

#include <QStringView>

#include <cstdint>

namespace vesk {

// What a highlighted piece of code is, as far as its colour goes. The grammars' capture names
// ("keyword.function", "string.special.key", ...) fold into these; the canvas gives each one a
// colour per theme.
enum class HighlightStyle : std::uint8_t {
    none,  // drawn in the ordinary text colour
    keyword,
    string,
    escape,
    comment,
    type,
    function,
    number,
    constant,
    operatorSign,
    punctuation,
    variableBuiltin,
    property,
    tag,
    attribute,
    label,
    heading,
    link,
};

constexpr int highlightStyleCount = int(HighlightStyle::link) + 1;

// The style of a capture name: the longest dotted prefix that names one ("function.method.call"
// falls back to "function.method", then "function"); `none` for names that colour nothing
// ("variable", "embedded", names starting with "_").
HighlightStyle highlightStyleForCapture(QStringView name);

} // namespace vesk
