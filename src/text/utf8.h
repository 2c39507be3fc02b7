#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace vesk {

enum class Utf8Kind {
    invalid,  // not well-formed UTF-8 (overlong forms, surrogates and values past U+10FFFF included)
    ascii,    // every byte below 0x80
    unicode,  // well-formed, with at least one multi-byte sequence
};

// How a multi-byte character that the bytes stop in the middle of counts: as invalid, or, for a
// sample cut from a longer file, as if the bytes ended just before it.
enum class Utf8Ending { complete, mayBeCut };

// Classifies bytes in one pass; plain ASCII runs are checked eight bytes at a time.
Utf8Kind scanUtf8(QByteArrayView bytes, Utf8Ending ending = Utf8Ending::complete);

inline bool isValidUtf8(QByteArrayView bytes)
{
    return scanUtf8(bytes) != Utf8Kind::invalid;
}

// The text of well-formed UTF-8, or nothing; bad sequences are never replaced.
std::optional<QString> decodeUtf8(QByteArrayView bytes);

} // namespace vesk
