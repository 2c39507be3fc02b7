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

void VeskDocument::addUserEditedLine(qint64 line)
{
    if (!m_userEditedLines.contains(line)) {
        m_userEditedLines.insert(line);
        m_newUserEditedLines.insert(line);
    }
}

// The one line an edit changes when it neither removes nor inserts a line break, or nothing.
std::optional<qint64> VeskDocument::lineChangedAlone(qint64 from, qint64 to, QStringView inserted) const
{
    for (QChar c : inserted) {
        if (c == u'\n' || c == QChar(0x2028) || c == QChar(0x2029)) {
            return std::nullopt;
        }
    }
    const qint64 line = m_vesk->lineOfOffset(from);
    if (to > from && m_vesk->lineOfOffset(to) != line) {
        return std::nullopt;
    }
    return line;
}

void VeskDocument::replaceRoot(VeskNodePtr root, std::optional<qint64> onlyChangedLine)
{
    const qint64 linesBefore = m_vesk->lines();
    publish(m_vesk, std::move(root));
    m_cachedLines.reset();
    // A CR typed before an LF joins the break, and an edit can regroup the seam, so the line
    // count is checked after the fact as well.
    if (m_vesk->lines() != linesBefore) {
        onlyChangedLine.reset();
    }
    recalcModifiedLines(onlyChangedLine);
}

void VeskDocument::insert(QStringView text, qint64 offset)
{
    pushUndo();
    const std::optional<qint64> line = lineChangedAlone(offset, offset, text);
    replaceRoot(VeskNode::replaceRange(m_vesk, offset, offset, text), line);
}

void VeskDocument::deleteRange(qint64 from, qint64 to)
{
    pushUndo();
    // A range reaching before the start removes from the start, never more than it names.
    from = std::clamp<qint64>(from, 0, m_vesk->length());
    const std::optional<qint64> line = lineChangedAlone(from, to, {});
    replaceRoot(VeskNode::replaceRange(m_vesk, from, to, {}), line);
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

void VeskDocument::setOriginal(const VeskNodePtr &baseline, bool firstLineDiffers)
{
    publish(m_original, baseline);
    m_firstLineDiffers = firstLineDiffers;
    m_userEditedLines.clear();
    m_newUserEditedLines.clear();
    // The marks now come from the diff, which the positional rule of the next edit may not agree with.
    m_modifiedLinesComplete = false;
    m_baseDiff = baseline::computeDiff(m_original, m_vesk);
    if (m_firstLineDiffers && m_vesk->lines() > 0) {
        m_baseDiff.modified.insert(0);
    }
    publish(m_modifiedLines, m_baseDiff.modified);
    publish(m_deletedAfterLines, m_baseDiff.deletedAfter);
}

bool VeskDocument::isModifiedAgainstBaseline(qint64 line, qint64 lines) const
{
    if (line < 0 || line >= lines) {
        return false;
    }
    if (line == 0 && m_firstLineDiffers) {
        return true;
    }
    return line >= m_original->lines() || !linesEqual(m_vesk->lineText(line), m_original->lineText(line));
}

// Marks a line when it is a candidate (changed by the baseline diff or written by the user) and
// differs from the baseline line at the same index, plus every line past the baseline's end.
void VeskDocument::recalcModifiedLines(std::optional<qint64> onlyChangedLine)
{
    const qint64 lines = m_vesk->lines();
    QSet<qint64> result;
    auto isCandidate = [this](qint64 e) { return m_baseDiff.modified.contains(e) || m_userEditedLines.contains(e); };
    if (onlyChangedLine && m_modifiedLinesComplete) {
        result = m_modifiedLines;
        m_newUserEditedLines.insert(*onlyChangedLine);
        for (qint64 e : std::as_const(m_newUserEditedLines)) {
            result.remove(e);
            if (e >= m_original->lines() && e < lines) {
                result.insert(e);
            } else if (isCandidate(e) && isModifiedAgainstBaseline(e, lines)) {
                result.insert(e);
            }
        }
    } else {
        for (qint64 e : m_baseDiff.modified) {
            if (isModifiedAgainstBaseline(e, lines)) {
                result.insert(e);
            }
        }
        for (qint64 e : m_userEditedLines) {
            if (!result.contains(e) && isModifiedAgainstBaseline(e, lines)) {
                result.insert(e);
            }
        }
        for (qint64 e = m_original->lines(); e < lines; ++e) {
            result.insert(e);
        }
    }
    m_newUserEditedLines.clear();
    m_modifiedLinesComplete = true;
    publish(m_modifiedLines, std::move(result));
    publish(m_deletedAfterLines, m_baseDiff.deletedAfter);
}

} // namespace vesk
