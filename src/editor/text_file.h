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
};

// Reads the whole file at `path` as strict UTF-8 (no replacement of bad sequences).
TextFileRead readTextFile(const QString &path);

// An existing file (or link target) that nobody may write: no write permission bit is set.
bool isReadOnlyFile(const QString &path);

// Whether two trees hold the same text, code unit for code unit; the same root is answered at once.
bool sameText(const VeskNodePtr &a, const VeskNodePtr &b);

} // namespace vesk
