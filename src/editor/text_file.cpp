#include "editor/text_file.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <vector>

namespace vesk {

namespace {

QString cannotOpen(const QString &path, const QString &reason)
{
    return QStringLiteral("\u201C%1\u201D could not be opened: %2").arg(QFileInfo(path).fileName(), reason);
}

// Walks the code units of a tree leaf by leaf.
class UnitStream
{
public:
    explicit UnitStream(const VeskNode *root) { descend(root); }

    bool atEnd() const { return m_leaf == nullptr; }
    const TextChunk &chunk() const { return m_leaf->chunk(); }
    qsizetype position() const { return m_unit; }
    qsizetype remaining() const { return chunk().unitCount() - m_unit; }

    void advance(qsizetype units)
    {
        m_unit += units;
        if (m_unit >= chunk().unitCount()) {
            nextLeaf();
        }
    }

private:
    void descend(const VeskNode *node)
    {
        while (!node->isLeaf()) {
            m_stack.push_back(node->right().get());
            node = node->left().get();
        }
        m_leaf = node;
        m_unit = 0;
        if (chunk().isEmpty()) {
            nextLeaf();
        }
    }

    void nextLeaf()
    {
        if (m_stack.empty()) {
            m_leaf = nullptr;
            return;
        }
        const VeskNode *next = m_stack.back();
        m_stack.pop_back();
        descend(next);
    }

    std::vector<const VeskNode *> m_stack;
    const VeskNode *m_leaf = nullptr;
    qsizetype m_unit = 0;
};

} // namespace

TextFileRead readTextFile(const QString &path)
{
    TextFileRead result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = cannotOpen(path, QStringLiteral("the file does not exist."));
        return result;
    }
    if (info.isDir()) {
        result.error = cannotOpen(path, QStringLiteral("it is a folder."));
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = cannotOpen(path, file.errorString() + u'.');
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = cannotOpen(path, file.errorString() + u'.');
        return result;
    }
    if (!isValidUtf8(bytes)) {
        result.error = cannotOpen(path, QStringLiteral("it is not UTF-8 text."));
        return result;
    }
    result.text = VeskNode::buildUtf8(bytes);
    return result;
}

bool isReadOnlyFile(const QString &path)
{
    const QFileInfo info(path);
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.exists() && !(info.permissions() & anyWrite);
}

bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *const end = p + bytes.size();
    while (p < end) {
        if (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int trailing = 0;
        char32_t cp = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trailing = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trailing = 2;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trailing = 3;
            cp = lead & 0x07;
        } else {
            return false;
        }
        if (end - p <= trailing) {
            return false;
        }
        for (int i = 1; i <= trailing; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if ((trailing == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)))
            || (trailing == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        p += trailing + 1;
    }
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
    UnitStream x(a.get());
    UnitStream y(b.get());
    while (!x.atEnd() && !y.atEnd()) {
        const qsizetype n = std::min(x.remaining(), y.remaining());
        const TextChunk &cx = x.chunk();
        const TextChunk &cy = y.chunk();
        for (qsizetype i = 0; i < n; ++i) {
            if (cx.unitAt(x.position() + i) != cy.unitAt(y.position() + i)) {
                return false;
            }
        }
        x.advance(n);
        y.advance(n);
    }
    return x.atEnd() && y.atEnd();
}

} // namespace vesk
