#include "syntax/tree_input.h"

#include <QtEndian>

#include <algorithm>
#include <vector>

namespace vesk {

namespace {

constexpr char16_t newline = u'\n';

bool isBreakUnit(char16_t unit)
{
    return unit == u'\n' || unit == 0x2028 || unit == 0x2029;
}

// Walks the leaves of one version of the text from one end, with the subtrees still ahead on a
// stack, so that a subtree shared with another version can be stepped over whole.
class Walk
{
public:
    Walk(const VeskNode *root, bool fromEnd)
        : m_fromEnd(fromEnd)
    {
        m_ahead.push_back(root);
    }

    bool done() const { return m_ahead.empty(); }
    const VeskNode *next() const { return m_ahead.back(); }
    qsizetype used() const { return m_used; }
    qint64 remaining() const { return next()->unitCount() - m_used; }

    void skip()
    {
        m_ahead.pop_back();
        m_used = 0;
    }
    void open()
    {
        const VeskNode *node = next();
        m_ahead.pop_back();
        m_ahead.push_back(m_fromEnd ? node->left().get() : node->right().get());
        m_ahead.push_back(m_fromEnd ? node->right().get() : node->left().get());
    }
    // The k-th unit from this walk's end of the next leaf, past those used.
    char16_t unit(qsizetype k) const
    {
        const TextChunk &chunk = next()->chunk();
        const qsizetype index = m_used + k;
        return chunk.unitAt(m_fromEnd ? chunk.unitCount() - 1 - index : index);
    }
    void use(qsizetype units)
    {
        m_used += units;
        if (m_used >= next()->unitCount()) {
            skip();
        }
    }

private:
    std::vector<const VeskNode *> m_ahead;
    qsizetype m_used = 0;
    bool m_fromEnd;
};

// Units the two versions share from one end, at most `limit`.
qint64 commonUnits(const VeskNode *a, const VeskNode *b, bool fromEnd, qint64 limit)
{
    Walk x(a, fromEnd);
    Walk y(b, fromEnd);
    qint64 common = 0;
    while (!x.done() && !y.done() && common < limit) {
        const VeskNode *p = x.next();
        const VeskNode *q = y.next();
        if (p->unitCount() == 0 || (p == q && x.used() == 0 && y.used() == 0)) {
            common += p->unitCount();
            x.skip();
            if (p == q) {
                y.skip();
            }
            continue;
        }
        if (q->unitCount() == 0) {
            y.skip();
            continue;
        }
        if (!p->isLeaf() && (q->isLeaf() || p->unitCount() >= q->unitCount())) {
            x.open();
            continue;
        }
        if (!q->isLeaf()) {
            y.open();
            continue;
        }
        const qsizetype n = qsizetype(std::min(x.remaining(), y.remaining()));
        for (qsizetype k = 0; k < n; ++k) {
            if (x.unit(k) != y.unit(k)) {
                return std::min(limit, common + k);
            }
        }
        common += n;
        x.use(n);
        y.use(n);
    }
    return std::min(limit, common);
}

template <typename Visit>
void forEachLeaf(const VeskNode &root, Visit &&visit)
{
    std::vector<const VeskNode *> ahead{&root};
    while (!ahead.empty()) {
        const VeskNode *node = ahead.back();
        ahead.pop_back();
        if (node->isLeaf()) {
            if (!visit(node->chunk())) {
                return;
            }
        } else {
            ahead.push_back(node->right().get());
            ahead.push_back(node->left().get());
        }
    }
}

// The unit just after the k-th U+000A (k >= 1), or the end of the text when there are fewer.
qint64 unitAfterNewline(const VeskNode &root, qint64 k)
{
    if (k <= 0) {
        return 0;
    }
    if (k > root.newlineUnits()) {
        return root.unitCount();
    }
    const VeskNode *node = &root;
    qint64 base = 0;
    while (!node->isLeaf()) {
        const VeskNode &left = *node->left();
        if (left.newlineUnits() >= k) {
            node = &left;
        } else {
            k -= left.newlineUnits();
            base += left.unitCount();
            node = node->right().get();
        }
    }
    const TextChunk &chunk = node->chunk();
    for (qsizetype i = 0; i < chunk.unitCount(); ++i) {
        if (chunk.unitAt(i) == newline && --k == 0) {
            return base + i + 1;
        }
    }
    return root.unitCount();
}

} // namespace

namespace TreeUnits {

qint64 unitOfCluster(const VeskNode &root, qint64 cluster)
{
    if (cluster <= 0) {
        return 0;
    }
    if (cluster >= root.length()) {
        return root.unitCount();
    }
    const VeskNode *node = &root;
    qint64 base = 0;
    while (!node->isLeaf()) {
        const VeskNode &left = *node->left();
        if (cluster < left.length()) {
            node = &left;
        } else {
            cluster -= left.length();
            base += left.unitCount();
            node = node->right().get();
        }
    }
    return base + node->chunk().unitOffsetOfCluster(cluster);
}

qint64 lineStartUnit(const VeskNode &root, qint64 line)
{
    if (line <= 0) {
        return 0;
    }
    if (line > root.lineBreakCount()) {
        return root.unitCount();
    }
    const VeskNode *node = &root;
    qint64 base = 0;
    qint64 k = line;
    while (!node->isLeaf()) {
        const VeskNode &left = *node->left();
        if (left.lineBreakCount() >= k) {
            node = &left;
        } else {
            k -= left.lineBreakCount();
            base += left.unitCount();
            node = node->right().get();
        }
    }
    const qsizetype after = node->chunk().unitAfterBreak(k);
    return after < 0 ? root.unitCount() : base + after;
}

qint64 lineOfUnit(const VeskNode &root, qint64 unit)
{
    unit = std::clamp<qint64>(unit, 0, root.unitCount());
    const VeskNode *node = &root;
    qint64 base = 0;
    qint64 line = 0;
    while (!node->isLeaf()) {
        const VeskNode &left = *node->left();
        if (unit - base < left.unitCount()) {
            node = &left;
        } else {
            line += left.lineBreakCount();
            base += left.unitCount();
            node = node->right().get();
        }
    }
    const TextChunk &chunk = node->chunk();
    for (qsizetype i = 0, end = qsizetype(unit - base); i < end; ++i) {
        line += isBreakUnit(chunk.unitAt(i)) ? 1 : 0;
    }
    return line;
}

TSPoint pointAtUnit(const VeskNode &root, qint64 unit)
{
    unit = std::clamp<qint64>(unit, 0, root.unitCount());
    const VeskNode *node = &root;
    qint64 base = 0;
    qint64 row = 0;
    while (!node->isLeaf()) {
        const VeskNode &left = *node->left();
        if (unit - base < left.unitCount()) {
            node = &left;
        } else {
            row += left.newlineUnits();
            base += left.unitCount();
            node = node->right().get();
        }
    }
    const TextChunk &chunk = node->chunk();
    for (qsizetype i = 0, end = qsizetype(unit - base); i < end; ++i) {
        row += chunk.unitAt(i) == newline ? 1 : 0;
    }
    const qint64 rowStart = unitAfterNewline(root, row);
    return TSPoint{uint32_t(row), uint32_t(2 * (unit - rowStart))};
}

QString textOfUnits(const VeskNode &root, qint64 from, qint64 to)
{
    from = std::max<qint64>(0, from);
    to = std::min(to, root.unitCount());
    QString out;
    if (to <= from) {
        return out;
    }
    out.reserve(qsizetype(to - from));
    // Descend to the first leaf, then walk on from there.
    std::vector<const VeskNode *> ahead;
    const VeskNode *node = &root;
    qint64 base = 0;
    while (!node->isLeaf()) {
        const VeskNode &left = *node->left();
        if (from - base < left.unitCount()) {
            ahead.push_back(node->right().get());
            node = &left;
        } else {
            base += left.unitCount();
            node = node->right().get();
        }
    }
    ahead.push_back(node);
    while (!ahead.empty() && base < to) {
        node = ahead.back();
        ahead.pop_back();
        if (!node->isLeaf()) {
            ahead.push_back(node->right().get());
            ahead.push_back(node->left().get());
            continue;
        }
        const TextChunk &chunk = node->chunk();
        const qint64 start = std::max<qint64>(0, from - base);
        const qint64 end = std::min<qint64>(chunk.unitCount(), to - base);
        for (qint64 i = start; i < end; ++i) {
            out.append(QChar(chunk.unitAt(qsizetype(i))));
        }
        base += chunk.unitCount();
    }
    return out;
}

qint64 longestLineUnits(const VeskNode &root, qint64 limit)
{
    qint64 longest = 0;
    qint64 current = 0;
    forEachLeaf(root, [&](const TextChunk &chunk) {
        for (qsizetype i = 0, n = chunk.unitCount(); i < n; ++i) {
            current = isBreakUnit(chunk.unitAt(i)) ? 0 : current + 1;
            longest = std::max(longest, current);
        }
        return longest <= limit;
    });
    return longest;
}

std::optional<TSInputEdit> editBetween(const VeskNodePtr &before, const VeskNodePtr &after)
{
    if (before == after) {
        return std::nullopt;
    }
    const qint64 oldLength = before->unitCount();
    const qint64 newLength = after->unitCount();
    const qint64 shorter = std::min(oldLength, newLength);
    const qint64 prefix = commonUnits(before.get(), after.get(), false, shorter);
    if (prefix == oldLength && prefix == newLength) {
        return std::nullopt;
    }
    const qint64 suffix = commonUnits(before.get(), after.get(), true, shorter - prefix);
    TSInputEdit edit;
    edit.start_byte = uint32_t(2 * prefix);
    edit.old_end_byte = uint32_t(2 * (oldLength - suffix));
    edit.new_end_byte = uint32_t(2 * (newLength - suffix));
    edit.start_point = pointAtUnit(*before, prefix);
    edit.old_end_point = pointAtUnit(*before, oldLength - suffix);
    edit.new_end_point = pointAtUnit(*after, newLength - suffix);
    return edit;
}

} // namespace TreeUnits

TreeTextInput::TreeTextInput(VeskNodePtr root)
    : m_root(std::move(root))
{
}

TSInput TreeTextInput::input()
{
    TSInput in{};
    in.payload = this;
    in.read = &TreeTextInput::read;
    in.encoding = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TSInputEncodingUTF16LE : TSInputEncodingUTF16BE;
    in.decode = nullptr;
    return in;
}

const char *TreeTextInput::read(void *payload, uint32_t byteIndex, TSPoint, uint32_t *bytesRead)
{
    return static_cast<TreeTextInput *>(payload)->readAt(qint64(byteIndex / 2), bytesRead);
}

const char *TreeTextInput::readAt(qint64 unit, uint32_t *bytesRead)
{
    if (unit >= m_root->unitCount()) {
        *bytesRead = 0;
        return "";
    }
    if (!m_leaf || unit < m_leafStart || unit >= m_leafStart + m_leaf->unitCount()) {
        const VeskNode *node = m_root.get();
        qint64 base = 0;
        while (!node->isLeaf()) {
            const VeskNode &left = *node->left();
            if (unit - base < left.unitCount()) {
                node = &left;
            } else {
                base += left.unitCount();
                node = node->right().get();
            }
        }
        m_leaf = node;
        m_leafStart = base;
        m_buffer = node->chunk().toString();
    }
    const qint64 offset = unit - m_leafStart;
    *bytesRead = uint32_t(2 * (m_buffer.size() - offset));
    return reinterpret_cast<const char *>(m_buffer.utf16() + offset);
}

} // namespace vesk
