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

// "“name” could not be opened: reason" for the file at `path`.
QString cannotOpenMessage(const QString &path, const QString &reason);

// The UTF-8 byte-order mark.
inline constexpr QByteArrayView utf8ByteOrderMark{"\xEF\xBB\xBF", 3};

// Reads the whole regular file at `path` as strict UTF-8 (no replacement of bad sequences),
// without blocking on a pipe or device; a leading byte-order mark is set apart.
TextFileRead readTextFile(const QString &path);

// Sets a leading byte-order mark apart from the content: true when `bytes` had one.
bool takeByteOrderMark(QByteArray &bytes);

// The text of UTF-8 bytes (checked first) as a tree of compact leaves, as a file is read.
VeskNodePtr treeFromUtf8(QByteArrayView utf8);

// Whether the tree's text encodes to exactly these UTF-8 bytes; compared leaf by leaf, without
// making the tree's UTF-8 whole.
bool sameUtf8(const VeskNodePtr &tree, QByteArrayView utf8);

// Whether two trees hold the same text, code unit for code unit; subtrees both hold (versions of
// one text share most of theirs) are not looked into.
bool sameText(const VeskNodePtr &a, const VeskNodePtr &b);

} // namespace vesk
