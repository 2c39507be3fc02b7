#pragma once

#include "text/vesk_node.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace vesk {

// Builds a text tree from UTF-8 that arrives in pieces, as a file is read block by block, so
// the file's bytes and its tree are never held whole at the same time. Each piece is checked as
// it comes; leaves are cut where a cluster boundary is certain whatever follows (after a line
// feed, between two ASCII characters other than CR LF, or where segmenting a window says so)
// and hold up to `leafBytes` bytes of the file, more only for a single cluster that long. The
// leaves keep the compact forms of TextChunk: plain ASCII and Latin-1 one byte per character.
class TreeBuilder
{
public:
    // Big enough that node overhead stays a few percent of the text; small enough that cutting
    // or scanning one leaf stays cheap.
    static constexpr qsizetype defaultLeafBytes = 4096;

    explicit TreeBuilder(qsizetype leafBytes = defaultLeafBytes);

    // Takes the next piece. False once the bytes so far are not well-formed UTF-8; after that
    // nothing more is taken.
    bool append(QByteArrayView piece);
    // Ends the text: the whole tree, or null when the text is not UTF-8 (it failed before, or it
    // stops inside a character).
    VeskNodePtr finish();

    bool failed() const { return m_failed; }
    // The tree of the text made into leaves so far: a prefix of the text that ends at a cluster
    // boundary. Cheap enough to ask now and then (it joins the leaves, sharing them).
    VeskNodePtr builtSoFar() const;
    // Bytes taken so far, the ones not yet made into leaves included.
    qint64 bytesTaken() const { return m_taken; }
    qint64 bytesBuilt() const { return m_built; }

    // A balanced tree over leaves in order (the empty leaf when there are none).
    static VeskNodePtr assemble(const std::vector<VeskNodePtr> &leaves);

private:
    void makeLeaves(QByteArrayView data, bool atEnd, qsizetype &consumed);
    qsizetype findCut(QByteArrayView data, qsizetype pos, bool atEnd) const;
    qsizetype segmentedCut(QByteArrayView data, qsizetype pos, qsizetype limit, bool atEnd) const;

    qsizetype m_leafBytes;
    std::vector<VeskNodePtr> m_leaves;
    QByteArray m_tail;  // taken, checked as far as it goes, not yet in a leaf
    qint64 m_taken = 0;
    qint64 m_built = 0;
    bool m_failed = false;
};

} // namespace vesk
