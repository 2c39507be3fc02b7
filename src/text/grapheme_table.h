#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk::grapheme {

// Grapheme_Cluster_Break values, plus a bit for Extended_Pictographic.
enum BreakProperty : std::uint8_t {
    Other,
    CR,
    LF,
    Control,
    Extend,
    ZWJ,
    RegionalIndicator,
    Prepend,
    SpacingMark,
    L,
    V,
    T,
    LV,
    LVT,
};
inline constexpr std::uint8_t pictographicBit = 0x80;

struct GraphemeRange
{
    char32_t first;
    char32_t last;
    std::uint8_t value;  // BreakProperty | pictographicBit
};

// Every code point that is not Other or that is pictographic, in increasing order.
extern const GraphemeRange graphemeRanges[];
extern const std::size_t graphemeRangeCount;

// The property byte of a code point (BreakProperty | pictographicBit).
std::uint8_t propertyOf(char32_t cp);

} // namespace vesk::grapheme
