#pragma once

// The slow, obviously right ways of the text model, for tests to compare the tree against.

#include "text/grapheme.h"
#include "text/tree_builder.h"
#include "text/vesk_node.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace vesk::test {

// Cluster boundaries of the whole flat text at once (the segmenter itself is checked against
// Unicode's own test data in tst_grapheme).
inline QList<qsizetype> referenceBoundaries(const QString &text)
{
    return grapheme::boundaries(text);
}

inline qint64 referenceLength(const QString &text)
{
    return referenceBoundaries(text).size() - 1;
}

// Unit position of a cluster offset, clamped to the text.
inline qsizetype referenceUnit(const QString &text, qint64 offset)
{
    const QList<qsizetype> b = referenceBoundaries(text);
    return b[std::clamp<qint64>(offset, 0, b.size() - 1)];
}

struct ReferenceLines
{
    QStringList lines;
    QList<qint64> offsets;
    QSet<qint64> paragraphBreaks;
};

// Walks the clusters, cutting at each of the four line breaks.
inline ReferenceLines referenceLines(const QString &text)
{
    ReferenceLines r;
    const QList<qsizetype> b = referenceBoundaries(text);
    QString current;
    qint64 lineStart = 0;
    for (qsizetype i = 0; i + 1 < b.size(); ++i) {
        const QStringView cluster = QStringView(text).sliced(b[i], b[i + 1] - b[i]);
        const bool paragraph = cluster == u"\u2029";
        if (cluster == u"\n" || cluster == u"\r\n" || cluster == u"\u2028" || paragraph) {
            r.lines.append(current);
            r.offsets.append(lineStart);
            if (paragraph) {
                r.paragraphBreaks.insert(r.lines.size() - 1);
            }
            current.clear();
            lineStart = i + 1;
        } else {
            current.append(cluster);
        }
    }
    r.lines.append(current);
    r.offsets.append(lineStart);
    return r;
}

// Visits the leaves in order.
inline void forEachLeaf(const VeskNodePtr &node, const std::function<void(const VeskNode &)> &fn)
{
    if (node->isLeaf()) {
        fn(*node);
        return;
    }
    forEachLeaf(node->left(), fn);
    forEachLeaf(node->right(), fn);
}

// Empty when the tree keeps its invariants, else what is wrong.
inline QString treeProblem(const VeskNodePtr &root)
{
    QString problem;
    std::function<void(const VeskNodePtr &)> check = [&](const VeskNodePtr &n) {
        if (!problem.isEmpty() || n->isLeaf()) {
            // Leaves read from a file may hold more clusters, up to a block of units (or one
            // cluster longer than that).
            if (n->isLeaf() && n->length() > VeskNode::maxLeafLength
                && n->unitCount() > TreeBuilder::defaultLeafBytes && n->length() > 1) {
                problem = QStringLiteral("leaf of %1 clusters").arg(n->length());
            }
            return;
        }
        check(n->left());
        check(n->right());
        const qint64 hl = n->left()->height();
        const qint64 hr = n->right()->height();
        if (std::abs(hl - hr) > 2) {
            problem = QStringLiteral("unbalanced branch %1/%2").arg(hl).arg(hr);
        } else if (n->height() != std::max(hl, hr) + 1 || n->weight() != n->left()->length()
                   || n->length() != n->left()->length() + n->right()->length()) {
            problem = QStringLiteral("branch fields disagree with children");
        }
    };
    check(root);
    if (!problem.isEmpty()) {
        return problem;
    }
    // Every leaf seam must be a cluster boundary of the whole text.
    const QString text = root->text();
    const QList<qsizetype> boundaries = referenceBoundaries(text);
    qsizetype unit = 0;
    forEachLeaf(root, [&](const VeskNode &leaf) {
        unit += leaf.chunk().unitCount();
        if (problem.isEmpty() && !boundaries.contains(unit)) {
            problem = QStringLiteral("leaf seam at unit %1 splits a cluster").arg(unit);
        }
    });
    return problem;
}

} // namespace vesk::test
