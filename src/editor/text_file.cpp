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
