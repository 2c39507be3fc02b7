#include "text/utf8.h"

#include <cstdint>
#include <cstring>

namespace vesk {

namespace {

constexpr std::uint64_t highBits = 0x8080808080808080ULL;

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed sequence starting at s[i] (whose lead byte is >= 0x80), or 0; -1
// when the bytes end inside a sequence that is well-formed so far. The second-byte ranges follow
// the Unicode table of well-formed byte sequences.
int sequenceLength(const unsigned char *s, qsizetype i, qsizetype n)
{
    const unsigned char c = s[i];
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = c == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    for (int k = 1; k < length; ++k) {
        if (i + k >= n) {
            return -1;
        }
        const unsigned char next = s[i + k];
        if (k == 1 ? (next < low || next > high) : !isContinuation(next)) {
            return 0;
        }
    }
    return length;
}

} // namespace

Utf8Kind scanUtf8(QByteArrayView bytes, Utf8Ending ending)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    bool ascii = true;
    qsizetype i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if ((word & highBits) == 0) {
                i += 8;
                continue;
            }
        }
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const int length = sequenceLength(s, i, n);
        if (length < 0 && ending == Utf8Ending::mayBeCut) {
            break;
        }
        if (length <= 0) {
            return Utf8Kind::invalid;
        }
        ascii = false;
        i += length;
    }
    return ascii ? Utf8Kind::ascii : Utf8Kind::unicode;
}

std::optional<QString> decodeUtf8(QByteArrayView bytes)
{
    if (scanUtf8(bytes) == Utf8Kind::invalid) {
        return std::nullopt;
    }
    return QString::fromUtf8(bytes);
}

} // namespace vesk
