#pragma once

#include <QByteArrayView>

namespace vesk {

enum class Utf8Kind {
    invalid,  // not well-formed UTF-8 (overlong forms, surrogates and values past U+10FFFF included)
    ascii,    // every byte below 0x80
    unicode,  // well-formed, with at least one multi-byte sequence
};

// Classifies bytes in one pass; plain ASCII runs are checked eight bytes at a time.
Utf8Kind scanUtf8(QByteArrayView bytes);

} // namespace vesk
