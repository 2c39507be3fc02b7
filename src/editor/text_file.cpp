#include "editor/text_file.h"

#include "platform/regular_file.h"
#include "text/line_diff.h"
#include "text/tree_builder.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <vector>

namespace vesk {

namespace {

constexpr qint64 readBlockBytes = qint64(1) << 20;


} // namespace

TextFileRead readTextFile(const QString &path)
{
    TextFileRead result;
    RegularFile file = openRegularFile(path);
    if (!file.isOpen()) {
        result.error = cannotOpenMessage(path, file.error + u'.');
        return result;
    }
    // Read and built a block at a time: the file's bytes are never held whole next to its tree.
    TreeBuilder builder;
    QByteArray block;
    for (bool first = true;; first = false) {
        if (!readOpenedFile(file, block, readBlockBytes)) {
            result.error = cannotOpenMessage(path, fileErrorReason(errno) + u'.');
            return result;
        }
        if (block.isEmpty()) {
            break;
        }
        if (first) {
            result.hasByteOrderMark = takeByteOrderMark(block);
        }
        if (!builder.append(block)) {
            break;
        }
    }
    result.text = builder.finish();
    if (!result.text) {
        result.error = cannotOpenMessage(path, QStringLiteral("it is not UTF-8 text."));
    }
    return result;
}

QString cannotOpenMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("\u201C%1\u201D could not be opened: %2").arg(QFileInfo(path).fileName(), reason);
}

bool takeByteOrderMark(QByteArray &bytes)
{
    if (!bytes.startsWith(utf8ByteOrderMark)) {
        return false;
    }
    bytes.remove(0, utf8ByteOrderMark.size());
    return true;
}

VeskNodePtr treeFromUtf8(QByteArrayView utf8)
{
    TreeBuilder builder;
    builder.append(utf8);
    return builder.finish();
}

bool sameUtf8(const VeskNodePtr &tree, QByteArrayView utf8)
{
    if (!tree) {
        return false;
    }
    std::vector<const VeskNode *> pending{tree.get()};
    qsizetype at = 0;
    QByteArray encoded;
    while (!pending.empty()) {
        const VeskNode *node = pending.back();
        pending.pop_back();
        if (!node->isLeaf()) {
            pending.push_back(node->right().get());
            pending.push_back(node->left().get());
            continue;
        }
        const TextChunk &chunk = node->chunk();
        encoded.clear();
        chunk.appendUtf8To(encoded);
        if (encoded.isEmpty()) {
            continue;  // an empty leaf; memcmp must not be handed an empty text's null pointer
        }
        if (encoded.size() > utf8.size() - at || std::memcmp(encoded.constData(), utf8.data() + at, size_t(encoded.size())) != 0) {
            return false;
        }
        at += encoded.size();
    }
    return at == utf8.size();
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
