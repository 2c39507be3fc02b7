#include "text/line_diff.h"

#include "text/text_lines.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <vector>

namespace vesk {

namespace {

// Walks the code units of a tree from one end, leaf by leaf, and can step over a whole subtree
// at once: that is how two versions of a text skip everything they still share.
class UnitWalk
{
public:
    UnitWalk(const VeskNode *root, bool backward)
        : m_backward(backward)
    {
        m_pending.push_back(root);
    }

    bool atEnd() const { return !m_leaf && m_pending.empty(); }
    bool atBoundary() const { return !m_leaf; }
    const VeskNode *next() const { return m_pending.back(); }
    void skipNext() { m_pending.pop_back(); }
    // Splits the next node one level, or takes it as the current leaf.
    void open()
    {
        const VeskNode *node = m_pending.back();
        m_pending.pop_back();
        if (node->isLeaf()) {
            if (node->unitCount() > 0) {
                m_leaf = node;
                m_position = 0;
            }
            return;
        }
        m_pending.push_back(m_backward ? node->left().get() : node->right().get());
        m_pending.push_back(m_backward ? node->right().get() : node->left().get());
    }
    qsizetype remaining() const { return m_leaf->unitCount() - m_position; }
    char16_t unit(qsizetype ahead) const
    {
        const qsizetype i = m_position + ahead;
        return m_leaf->chunk().unitAt(m_backward ? m_leaf->unitCount() - 1 - i : i);
    }
    void advance(qsizetype units)
    {
        m_position += units;
        if (m_position >= m_leaf->unitCount()) {
            m_leaf = nullptr;
        }
    }

private:
    bool m_backward;
    std::vector<const VeskNode *> m_pending;  // the next node last
    const VeskNode *m_leaf = nullptr;
    qsizetype m_position = 0;
};

// How many code units the two texts share from the start (or from the end).
qint64 commonUnits(const VeskNode *a, const VeskNode *b, bool backward)
{
    UnitWalk x(a, backward);
    UnitWalk y(b, backward);
    qint64 common = 0;
    while (!x.atEnd() && !y.atEnd()) {
        if (x.atBoundary() && y.atBoundary()) {
            if (x.next() == y.next()) {
                common += x.next()->unitCount();
                x.skipNext();
                y.skipNext();
            } else if (x.next()->unitCount() >= y.next()->unitCount()) {
                x.open();
            } else {
                y.open();
            }
            continue;
        }
        if (x.atBoundary()) {
            x.open();
            continue;
        }
        if (y.atBoundary()) {
            y.open();
            continue;
        }
        const qsizetype n = std::min(x.remaining(), y.remaining());
        for (qsizetype i = 0; i < n; ++i) {
            if (x.unit(i) != y.unit(i)) {
                return common + i;
            }
        }
        common += n;
        x.advance(n);
        y.advance(n);
    }
    return common;
}

bool isBreakUnit(char16_t unit)
{
    return unit == u'\n' || unit == 0x2028 || unit == 0x2029;
}

// Line breaks that end before code unit `units` (every break ends in one of three units).
qint64 breaksBeforeUnit(const VeskNode *node, qint64 units)
{
    qint64 breaks = 0;
    while (!node->isLeaf()) {
        const qint64 leftUnits = node->left()->unitCount();
        if (units >= leftUnits) {
            breaks += node->left()->lineBreakCount();
            units -= leftUnits;
            node = node->right().get();
        } else {
            node = node->left().get();
        }
    }
    const TextChunk &chunk = node->chunk();
    for (qsizetype i = 0; i < std::min<qint64>(units, chunk.unitCount()); ++i) {
        breaks += isBreakUnit(chunk.unitAt(i));
    }
    return breaks;
}

// Lines [from, to) of a text. A final empty line is left out: a last line break ends the last
// line rather than starting an empty one, as the files the external diff compares see it.
std::vector<QString> linesOf(const VeskNodePtr &root, qint64 from, qint64 to)
{
    std::vector<QString> lines;
    for (qint64 line = from; line < to; ++line) {
        lines.push_back(root->lineText(line));
    }
    if (to == root->lines() && !lines.empty() && lines.back().isEmpty()) {
        lines.pop_back();
    }
    return lines;
}

using Match = std::pair<qint64, qint64>;

// Myers' greedy search over a[lo..] and b[lo..] up to their ends minus the common tail; returns
// the matched pairs, or false when more than maxEdits edits are needed.
class ShortestEdit
{
public:
    // `a` and `b` are differing stretches, which start at lines `aStart` and `bStart` of the texts.
    ShortestEdit(const std::vector<QString> &a, const std::vector<QString> &b, qint64 aStart, qint64 bStart)
        : m_a(a)
        , m_b(b)
        , m_aStart(aStart)
        , m_bStart(bStart)
        , m_n(qint64(a.size()))
        , m_m(qint64(b.size()))
    {
    }

    bool run(qint64 maxEdits, std::vector<Match> &matches)
    {
        const qint64 limit = std::min(maxEdits, m_n + m_m);
        std::vector<qint64> v(size_t(2 * limit + 3), 0);
        const qint64 offset = limit + 1;
        std::vector<std::vector<qint64>> trace;
        for (qint64 d = 0; d <= limit; ++d) {
            for (qint64 k = -d; k <= d; k += 2) {
                qint64 x = (k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1])) ? v[offset + k + 1]
                                                                                          : v[offset + k - 1] + 1;
                qint64 y = x - k;
                while (x < m_n && y < m_m && equal(x, y)) {
                    ++x;
                    ++y;
                }
                v[offset + k] = x;
                if (x >= m_n && y >= m_m) {
                    trace.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
                    backtrack(trace, d, matches);
                    return true;
                }
            }
            trace.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
        }
        return false;
    }

private:
    bool equal(qint64 x, qint64 y) const { return linesEqual(m_a[size_t(x)], m_b[size_t(y)]); }

    // trace[d][k + d] is the furthest x on diagonal k after d edits.
    void backtrack(const std::vector<std::vector<qint64>> &trace, qint64 edits, std::vector<Match> &matches) const
    {
        std::vector<Match> reversed;
        qint64 x = m_n;
        qint64 y = m_m;
        for (qint64 d = edits; d > 0; --d) {
            const std::vector<qint64> &previous = trace[size_t(d - 1)];
            const auto at = [&](qint64 k) { return previous[size_t(k + d - 1)]; };
            const qint64 k = x - y;
            const qint64 prevK = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? k + 1 : k - 1;
            const qint64 prevX = at(prevK);
            const qint64 prevY = prevX - prevK;
            const qint64 startX = prevK == k + 1 ? prevX : prevX + 1;  // after the one edit
            while (x > startX) {
                reversed.emplace_back(m_aStart + x - 1, m_bStart + y - 1);
                --x;
                --y;
            }
            x = prevX;
            y = prevY;
        }
        while (x > 0 && y > 0) {
            reversed.emplace_back(m_aStart + x - 1, m_bStart + y - 1);
            --x;
            --y;
        }
        matches.insert(matches.end(), reversed.rbegin(), reversed.rend());
    }

    const std::vector<QString> &m_a;
    const std::vector<QString> &m_b;
    qint64 m_aStart;
    qint64 m_bStart;
    qint64 m_n;
    qint64 m_m;
};

// Subtrees at least this large that both texts hold are taken as matched without a look at
// their lines; smaller texts are searched line by line throughout.
constexpr qint64 anchorUnits = qint64(1) << 16;

// A run of `count` whole lines that both texts hold, from line `a` of one and `b` of the other.
struct LineRun
{
    qint64 a = 0;
    qint64 b = 0;
    qint64 count = 0;
};

void collectLargeNodes(const VeskNode *node, qint64 offset, QHash<const VeskNode *, qint64> &into)
{
    if (node->unitCount() < anchorUnits) {
        return;
    }
    into.insert(node, offset);
    if (!node->isLeaf()) {
        collectLargeNodes(node->left().get(), offset, into);
        collectLargeNodes(node->right().get(), offset + node->left()->unitCount(), into);
    }
}

// The largest subtrees of `b` that `a` holds too, in text order, as unit ranges of both.
void findSharedNodes(const VeskNode *node, qint64 offset, const QHash<const VeskNode *, qint64> &inA,
                     std::vector<std::array<qint64, 3>> &shared)
{
    if (node->unitCount() < anchorUnits) {
        return;
    }
    if (const auto found = inA.constFind(node); found != inA.cend()) {
        shared.push_back({*found, offset, node->unitCount()});
        return;
    }
    if (!node->isLeaf()) {
        findSharedNodes(node->left().get(), offset, inA, shared);
        findSharedNodes(node->right().get(), offset + node->left()->unitCount(), inA, shared);
    }
}

// Line runs held by large subtrees both texts share (two versions of one text share most of
// theirs), in order in both texts and within lines [aFrom, aTo) and [bFrom, bTo).
std::vector<LineRun> sharedLineRuns(const VeskNodePtr &a, const VeskNodePtr &b, qint64 aFrom, qint64 aTo, qint64 bFrom,
                                    qint64 bTo)
{
    std::vector<LineRun> runs;
    if (a->unitCount() < anchorUnits || b->unitCount() < anchorUnits) {
        return runs;
    }
    QHash<const VeskNode *, qint64> inA;
    collectLargeNodes(a.get(), 0, inA);
    std::vector<std::array<qint64, 3>> shared;
    findSharedNodes(b.get(), 0, inA, shared);
    qint64 aDone = aFrom;
    qint64 bDone = bFrom;
    for (const auto &[aOffset, bOffset, units] : shared) {
        // The lines that start after the first break inside the subtree and end inside it.
        LineRun run{breaksBeforeUnit(a.get(), aOffset) + 1, breaksBeforeUnit(b.get(), bOffset) + 1, 0};
        run.count = breaksBeforeUnit(a.get(), aOffset + units) - run.a;
        const qint64 skip = std::max({qint64(0), aDone - run.a, bDone - run.b});
        run.a += skip;
        run.b += skip;
        run.count = std::min({run.count - skip, aTo - run.a, bTo - run.b});
        if (run.count > 0) {
            runs.push_back(run);
            aDone = run.a + run.count;
            bDone = run.b + run.count;
        }
    }
    return runs;
}

} // namespace

qint64 commonPrefixUnits(const VeskNodePtr &a, const VeskNodePtr &b)
{
    return a == b ? a->unitCount() : commonUnits(a.get(), b.get(), false);
}

CommonLines commonLines(const VeskNodePtr &a, const VeskNodePtr &b)
{
    if (a == b) {
        return {a->lines() - 1, 1, true};
    }
    const qint64 headUnits = commonUnits(a.get(), b.get(), false);
    if (headUnits == a->unitCount() && headUnits == b->unitCount()) {
        return {a->lines() - 1, 1, true};
    }
    const qint64 shortest = std::min(a->unitCount(), b->unitCount());
    const qint64 tailUnits = std::min(commonUnits(a.get(), b.get(), true), shortest - headUnits);
    const qint64 head = breaksBeforeUnit(a.get(), headUnits);
    const qint64 tail = std::min(a->lineBreakCount() - breaksBeforeUnit(a.get(), a->unitCount() - tailUnits),
                                 std::min(a->lines(), b->lines()) - head);
    return {head, tail, false};
}

VeskNodePtr shareCommonLines(const VeskNodePtr &baseline, const VeskNodePtr &text)
{
    const CommonLines common = commonLines(baseline, text);
    if (common.identical) {
        return text;
    }
    const auto span = [&common](const VeskNodePtr &root) {
        const qint64 from = root->lineStartOffset(common.head);
        const qint64 to = common.tail > 0 ? root->lineStartOffset(root->lines() - common.tail) : root->length();
        return std::pair{from, to};
    };
    // Both cuts lie just after a line break, where no character can straddle them.
    const auto [textFrom, textTo] = span(text);
    const auto [baseFrom, baseTo] = span(baseline);
    const auto [textHead, textRest] = VeskNode::split(text, textFrom);
    const VeskNodePtr textTail = VeskNode::split(textRest, textTo - textFrom).second;
    const VeskNodePtr middle = VeskNode::split(VeskNode::split(baseline, baseFrom).second, baseTo - baseFrom).first;
    return VeskNode::concat(VeskNode::concat(textHead, middle), textTail);
}

DiffResult lineDiffMarks(const VeskNodePtr &original, const VeskNodePtr &current, qint64 maxEdits)
{
    // Whole lines shared at the start and at the end need no line-by-line look, nor do the
    // runs of lines in large subtrees both texts share; the stretches between them are searched.
    const CommonLines common = commonLines(original, current);
    const qint64 head = common.head;
    const qint64 tail = common.tail;
    const qint64 n = original->lines();
    const qint64 m = current->lines();
    std::vector<LineRun> runs = sharedLineRuns(original, current, head, n - tail, head, m - tail);
    runs.push_back(LineRun{n - tail, m - tail, 0});

    std::vector<Match> matches;
    qint64 aFrom = head;
    qint64 bFrom = head;
    qint64 aSearchedEnd = head;  // where the last stretch's lines end (a final empty line left out)
    qint64 bSearchedEnd = head;
    for (const LineRun &run : runs) {
        const std::vector<QString> a = linesOf(original, aFrom, run.a);
        const std::vector<QString> b = linesOf(current, bFrom, run.b);
        ShortestEdit stretch(a, b, aFrom, bFrom);
        stretch.run(maxEdits, matches);  // a stretch too large to search stays unmatched
        aSearchedEnd = aFrom + qint64(a.size());
        bSearchedEnd = bFrom + qint64(b.size());
        for (qint64 k = 0; k < run.count; ++k) {
            matches.emplace_back(run.a + k, run.b + k);
        }
        aFrom = run.a + run.count;
        bFrom = run.b + run.count;
    }
    // Where the common tail starts (everything after it is matched), or the end of both texts,
    // where a final empty line left out of the last stretch counts as matched.
    if (tail > 0) {
        matches.emplace_back(n - tail, m - tail);
    } else {
        matches.emplace_back(aSearchedEnd, bSearchedEnd);
    }

    DiffResult result;
    qint64 lastA = head - 1;
    qint64 lastB = head - 1;
    for (const auto &[x, y] : matches) {
        if (x - lastA > 1) {
            result.deletedAfter.insert(lastB);
        }
        for (qint64 line = lastB + 1; line < y; ++line) {
            result.modified.insert(line);
        }
        lastA = x;
        lastB = y;
    }
    return result;
}

} // namespace vesk
