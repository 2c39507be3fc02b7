#pragma once

#include "text/utf8.h"
#include "text/vesk_node.h"

#include <QByteArrayView>
#include <QString>

namespace vesk {

// What reading a text file gave: the text as a tree, or the reason it could not be had.
struct TextFileRead
{
    VeskNodePtr text;  // null when the file could not be read
    QString error;     // a sentence for the user when text is null
    bool hasByteOrderMark = false;  // the file starts with a UTF-8 byte-order mark, not in `text`
};

// The UTF-8 byte-order mark.
inline constexpr QByteArrayView utf8ByteOrderMark{"\xEF\xBB\xBF", 3};

// Reads the whole regular file at `path` as strict UTF-8 (no replacement of bad sequences),
// without blocking on a pipe or device; a leading byte-order mark is set apart.
TextFileRead readTextFile(const QString &path);

// Sets a leading byte-order mark apart from the content: true when `bytes` had one.
bool takeByteOrderMark(QByteArray &bytes);

// Whether two trees hold the same text, code unit for code unit; subtrees both hold (versions of
// one text share most of theirs) are not looked into.
bool sameText(const VeskNodePtr &a, const VeskNodePtr &b);

} // namespace vesk
