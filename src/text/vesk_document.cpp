#include "text/vesk_document.h"

#include <algorithm>

namespace vesk {

VeskDocument::VeskDocument(QStringView text, QObject *parent)
    : VeskDocument(VeskNode::build(text), parent)
{
}

VeskDocument::VeskDocument(VeskNodePtr root, QObject *parent)
    : QObject(parent)
    , m_vesk(std::move(root))
    , m_original(m_vesk)
{
}

const QStringList &VeskDocument::cachedLines() const
{
    if (!m_cachedLines) {
        QStringList lines;
        lines.reserve(m_vesk->lines());
        LineReader reader(m_vesk);
        QString line;
        while (reader.next(line)) {
            lines.append(line);
        }
        m_cachedLines = std::move(lines);
    }
    return *m_cachedLines;
}

QSet<qint64> VeskDocument::paragraphBreaks() const
{
    QSet<qint64> breaks;
    for (qint64 line : m_vesk->paragraphBreakLines()) {
        breaks.insert(line);
    }
    return breaks;
}

QStringList VeskDocument::originalLines() const
{
    QStringList lines;
    LineReader reader(m_original);
    QString line;
    while (reader.next(line)) {
        lines.append(line);
    }
    return lines;
}

void VeskDocument::pushUndo()
{
    m_undoStack.push_back(m_vesk);
    while (qsizetype(m_undoStack.size()) > maxUndoSnapshots) {
        m_undoStack.pop_front();
    }
    m_redoStack.clear();
}

void VeskDocument::replaceRoot(VeskNodePtr root)
{
    publish(m_vesk, std::move(root));
    m_cachedLines.reset();
    recalcModifiedLines();
}

void VeskDocument::insert(QStringView text, qint64 offset)
{
    pushUndo();
    replaceRoot(VeskNode::replaceRange(m_vesk, offset, offset, text));
}

void VeskDocument::deleteRange(qint64 from, qint64 to)
{
    pushUndo();
    // A range reaching before the start removes from the start, never more than it names.
    from = std::clamp<qint64>(from, 0, m_vesk->length());
    replaceRoot(VeskNode::replaceRange(m_vesk, from, to, {}));
}

void VeskDocument::step(std::deque<VeskNodePtr> &source, std::deque<VeskNodePtr> &target)
{
    if (source.empty()) {
        return;
    }
    VeskNodePtr snapshot = std::move(source.back());
    source.pop_back();
    target.push_back(m_vesk);
    replaceRoot(std::move(snapshot));
}

void VeskDocument::undo()
{
    step(m_undoStack, m_redoStack);
}

void VeskDocument::redo()
{
    step(m_redoStack, m_undoStack);
}

void VeskDocument::setOriginal(QStringView text)
{
    setOriginal(VeskNode::build(text));
}

void VeskDocument::setOriginal(const VeskNodePtr &baseline)
{
    publish(m_original, baseline);
    m_userEditedLines.clear();
    m_baseDiff = baseline::computeDiff(m_original, m_vesk);
    publish(m_modifiedLines, m_baseDiff.modified);
    publish(m_deletedAfterLines, m_baseDiff.deletedAfter);
}

void VeskDocument::recalcModifiedLines()
{
    const qint64 lines = m_vesk->lines();
    const qint64 originalLines = m_original->lines();
    QSet<qint64> result;
    auto consider = [&](qint64 e) {
        if (e < 0 || e >= lines || result.contains(e)) {
            return;
        }
        if (e >= originalLines || !linesEqual(m_vesk->lineText(e), m_original->lineText(e))) {
            result.insert(e);
        }
    };
    for (qint64 e : m_baseDiff.modified) {
        consider(e);
    }
    for (qint64 e : m_userEditedLines) {
        consider(e);
    }
    for (qint64 e = originalLines; e < lines; ++e) {
        result.insert(e);
    }
    publish(m_modifiedLines, std::move(result));
    publish(m_deletedAfterLines, m_baseDiff.deletedAfter);
}

} // namespace vesk
