#pragma once

#include "text/vesk_node.h"

#include <tree_sitter/api.h>

#include <QString>

#include <optional>

namespace vesk {

// The text tree as the parser sees it: UTF-16 code units, two bytes each, with rows counted at
// every U+000A unit (so CR LF ends a row at its LF, and U+2028, U+2029 do not end one). These
// helpers answer in that measure from the tree's per-node counts, in O(height), without
// flattening the text.
namespace TreeUnits {

qint64 unitOfCluster(const VeskNode &root, qint64 cluster);
// First unit of a line as the document counts lines (all four line breaks).
qint64 lineStartUnit(const VeskNode &root, qint64 line);
// The line (as the document counts lines) that holds the unit.
qint64 lineOfUnit(const VeskNode &root, qint64 unit);
// Row and byte column of a unit offset, as the parser counts them.
TSPoint pointAtUnit(const VeskNode &root, qint64 unit);
// The units [from, to), clamped to the text.
QString textOfUnits(const VeskNode &root, qint64 from, qint64 to);
// The longest run of units between line breaks, stopping early once it exceeds `limit`.
qint64 longestLineUnits(const VeskNode &root, qint64 limit);

// The one edit that turns `before` into `after`: the common prefix and suffix, found by
// skipping the subtrees the two versions share. Empty when the texts are equal.
std::optional<TSInputEdit> editBetween(const VeskNodePtr &before, const VeskNodePtr &after);

} // namespace TreeUnits

// Feeds one snapshot of the text tree to the parser leaf by leaf. Holds the snapshot, so the
// document may move on while a parse runs on another thread.
class TreeTextInput
{
public:
    explicit TreeTextInput(VeskNodePtr root);
    TreeTextInput(const TreeTextInput &) = delete;
    TreeTextInput &operator=(const TreeTextInput &) = delete;

    TSInput input();

private:
    static const char *read(void *payload, uint32_t byteIndex, TSPoint position, uint32_t *bytesRead);
    const char *readAt(qint64 unit, uint32_t *bytesRead);

    VeskNodePtr m_root;
    const VeskNode *m_leaf = nullptr;  // the leaf last read, and where it starts
    qint64 m_leafStart = 0;
    QString m_buffer;  // that leaf's units
};

} // namespace vesk
