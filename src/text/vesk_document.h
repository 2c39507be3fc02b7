#pragma once

#include "text/baseline_diff.h"
#include "text/text_lines.h"
#include "text/vesk_node.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <any>
#include <deque>
#include <optional>

namespace vesk {

// One entry of the undo or redo stack: the text (and its marks) that undoing or redoing brings
// back, and the editor's carets before and after the step, which the document only keeps.
struct UndoStep
{
    VeskNodePtr root;
    DiffResult marks;
    std::any caretsBefore;
    std::any caretsAfter;
};

// The editable text of one open file: the current tree, undo and redo snapshots (whole roots
// that share untouched subtrees), and the lines marked as changed against a baseline.
//
// Announces willChange() before every store to vesk, modifiedLines, deletedAfterLines and
// originalLines; other fields change silently. Line queries go to the tree (O(height) per
// line); cachedLines() materializes every line and is meant for small texts and tests.
//
// Undo steps: every insert or delete outside a group is a step of its own; the edits between
// beginUndoGroup() and endUndoGroup() are one step, and a group may extend the step before it
// (typing that goes on where it stopped).
//
// Marks: an edit moves the marks below it with their lines at once and marks the lines it
// wrote; a moment after the last edit the exact marks are computed off the main thread and
// published if the text is still the one they were computed for (then marksSettled()).
class VeskDocument : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype maxUndoSnapshots = 200;
    static constexpr int defaultMarksPauseMs = 300;

    explicit VeskDocument(QStringView text = {}, QObject *parent = nullptr);
    // Takes an already built tree (a file read straight into a tree); it is also the baseline.
    explicit VeskDocument(VeskNodePtr root, QObject *parent = nullptr);

    static SplitLines splitLines(QStringView text) { return vesk::splitLines(text); }

    const VeskNodePtr &vesk() const { return m_vesk; }
    QString text() const { return m_vesk->text(); }
    qint64 length() const { return m_vesk->length(); }

    qint64 lineCount() const { return m_vesk->lines(); }
    QString line(qint64 index) const { return m_vesk->lineText(index); }
    VeskNode::LineInfo lineInfo(qint64 index) const { return m_vesk->lineInfo(index); }
    qint64 lineStartOffset(qint64 index) const { return m_vesk->lineStartOffset(index); }
    const QStringList &cachedLines() const;
    bool hasCachedLines() const { return m_cachedLines.has_value(); }
    QSet<qint64> paragraphBreaks() const;
    qint64 paragraphBreaksBefore(qint64 line) const { return m_vesk->paragraphBreaksBefore(line); }

    const QSet<qint64> &modifiedLines() const { return m_modifiedLines; }
    const QSet<qint64> &deletedAfterLines() const { return m_deletedAfterLines; }
    const VeskNodePtr &original() const { return m_original; }
    qint64 originalLineCount() const { return m_original->lines(); }
    QString originalLine(qint64 index) const { return m_original->lineText(index); }
    QStringList originalLines() const;
    const DiffResult &baseDiff() const { return m_baseDiff; }

    const QSet<qint64> &userEditedLines() const { return m_userEditedLines; }
    // Editing commands record the lines they write before changing the text.
    void addUserEditedLine(qint64 line);

    const std::deque<UndoStep> &undoStack() const { return m_undoStack; }
    const std::deque<UndoStep> &redoStack() const { return m_redoStack; }

    // One undo step each (or part of the open group), even when nothing changes.
    void insert(QStringView text, qint64 offset);
    void deleteRange(qint64 from, qint64 to);
    // Restore the previous (next) text; return the carets recorded before (after) that step,
    // or nothing when there was no step.
    std::optional<std::any> undo();
    std::optional<std::any> redo();

    // Groups may nest; the outermost decides. `extendLast` joins the group's edits to the step
    // the previous group made, when nothing else (an undo, an edit outside a group) came between.
    void beginUndoGroup(std::any caretsBefore, bool extendLast = false);
    void endUndoGroup(std::any caretsAfter);

    // How long after the last edit the exact marks are computed; 0 computes them at the next
    // turn of the event loop.
    void setMarksPause(int milliseconds) { m_marksTimer.setInterval(milliseconds); }
    bool marksPending() const { return m_marksPending; }

    // Sets the baseline and recomputes the marks (may run the external diff, bounded in time).
    // `firstLineDiffers` marks line 0 whatever its text: the file and its baseline differ in
    // something the text does not show (a byte-order mark added or removed).
    void setOriginal(QStringView text);
    void setOriginal(const VeskNodePtr &baseline, bool firstLineDiffers = false);
    // Takes a baseline prepared off the main thread together with its `marks` against
    // `forText`; when the text has moved on since, the marks are recomputed after the pause.
    // Build it with prepareBaseline() so that it shares the text's subtrees.
    void adoptBaseline(const VeskNodePtr &baseline, bool firstLineDiffers, const VeskNodePtr &forText,
                       DiffResult marks);
    // A baseline that shares the lines it has in common with `text`, and its marks against
    // `text` (line 0 marked when `firstLineDiffers`). Any thread; as slow as reading both texts.
    static std::pair<VeskNodePtr, DiffResult> prepareBaseline(const VeskNodePtr &baseline, const VeskNodePtr &text,
                                                              bool firstLineDiffers);

Q_SIGNALS:
    void willChange();
    // The exact marks for the current text have been published.
    void marksSettled();

private:
    template <typename T>
    void publish(T &field, T value)
    {
        Q_EMIT willChange();
        field = std::move(value);
    }

    DiffResult currentMarks() const;
    void pushUndo();
    void replaceRange(qint64 from, qint64 to, QStringView text);
    void shiftMarks(qint64 from, qint64 to, QStringView inserted, const VeskNodePtr &before);
    std::optional<std::any> step(std::deque<UndoStep> &source, std::deque<UndoStep> &target, bool forward);
    void scheduleMarks();
    void computeMarks();
    void publishMarks(DiffResult marks);

    VeskNodePtr m_vesk;
    QSet<qint64> m_modifiedLines;
    QSet<qint64> m_deletedAfterLines;
    VeskNodePtr m_original;
    mutable std::optional<QStringList> m_cachedLines;
    std::deque<UndoStep> m_undoStack;
    std::deque<UndoStep> m_redoStack;
    DiffResult m_baseDiff;
    QSet<qint64> m_userEditedLines;

    int m_groupDepth = 0;
    bool m_groupStepMade = false;   // the open group has pushed or extended a step
    bool m_groupExtends = false;
    std::any m_groupCaretsBefore;
    bool m_lastStepExtendable = false;  // the top undo step is the last group's, untouched since

    QTimer m_marksTimer;
    bool m_marksPending = false;
    bool m_firstLineDiffers = false;
};

} // namespace vesk
