#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>

namespace vesk {

// Compares by Unicode code point. Plain QString comparison orders UTF-16 units, which puts
// characters beyond U+FFFF (surrogate pairs) before U+E000..U+FFFF; this fixes that up.
inline int compareCodePoints(const QString &a, const QString &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y) {
            continue;
        }
        if (x >= 0xD800 && y >= 0xD800) {
            // Surrogates (D800..DFFF) stand for code points above every BMP unit from E000 up.
            x = char16_t(x >= 0xE000 ? x - 0x800 : x + 0x2000);
            y = char16_t(y >= 0xE000 ? y - 0x800 : y + 0x2000);
        }
        return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline void sortByCodePoint(QStringList &list)
{
    std::sort(list.begin(), list.end(),
              [](const QString &a, const QString &b) { return compareCodePoints(a, b) < 0; });
}

} // namespace vesk
