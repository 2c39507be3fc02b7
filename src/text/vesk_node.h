#pragma once

#include "text/text_chunk.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <memory>
#include <utility>
#include <variant>
#include <vector>

namespace vesk {

class VeskNode;
using VeskNodePtr = std::shared_ptr<const VeskNode>;

// One immutable node of the text tree: a leaf holds a chunk of text, a branch joins two
// subtrees. Edits build a few new nodes and share every untouched subtree with earlier
// versions, so a whole-text snapshot is just a root pointer. Safe to read from any thread.
//
// Offsets and lengths count grapheme clusters. Every leaf boundary is also a cluster boundary
// of the whole text: concat() re-segments a seam where the two sides would form one cluster
// (a CR meeting an LF, a combining mark meeting its base letter), so the tree's offsets always
// agree with the flattened text.
//
// Besides the classic fields each node counts its line breaks of all four kinds, which answers
// line queries in O(height) without flattening.
class VeskNode
{
    struct Token
    {
    };

public:
    struct Leaf
    {
        TextChunk chunk;
    };
    struct Branch
    {
        VeskNodePtr left;
        VeskNodePtr right;
    };
    using Kind = std::variant<Leaf, Branch>;

    struct LineInfo
    {
        qint64 offset = 0;
        QString content;
        bool operator==(const LineInfo &) const = default;
    };

    static constexpr qint64 maxLeafLength = 512;

    VeskNode(Token, TextChunk chunk, qint64 knownClusters = -1);
    VeskNode(Token, VeskNodePtr left, VeskNodePtr right);

    static VeskNodePtr makeLeaf(QStringView text);
    // `knownClusters` spares segmenting the chunk again when the caller has counted already.
    static VeskNodePtr makeLeaf(TextChunk chunk, qint64 knownClusters = -1);
    static VeskNodePtr makeBranch(VeskNodePtr left, VeskNodePtr right);  // no balancing
    static const VeskNodePtr &emptyLeaf();

    // A balanced tree of leaves of at most 512 clusters.
    static VeskNodePtr build(QStringView text);
    // The same from UTF-8; plain ASCII is taken without going through UTF-16.
    static VeskNodePtr buildUtf8(QByteArrayView utf8);

    // Joins two trees, keeping the result balanced (heights of siblings differ by at most 2).
    static VeskNodePtr concat(const VeskNodePtr &a, const VeskNodePtr &b);
    // Left holds clusters [0, offset), right the rest.
    static std::pair<VeskNodePtr, VeskNodePtr> split(const VeskNodePtr &node, qint64 offset);
    // Replaces clusters [from, to) with `text` (an inverted range removes nothing). The leaves
    // around the edit absorb it while they fit one leaf, so typing or deleting one character at
    // a time does not leave a trail of tiny leaves behind.
    static VeskNodePtr replaceRange(const VeskNodePtr &root, qint64 from, qint64 to, QStringView text);

    const Kind &kind() const { return m_kind; }
    bool isLeaf() const { return std::holds_alternative<Leaf>(m_kind); }
    const TextChunk &chunk() const { return std::get<Leaf>(m_kind).chunk; }
    const VeskNodePtr &left() const { return std::get<Branch>(m_kind).left; }
    const VeskNodePtr &right() const { return std::get<Branch>(m_kind).right; }

    qint64 weight() const { return isLeaf() ? m_length : left()->m_length; }
    qint64 length() const { return m_length; }
    qint64 lineCount() const { return m_lineFeeds; }  // "\n" characters only
    qint64 height() const { return m_height; }
    qint64 lineBreakCount() const { return m_lineBreaks; }
    qint64 paragraphBreakCount() const { return m_paragraphBreaks; }
    qint64 unitCount() const { return m_units; }  // UTF-16 code units of the whole text
    // U+000A code units, alone or in CR LF: the line count a byte-oriented parser sees.
    qint64 newlineUnits() const { return m_lineBreaks - m_paragraphBreaks - m_lineSeparators; }

    QString text() const;
    QByteArray toUtf8() const;

    // Number of lines: one more than there are line breaks.
    qint64 lines() const { return m_lineBreaks + 1; }
    // Offset of the line's first character and its text without the break; (0, "") when the
    // line does not exist.
    LineInfo lineInfo(qint64 line) const;
    QString lineText(qint64 line) const { return lineInfo(line).content; }
    // Offset of the first character of `line`, or -1 when the line does not exist.
    qint64 lineStartOffset(qint64 line) const;
    // The line holding the character at `offset` (clamped to the text; the end of the text
    // belongs to the last line). A line break belongs to the line it ends.
    qint64 lineOfOffset(qint64 offset) const;
    // How many of the lines before `line` end with U+2029.
    qint64 paragraphBreaksBefore(qint64 line) const;
    // Line indices that end with U+2029, in increasing order.
    std::vector<qint64> paragraphBreakLines() const;

private:
    Kind m_kind;
    qint64 m_length = 0;
    qint64 m_lineFeeds = 0;
    qint64 m_lineBreaks = 0;
    qint64 m_paragraphBreaks = 0;
    qint64 m_lineSeparators = 0;
    qint64 m_units = 0;
    qint64 m_height = 0;
};

// Reads the lines of a tree in order, one at a time.
class LineReader
{
public:
    explicit LineReader(VeskNodePtr root);

    // Stores the next line and returns true, or returns false after the last line.
    bool next(QString &line);

private:
    bool nextLeaf();

    VeskNodePtr m_root;
    std::vector<const VeskNode *> m_stack;
    const VeskNode *m_leaf = nullptr;
    qsizetype m_unit = 0;
    bool m_done = false;
};

} // namespace vesk
