#include "text/tree_builder.h"

#include "text/grapheme.h"
#include "text/utf8.h"

#include <algorithm>

namespace vesk {

namespace {

bool isContinuation(char c)
{
    return (uchar(c) & 0xC0) == 0x80;
}

VeskNodePtr leafFromUtf8(QByteArrayView bytes)
{
    uchar acc = 0;
    for (const char c : bytes) {
        acc |= uchar(c);
    }
    if (acc < 0x80) {
        return VeskNode::makeLeaf(TextChunk::fromAscii(bytes.toByteArray()));
    }
    return VeskNode::makeLeaf(TextChunk(QString::fromUtf8(bytes)));
}

// The length of the bytes without a character that the end cuts short (the bytes are known to
// be well-formed as far as they go).
qsizetype completeLength(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype i = n - 1; i >= 0 && i >= n - 4; --i) {
        const uchar c = uchar(bytes[i]);
        if ((c & 0xC0) == 0x80) {
            continue;
        }
        const qsizetype length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        return i + length <= n ? n : i;
    }
    return n;
}

VeskNodePtr assembleRange(const std::vector<VeskNodePtr> &leaves, size_t from, size_t to)
{
    if (to - from == 1) {
        return leaves[from];
    }
    const size_t middle = from + (to - from) / 2;
    return VeskNode::makeBranch(assembleRange(leaves, from, middle), assembleRange(leaves, middle, to));
}

} // namespace

TreeBuilder::TreeBuilder(qsizetype leafBytes)
    : m_leafBytes(std::max<qsizetype>(leafBytes, 4))
{
}

VeskNodePtr TreeBuilder::assemble(const std::vector<VeskNodePtr> &leaves)
{
    return leaves.empty() ? VeskNode::emptyLeaf() : assembleRange(leaves, 0, leaves.size());
}

bool TreeBuilder::append(QByteArrayView piece)
{
    if (m_failed) {
        return false;
    }
    m_taken += piece.size();
    QByteArrayView data = piece;
    QByteArray joined;
    if (!m_tail.isEmpty()) {
        joined.reserve(m_tail.size() + piece.size());
        joined.append(m_tail).append(piece);
        data = joined;
    }
    // A character cut by the piece's end is checked again, whole, with the next piece.
    if (scanUtf8(data, Utf8Ending::mayBeCut) == Utf8Kind::invalid) {
        m_failed = true;
        m_tail.clear();
        m_leaves.clear();
        return false;
    }
    qsizetype consumed = 0;
    makeLeaves(data.first(completeLength(data)), false, consumed);
    m_tail = data.sliced(consumed).toByteArray();
    return true;
}

VeskNodePtr TreeBuilder::finish()
{
    if (!m_failed && scanUtf8(m_tail) == Utf8Kind::invalid) {
        m_failed = true;
    }
    if (m_failed) {
        m_leaves.clear();
        return {};
    }
    qsizetype consumed = 0;
    makeLeaves(m_tail, true, consumed);
    m_tail.clear();
    VeskNodePtr root = assemble(m_leaves);
    m_leaves.clear();
    return root;
}

VeskNodePtr TreeBuilder::builtSoFar() const
{
    return assemble(m_leaves);
}

void TreeBuilder::makeLeaves(QByteArrayView data, bool atEnd, qsizetype &consumed)
{
    qsizetype pos = 0;
    const qsizetype n = data.size();
    while (pos < n) {
        qsizetype cut;
        if (n - pos <= m_leafBytes) {
            if (!atEnd) {
                break;  // the cut needs to see what follows
            }
            cut = n;
        } else {
            cut = findCut(data, pos, atEnd);
            if (cut < 0) {
                break;
            }
        }
        m_leaves.push_back(leafFromUtf8(data.sliced(pos, cut - pos)));
        m_built += cut - pos;
        pos = cut;
    }
    consumed = pos;
}

// A cut in (pos, pos + leafBytes] that is a cluster boundary of the whole text, seeing at least
// the character just after it; -1 when more text is needed to find one.
qsizetype TreeBuilder::findCut(QByteArrayView data, qsizetype pos, bool atEnd) const
{
    const char *b = data.data();
    const qsizetype limit = pos + m_leafBytes;  // < data.size()
    const qsizetype half = pos + m_leafBytes / 2;
    // Nothing joins a line feed to what follows it.
    qsizetype lineEnd = -1;
    for (qsizetype q = limit - 1; q >= pos; --q) {
        if (b[q] == '\n') {
            lineEnd = q + 1;
            break;
        }
    }
    if (lineEnd >= half) {
        return lineEnd;
    }
    // Between two ASCII characters there is always a boundary, except inside CR LF.
    for (qsizetype c = limit; c > std::max(half, limit - 64); --c) {
        const uchar before = uchar(b[c - 1]);
        const uchar after = uchar(b[c]);
        if (before < 0x80 && after < 0x80 && !(before == '\r' && after == '\n')) {
            return c;
        }
    }
    if (lineEnd > pos) {
        return lineEnd;
    }
    return segmentedCut(data, pos, limit, atEnd);
}

// Segments from pos (a boundary) and takes the last boundary within the limit whose next
// character is known: whether a boundary lies before a character depends only on that
// character and the text before it.
qsizetype TreeBuilder::segmentedCut(QByteArrayView data, qsizetype pos, qsizetype limit, bool atEnd) const
{
    const char *b = data.data();
    const qsizetype n = data.size();
    for (qsizetype windowEnd = std::min(n, limit + 4);; windowEnd = n) {
        qsizetype end = windowEnd;
        while (end < n && isContinuation(b[end])) {
            --end;
        }
        const QByteArrayView window = data.sliced(pos, end - pos);
        const QString text = QString::fromUtf8(window);
        // Byte offset of each unit of `text`.
        std::vector<qsizetype> byteOf;
        byteOf.reserve(size_t(text.size()) + 1);
        for (qsizetype i = 0; i < window.size();) {
            const uchar lead = uchar(window[i]);
            const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            byteOf.push_back(i);
            if (length == 4) {
                byteOf.push_back(i);
            }
            i += length;
        }
        byteOf.push_back(window.size());
        qsizetype best = -1;
        const bool wholeRest = end == n;
        grapheme::forEachBoundary(text, [&](qsizetype unit) {
            const bool known = unit < text.size() || (wholeRest && atEnd);
            const qsizetype bytes = byteOf[size_t(unit)];
            if (!known || (best > 0 && pos + bytes > limit)) {
                return false;
            }
            best = pos + bytes;
            return pos + bytes < limit;
        });
        if (best > pos || windowEnd == n) {
            return best > pos ? best : -1;
        }
    }
}

} // namespace vesk
