#include "text/vesk_node.h"

#include "text/grapheme.h"


#include <algorithm>
#include <cstdlib>
#include <future>

namespace vesk {

namespace {

bool isAsciiWithoutCr(QStringView text)
{
    // Blocks without an early exit vectorise; between blocks, mixed text stops early.
    const char16_t *s = text.utf16();
    constexpr qsizetype block = 4096;
    for (qsizetype start = 0, n = text.size(); start < n; start += block) {
        bool ok = true;
        for (qsizetype i = start, end = std::min(n, start + block); i < end; ++i) {
            ok &= (s[i] < 0x80) & (s[i] != u'\r');
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool isAsciiWithoutCr(QByteArrayView bytes)
{
    const char *b = bytes.data();
    bool ok = true;
    for (qsizetype i = 0, n = bytes.size(); i < n; ++i) {
        ok &= (uchar(b[i]) < 0x80) & (b[i] != '\r');
    }
    return ok;
}

// Where the clusters of a text start, remembered for every 64th cluster only: enough to find
// any cluster's place by segmenting at most 63 clusters again.
class ClusterMarks
{
public:
    explicit ClusterMarks(QStringView text)
        : m_text(text)
    {
        m_marks.reserve(size_t(text.size() / stride + 2));
        m_marks.push_back(0);
        grapheme::forEachBoundary(text, [this](qsizetype pos) {
            if ((++m_count & (stride - 1)) == 0) {
                m_marks.push_back(pos);
            }
            return true;
        });
    }

    qint64 count() const { return m_count; }

    // The unit offset where cluster `cluster` starts (the text's end for count()).
    qsizetype unitOf(qint64 cluster) const
    {
        const qsizetype base = m_marks[size_t(cluster / stride)];
        qint64 left = cluster % stride;
        if (left == 0) {
            return base;
        }
        qsizetype found = m_text.size();
        // Segmentation restarts cleanly at a boundary, so the suffix can be segmented alone.
        grapheme::forEachBoundary(m_text.sliced(base), [&](qsizetype pos) {
            if (--left > 0) {
                return true;
            }
            found = base + pos;
            return false;
        });
        return found;
    }

private:
    static constexpr qint64 stride = 64;

    QStringView m_text;
    std::vector<qsizetype> m_marks;
    qint64 m_count = 0;
};

// Halves of texts at least this long are built on two threads.
constexpr qsizetype parallelBuildUnits = qsizetype(1) << 22;

// Text without CR or non-ASCII characters: one code unit per cluster, so the halving can cut on
// units directly.
template <typename View>
VeskNodePtr buildSimple(View text)
{
    const qsizetype n = text.size();
    if (n >= parallelBuildUnits) {
        const qsizetype half = n / 2;
        auto left = std::async(std::launch::async, [text, half] { return buildSimple(text.first(half)); });
        VeskNodePtr right = buildSimple(text.sliced(half));
        return VeskNode::makeBranch(left.get(), std::move(right));
    }
    if (n > VeskNode::maxLeafLength) {
        const qsizetype half = n / 2;
        return VeskNode::makeBranch(buildSimple(text.first(half)), buildSimple(text.sliced(half)));
    }
    if constexpr (std::is_same_v<View, QByteArrayView>) {
        return VeskNode::makeLeaf(TextChunk::fromAscii(text.toByteArray()));
    } else {
        return VeskNode::makeLeaf(TextChunk::fromAscii(text.toLatin1()));
    }
}

void halvedLeafSizes(qint64 n, std::vector<qint64> &sizes)
{
    if (n > VeskNode::maxLeafLength) {
        halvedLeafSizes(n / 2, sizes);
        halvedLeafSizes(n - n / 2, sizes);
    } else {
        sizes.push_back(n);
    }
}

VeskNodePtr assembleHalved(qint64 n, const std::vector<VeskNodePtr> &leaves, size_t &next)
{
    if (n > VeskNode::maxLeafLength) {
        VeskNodePtr left = assembleHalved(n / 2, leaves, next);
        VeskNodePtr right = assembleHalved(n - n / 2, leaves, next);
        return VeskNode::makeBranch(std::move(left), std::move(right));
    }
    return leaves[next++];
}

const VeskNode *firstLeaf(const VeskNode *node)
{
    while (!node->isLeaf()) {
        node = node->left().get();
    }
    return node;
}

const VeskNode *lastLeaf(const VeskNode *node)
{
    while (!node->isLeaf()) {
        node = node->right().get();
    }
    return node;
}

// True when the clusters of x followed by y are exactly those of x and of y: the seam is a
// cluster boundary and nothing after it regroups (regional-indicator pairs can shift).
bool seamIsStable(const TextChunk &x, const TextChunk &y)
{
    if (x.isEmpty() || y.isEmpty()) {
        return true;
    }
    const char16_t last = x.unitAt(x.unitCount() - 1);
    const char16_t first = y.unitAt(0);
    if (last == u'\r' && first == u'\n') {
        return false;
    }
    if (grapheme::isSimpleUnit(last) && grapheme::isSimpleUnit(first)) {
        return true;
    }
    const QString xs = x.toString();
    const QString joined = xs + y.toString();
    QList<qsizetype> expected = grapheme::boundaries(xs);
    const QList<qsizetype> right = grapheme::boundaries(joined.sliced(xs.size()));
    for (qsizetype i = 1; i < right.size(); ++i) {
        expected.append(xs.size() + right[i]);
    }
    return grapheme::boundaries(joined) == expected;
}

// Joins two trees whose seam is known to be a cluster boundary; no re-segmentation.
VeskNodePtr join(const VeskNodePtr &a, const VeskNodePtr &b);

VeskNodePtr balance(const VeskNodePtr &l, const VeskNodePtr &r)
{
    const qint64 hl = l->height();
    const qint64 hr = r->height();
    if (std::abs(hl - hr) <= 2) {
        return VeskNode::makeBranch(l, r);
    }
    if (hl > hr) {
        const VeskNodePtr &ll = l->left();
        const VeskNodePtr &lr = l->right();
        if (ll->height() >= lr->height()) {
            return VeskNode::makeBranch(ll, balance(lr, r));
        }
        return VeskNode::makeBranch(balance(ll, lr->left()), balance(lr->right(), r));
    }
    const VeskNodePtr &rl = r->left();
    const VeskNodePtr &rr = r->right();
    if (rr->height() >= rl->height()) {
        return VeskNode::makeBranch(balance(l, rl), rr);
    }
    return VeskNode::makeBranch(balance(l, rl->left()), balance(rl->right(), rr));
}

VeskNodePtr join(const VeskNodePtr &a, const VeskNodePtr &b)
{
    if (a->length() == 0) {
        return b;
    }
    if (b->length() == 0) {
        return a;
    }
    const qint64 ha = a->height();
    const qint64 hb = b->height();
    if (std::abs(ha - hb) <= 2) {
        return VeskNode::makeBranch(a, b);
    }
    if (ha > hb) {
        return balance(a->left(), join(a->right(), b));
    }
    return balance(join(a, b->left()), b->right());
}

void appendText(const VeskNode *node, QString &out)
{
    if (node->isLeaf()) {
        node->chunk().appendTo(out);
        return;
    }
    appendText(node->left().get(), out);
    appendText(node->right().get(), out);
}

void appendUtf8(const VeskNode *node, QByteArray &out)
{
    if (node->isLeaf()) {
        node->chunk().appendUtf8To(out);
        return;
    }
    appendUtf8(node->left().get(), out);
    appendUtf8(node->right().get(), out);
}

// Walks down to the leaf holding the k-th line break (k >= 1; k == 0 is the first leaf),
// remembering the subtrees to its right. Returns the leaf; `offset` becomes the offset where it
// starts and `k` the number of the break inside it.
const VeskNode *descendToBreak(const VeskNode *node, qint64 &k, qint64 &offset,
                               std::vector<const VeskNode *> *rightSubtrees)
{
    while (!node->isLeaf()) {
        const VeskNode *l = node->left().get();
        if (l->lineBreakCount() >= k) {
            if (rightSubtrees) {
                rightSubtrees->push_back(node->right().get());
            }
            node = l;
        } else {
            k -= l->lineBreakCount();
            offset += l->length();
            node = node->right().get();
        }
    }
    return node;
}

const VeskNode *leftmostLeaf(const VeskNode *node, std::vector<const VeskNode *> &rightSubtrees)
{
    while (!node->isLeaf()) {
        rightSubtrees.push_back(node->right().get());
        node = node->left().get();
    }
    return node;
}

} // namespace

VeskNode::VeskNode(Token, TextChunk chunk, qint64 knownClusters)
    : m_kind(Leaf{std::move(chunk)})
{
    const TextChunk::Stats st = std::get<Leaf>(m_kind).chunk.stats(knownClusters);
    m_length = st.clusters;
    m_lineFeeds = st.lineFeeds;
    m_lineBreaks = st.lineBreaks;
    m_paragraphBreaks = st.paragraphBreaks;
    m_lineSeparators = st.lineSeparators;
    m_units = std::get<Leaf>(m_kind).chunk.unitCount();
}

VeskNode::VeskNode(Token, VeskNodePtr left, VeskNodePtr right)
    : m_kind(Branch{std::move(left), std::move(right)})
{
    const VeskNode &l = *this->left();
    const VeskNode &r = *this->right();
    m_length = l.m_length + r.m_length;
    m_lineFeeds = l.m_lineFeeds + r.m_lineFeeds;
    m_lineBreaks = l.m_lineBreaks + r.m_lineBreaks;
    m_paragraphBreaks = l.m_paragraphBreaks + r.m_paragraphBreaks;
    m_lineSeparators = l.m_lineSeparators + r.m_lineSeparators;
    m_units = l.m_units + r.m_units;
    m_height = std::max(l.m_height, r.m_height) + 1;
}

VeskNodePtr VeskNode::makeLeaf(QStringView text)
{
    return makeLeaf(TextChunk(text));
}

VeskNodePtr VeskNode::makeLeaf(TextChunk chunk, qint64 knownClusters)
{
    return std::make_shared<const VeskNode>(Token{}, std::move(chunk), knownClusters);
}

VeskNodePtr VeskNode::makeBranch(VeskNodePtr left, VeskNodePtr right)
{
    return std::make_shared<const VeskNode>(Token{}, std::move(left), std::move(right));
}

const VeskNodePtr &VeskNode::emptyLeaf()
{
    static const VeskNodePtr empty = makeLeaf(TextChunk());
    return empty;
}

VeskNodePtr VeskNode::build(QStringView text)
{
    if (text.isEmpty()) {
        return emptyLeaf();
    }
    if (isAsciiWithoutCr(text)) {
        return buildSimple(text);
    }
    // One segmentation pass counts the clusters (the halving needs the total) and marks where
    // they are, so cutting the leaves re-segments only short stretches.
    const ClusterMarks marks(text);
    const qint64 n = marks.count();
    std::vector<qint64> sizes;
    halvedLeafSizes(n, sizes);
    std::vector<VeskNodePtr> leaves;
    leaves.reserve(sizes.size());
    qint64 cluster = 0;
    qsizetype start = 0;
    for (const qint64 size : sizes) {
        cluster += size;
        const qsizetype end = cluster == n ? text.size() : marks.unitOf(cluster);
        leaves.push_back(makeLeaf(TextChunk(text.sliced(start, end - start)), size));
        start = end;
    }
    size_t next = 0;
    return assembleHalved(n, leaves, next);
}

VeskNodePtr VeskNode::buildUtf8(QByteArrayView utf8)
{
    if (utf8.isEmpty()) {
        return emptyLeaf();
    }
    if (isAsciiWithoutCr(utf8)) {
        return buildSimple(utf8);
    }
    return build(QString::fromUtf8(utf8));
}

VeskNodePtr VeskNode::concat(const VeskNodePtr &a, const VeskNodePtr &b)
{
    if (a->length() == 0) {
        return b;
    }
    if (b->length() == 0) {
        return a;
    }
    const VeskNode *x = lastLeaf(a.get());
    const VeskNode *y = firstLeaf(b.get());
    if (seamIsStable(x->chunk(), y->chunk())) {
        return join(a, b);
    }
    // The two leaves at the seam regroup: segment them again as one text. Regrouping can run
    // on into the next leaf (regional indicators), so the new piece is joined the same way.
    const VeskNodePtr before = split(a, a->length() - x->length()).first;
    const VeskNodePtr after = split(b, y->length()).second;
    const VeskNodePtr merged = build(x->chunk().toString() + y->chunk().toString());
    return join(before, concat(merged, after));
}

std::pair<VeskNodePtr, VeskNodePtr> VeskNode::split(const VeskNodePtr &node, qint64 offset)
{
    if (offset < 1) {
        return {emptyLeaf(), node};
    }
    if (offset >= node->length()) {
        return {node, emptyLeaf()};
    }
    if (node->isLeaf()) {
        const TextChunk &chunk = node->chunk();
        const qsizetype cut = chunk.unitOffsetOfCluster(offset);
        return {makeLeaf(chunk.midUnits(0, cut)), makeLeaf(chunk.midUnits(cut))};
    }
    const qint64 w = node->weight();
    if (offset < w) {
        auto [l1, l2] = split(node->left(), offset);
        return {l1, join(l2, node->right())};
    }
    if (offset == w) {
        return {node->left(), node->right()};
    }
    auto [r1, r2] = split(node->right(), offset - w);
    return {join(node->left(), r1), r2};
}

VeskNodePtr VeskNode::replaceRange(const VeskNodePtr &root, qint64 from, qint64 to, QStringView text)
{
    auto [left, rest] = split(root, from);
    VeskNodePtr right = split(rest, to - std::max<qint64>(from, 0)).second;
    VeskNodePtr middle = build(text);
    qint64 mergedLength = middle->length();
    QString merged;
    if (left->length() > 0) {
        const VeskNode *x = lastLeaf(left.get());
        if (mergedLength + x->length() <= maxLeafLength) {
            merged = x->chunk().toString();
            mergedLength += x->length();
            left = split(left, left->length() - x->length()).first;  // may free x
        }
    }
    merged += text;
    if (right->length() > 0) {
        const VeskNode *y = firstLeaf(right.get());
        if (mergedLength + y->length() <= maxLeafLength) {
            y->chunk().appendTo(merged);
            mergedLength += y->length();
            right = split(right, y->length()).second;  // may free y
        }
    }
    if (mergedLength != middle->length()) {
        middle = build(merged);
    }
    return concat(concat(left, middle), right);
}

QString VeskNode::text() const
{
    QString out;
    out.reserve(m_units);
    appendText(this, out);
    return out;
}

QByteArray VeskNode::toUtf8() const
{
    QByteArray out;
    out.reserve(m_units);
    appendUtf8(this, out);
    return out;
}

VeskNode::LineInfo VeskNode::lineInfo(qint64 line) const
{
    LineInfo info;
    if (line < 0 || line > m_lineBreaks) {
        return info;
    }
    std::vector<const VeskNode *> rightSubtrees;
    qint64 k = line;
    const VeskNode *leaf = descendToBreak(this, k, info.offset, &rightSubtrees);
    const qsizetype start = leaf->chunk().unitAfterBreak(k);
    info.offset += leaf->chunk().clustersBeforeUnit(start);
    qsizetype end = leaf->chunk().appendLineFrom(start, info.content);
    while (end < 0 && !rightSubtrees.empty()) {
        const VeskNode *next = rightSubtrees.back();
        rightSubtrees.pop_back();
        leaf = leftmostLeaf(next, rightSubtrees);
        end = leaf->chunk().appendLineFrom(0, info.content);
    }
    return info;
}

qint64 VeskNode::lineStartOffset(qint64 line) const
{
    if (line < 0 || line > m_lineBreaks) {
        return -1;
    }
    qint64 k = line;
    qint64 offset = 0;
    const VeskNode *leaf = descendToBreak(this, k, offset, nullptr);
    return offset + leaf->chunk().clustersBeforeUnit(leaf->chunk().unitAfterBreak(k));
}

qint64 VeskNode::lineOfOffset(qint64 offset) const
{
    offset = std::clamp<qint64>(offset, 0, m_length);
    qint64 line = 0;
    const VeskNode *node = this;
    while (!node->isLeaf()) {
        const VeskNode *l = node->left().get();
        if (offset < l->m_length) {
            node = l;
        } else {
            offset -= l->m_length;
            line += l->m_lineBreaks;
            node = node->right().get();
        }
    }
    const TextChunk &chunk = node->chunk();
    const qsizetype end = chunk.unitOffsetOfCluster(offset);
    for (qsizetype i = 0; i < end; ++i) {
        const char16_t c = chunk.unitAt(i);
        line += (c == u'\n' || c == 0x2028 || c == 0x2029) ? 1 : 0;
    }
    return line;
}

qint64 VeskNode::paragraphBreaksBefore(qint64 line) const
{
    qint64 k = std::min(line, m_lineBreaks);
    qint64 count = 0;
    if (k <= 0 || m_paragraphBreaks == 0) {
        return 0;
    }
    const VeskNode *node = this;
    while (!node->isLeaf()) {
        const VeskNode *l = node->left().get();
        if (l->m_lineBreaks >= k) {
            node = l;
        } else {
            k -= l->m_lineBreaks;
            count += l->m_paragraphBreaks;
            node = node->right().get();
        }
    }
    return count + node->chunk().paragraphBreaksAmongFirst(k);
}

std::vector<qint64> VeskNode::paragraphBreakLines() const
{
    std::vector<qint64> result;
    if (m_paragraphBreaks == 0) {
        return result;
    }
    std::vector<const VeskNode *> pending{this};
    qint64 line = 0;
    while (!pending.empty()) {
        const VeskNode *node = pending.back();
        pending.pop_back();
        if (node->m_paragraphBreaks == 0) {
            line += node->m_lineBreaks;
            continue;
        }
        if (!node->isLeaf()) {
            pending.push_back(node->right().get());
            pending.push_back(node->left().get());
            continue;
        }
        const TextChunk &chunk = node->chunk();
        for (qsizetype i = 0, n = chunk.unitCount(); i < n; ++i) {
            const char16_t c = chunk.unitAt(i);
            if (c == 0x2029) {
                result.push_back(line);
            }
            if (c == u'\n' || c == 0x2028 || c == 0x2029) {
                ++line;
            }
        }
    }
    return result;
}

LineReader::LineReader(VeskNodePtr root)
    : m_root(std::move(root))
{
    m_stack.push_back(m_root.get());
}

bool LineReader::nextLeaf()
{
    if (m_stack.empty()) {
        return false;
    }
    const VeskNode *node = m_stack.back();
    m_stack.pop_back();
    m_leaf = leftmostLeaf(node, m_stack);
    m_unit = 0;
    return true;
}

bool LineReader::next(QString &line)
{
    if (m_done) {
        return false;
    }
    line.clear();
    for (;;) {
        if (!m_leaf && !nextLeaf()) {
            m_done = true;
            return true;
        }
        const qsizetype end = m_leaf->chunk().appendLineFrom(m_unit, line);
        if (end >= 0) {
            m_unit = end;
            return true;
        }
        m_leaf = nullptr;
    }
}

} // namespace vesk
