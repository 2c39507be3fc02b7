#include "text/vesk_document.h"

#include "platform/background.h"
#include "text/line_diff.h"

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
    m_marksTimer.setSingleShot(true);
    m_marksTimer.setInterval(defaultMarksPauseMs);
    connect(&m_marksTimer, &QTimer::timeout, this, &VeskDocument::computeMarks);
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

DiffResult VeskDocument::currentMarks() const
{
    return DiffResult{m_modifiedLines, m_deletedAfterLines};
}

void VeskDocument::pushUndo()
{
    if (m_groupDepth > 0) {
        if (m_groupStepMade) {
            return;
        }
        m_groupStepMade = true;
        if (m_groupExtends && m_lastStepExtendable && !m_undoStack.empty()) {
            m_redoStack.clear();
            return;
        }
        m_undoStack.push_back(UndoStep{m_vesk, currentMarks(), m_groupCaretsBefore, {}});
    } else {
        m_undoStack.push_back(UndoStep{m_vesk, currentMarks(), {}, {}});
        m_lastStepExtendable = false;
    }
    while (qsizetype(m_undoStack.size()) > maxUndoSnapshots) {
        m_undoStack.pop_front();
    }
    m_redoStack.clear();
}

void VeskDocument::beginUndoGroup(std::any caretsBefore, bool extendLast)
{
    if (m_groupDepth++ == 0) {
        m_groupStepMade = false;
        m_groupExtends = extendLast;
        m_groupCaretsBefore = std::move(caretsBefore);
    }
}

void VeskDocument::endUndoGroup(std::any caretsAfter)
{
    if (m_groupDepth == 0 || --m_groupDepth > 0) {
        return;
    }
    if (m_groupStepMade && !m_undoStack.empty()) {
        m_undoStack.back().caretsAfter = std::move(caretsAfter);
        m_lastStepExtendable = true;
    }
    m_groupCaretsBefore.reset();
}

void VeskDocument::addUserEditedLine(qint64 line)
{
    m_userEditedLines.insert(line);
}

void VeskDocument::replaceRange(qint64 from, qint64 to, QStringView text)
{
    const VeskNodePtr before = m_vesk;
    publish(m_vesk, VeskNode::replaceRange(m_vesk, from, to, text));
    m_cachedLines.reset();
    shiftMarks(from, to, text, before);
    scheduleMarks();
}

void VeskDocument::insert(QStringView text, qint64 offset)
{
    pushUndo();
    replaceRange(offset, offset, text);
}

void VeskDocument::deleteRange(qint64 from, qint64 to)
{
    pushUndo();
    // A range reaching before the start removes from the start, never more than it names.
    from = std::clamp<qint64>(from, 0, m_vesk->length());
    replaceRange(from, to, {});
}

namespace {

bool endsWithLineBreak(QStringView text)
{
    if (text.isEmpty()) {
        return false;
    }
    const QChar last = text.back();
    return last == u'\n' || last == QChar(0x2028) || last == QChar(0x2029);
}

} // namespace

// Moves the marks with their lines right away; the exact marks follow after a pause. Old lines
// [a, b] became new lines [a, b + delta]; whole lines put in or taken out at a line start leave
// the lines around them as they were.
void VeskDocument::shiftMarks(qint64 from, qint64 to, QStringView inserted, const VeskNodePtr &before)
{
    const qint64 length = before->length();
    from = std::clamp<qint64>(from, 0, length);
    to = std::clamp<qint64>(to, from, length);
    const qint64 delta = m_vesk->lines() - before->lines();
    const qint64 a = before->lineOfOffset(from);
    const qint64 b = to > from ? before->lineOfOffset(to) : a;
    const bool fromLineStart = before->lineStartOffset(a) == from;
    QSet<qint64> modified;
    QSet<qint64> deletedAfter;
    if (delta == 0) {
        bool allMarked = true;
        for (qint64 line = a; line <= b && allMarked; ++line) {
            allMarked = m_modifiedLines.contains(line);
        }
        if (allMarked) {
            return;  // typing on in a marked line: nothing to store
        }
        modified = m_modifiedLines;
        deletedAfter = m_deletedAfterLines;
        for (qint64 line = a; line <= b; ++line) {
            modified.insert(line);
        }
    } else if (to == from && fromLineStart && delta > 0 && endsWithLineBreak(inserted)) {
        for (qint64 m : std::as_const(m_modifiedLines)) {
            modified.insert(m >= a ? m + delta : m);
        }
        for (qint64 line = a; line < a + delta; ++line) {
            modified.insert(line);
        }
        for (qint64 d : std::as_const(m_deletedAfterLines)) {
            deletedAfter.insert(d >= a ? d + delta : d);
        }
    } else if (inserted.isEmpty() && fromLineStart && b > a && before->lineStartOffset(b) == to) {
        bool baselineLineRemoved = false;
        for (qint64 line = a; line < b && !baselineLineRemoved; ++line) {
            baselineLineRemoved = !m_modifiedLines.contains(line);
        }
        for (qint64 m : std::as_const(m_modifiedLines)) {
            if (m < a || m >= b) {
                modified.insert(m >= b ? m + delta : m);
            }
        }
        for (qint64 d : std::as_const(m_deletedAfterLines)) {
            deletedAfter.insert(d < a ? d : d >= b ? d + delta : a - 1);
        }
        if (baselineLineRemoved) {
            deletedAfter.insert(a - 1);
        }
    } else {
        for (qint64 m : std::as_const(m_modifiedLines)) {
            if (m < a || m > b) {
                modified.insert(m > b ? m + delta : m);
            }
        }
        for (qint64 line = a; line <= b + delta; ++line) {
            modified.insert(line);
        }
        for (qint64 d : std::as_const(m_deletedAfterLines)) {
            deletedAfter.insert(d < a ? d : d >= b ? d + delta : std::min(d, b + delta));
        }
    }
    publishMarks(DiffResult{std::move(modified), std::move(deletedAfter)});
}

void VeskDocument::publishMarks(DiffResult marks)
{
    if (marks.modified != m_modifiedLines) {
        publish(m_modifiedLines, std::move(marks.modified));
    }
    if (marks.deletedAfter != m_deletedAfterLines) {
        publish(m_deletedAfterLines, std::move(marks.deletedAfter));
    }
}

void VeskDocument::scheduleMarks()
{
    m_marksPending = true;
    m_marksTimer.start();
}

// The diff runs on a snapshot; its answer is dropped when the text or the baseline moved on
// meanwhile (a later edit has scheduled another run).
void VeskDocument::computeMarks()
{
    const VeskNodePtr original = m_original;
    const VeskNodePtr current = m_vesk;
    const bool firstLineDiffers = m_firstLineDiffers;
    runInBackground<DiffResult>(
        this, WorkPriority::Utility,
        [original, current, firstLineDiffers] {
            DiffResult marks = baseline::exactDiff(original, current);
            if (firstLineDiffers) {
                marks.modified.insert(0);
            }
            return marks;
        },
        [this, original, current](DiffResult marks) {
            if (m_vesk != current || m_original != original || m_marksTimer.isActive()) {
                return;
            }
            m_marksPending = false;
            publishMarks(std::move(marks));
            Q_EMIT marksSettled();
        });
}

std::optional<std::any> VeskDocument::step(std::deque<UndoStep> &source, std::deque<UndoStep> &target, bool forward)
{
    if (source.empty()) {
        return std::nullopt;
    }
    UndoStep restored = std::move(source.back());
    source.pop_back();
    target.push_back(UndoStep{m_vesk, currentMarks(), restored.caretsBefore, restored.caretsAfter});
    m_lastStepExtendable = false;
    publish(m_vesk, std::move(restored.root));
    m_cachedLines.reset();
    publishMarks(std::move(restored.marks));
    scheduleMarks();
    return forward ? std::move(restored.caretsAfter) : std::move(restored.caretsBefore);
}

std::optional<std::any> VeskDocument::undo()
{
    return step(m_undoStack, m_redoStack, false);
}

std::optional<std::any> VeskDocument::redo()
{
    return step(m_redoStack, m_undoStack, true);
}

void VeskDocument::setOriginal(QStringView text)
{
    setOriginal(VeskNode::build(text));
}

void VeskDocument::setOriginal(const VeskNodePtr &baseline, bool firstLineDiffers)
{
    // Sharing the text's subtrees lets every later recomputation skip the lines both still hold.
    publish(m_original, shareCommonLines(baseline, m_vesk));
    m_firstLineDiffers = firstLineDiffers;
    m_userEditedLines.clear();
    m_baseDiff = baseline::computeDiff(m_original, m_vesk);
    if (m_firstLineDiffers && m_vesk->lines() > 0) {
        m_baseDiff.modified.insert(0);
    }
    publish(m_modifiedLines, m_baseDiff.modified);
    publish(m_deletedAfterLines, m_baseDiff.deletedAfter);
    m_marksTimer.stop();
    if (std::exchange(m_marksPending, false)) {
        Q_EMIT marksSettled();
    }
}

std::pair<VeskNodePtr, DiffResult> VeskDocument::prepareBaseline(const VeskNodePtr &baseline,
                                                                  const VeskNodePtr &text, bool firstLineDiffers)
{
    std::pair<VeskNodePtr, DiffResult> prepared{shareCommonLines(baseline, text), {}};
    prepared.second = baseline::exactDiff(prepared.first, text);
    if (firstLineDiffers) {
        prepared.second.modified.insert(0);
    }
    return prepared;
}

void VeskDocument::adoptBaseline(const VeskNodePtr &baseline, bool firstLineDiffers, const VeskNodePtr &forText,
                                 DiffResult marks)
{
    publish(m_original, baseline);
    m_firstLineDiffers = firstLineDiffers;
    m_userEditedLines.clear();
    if (m_vesk != forText) {
        scheduleMarks();
        return;
    }
    m_baseDiff = marks;
    publishMarks(std::move(marks));
    m_marksTimer.stop();
    if (std::exchange(m_marksPending, false)) {
        Q_EMIT marksSettled();
    }
}

} // namespace vesk
