#include "editor/text_file.h"

#include "platform/regular_file.h"
#include "text/line_diff.h"

#include <QFileInfo>

#include <cstring>
#include <vector>

namespace vesk {

namespace {

QString cannotOpen(const QString &path, const QString &reason)
{
    return QStringLiteral("\u201C%1\u201D could not be opened: %2").arg(QFileInfo(path).fileName(), reason);
}


} // namespace

TextFileRead readTextFile(const QString &path)
{
    TextFileRead result;
    RegularFileRead read = readRegularFile(path);
    if (!read.ok()) {
        result.error = cannotOpen(path, read.error + u'.');
        return result;
    }
    result.hasByteOrderMark = takeByteOrderMark(read.data);
    if (!isValidUtf8(read.data)) {
        result.error = cannotOpen(path, QStringLiteral("it is not UTF-8 text."));
        return result;
    }
    result.text = VeskNode::buildUtf8(read.data);
    return result;
}

bool takeByteOrderMark(QByteArray &bytes)
{
    if (!bytes.startsWith(utf8ByteOrderMark)) {
        return false;
    }
    bytes.remove(0, utf8ByteOrderMark.size());
    return true;
}

bool sameText(const VeskNodePtr &a, const VeskNodePtr &b)
{
    if (a == b) {
        return true;
    }
    if (!a || !b || a->length() != b->length() || a->unitCount() != b->unitCount()
        || a->lineBreakCount() != b->lineBreakCount()) {
        return false;
    }
    return commonPrefixUnits(a, b) == a->unitCount();
}

} // namespace vesk
