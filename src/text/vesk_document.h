#pragma once

#include "text/baseline_diff.h"
#include "text/text_lines.h"
#include "text/vesk_node.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <deque>
#include <optional>

namespace vesk {

// The editable text of one open file: the current tree, undo and redo snapshots (whole roots
// that share untouched subtrees), and the lines marked as changed against a baseline.
//
// Announces willChange() before every store to vesk, modifiedLines, deletedAfterLines and
// originalLines; other fields change silently. Line queries go to the tree (O(height) per
// line); cachedLines() materializes every line and is meant for small texts and tests.
class VeskDocument : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype maxUndoSnapshots = 200;

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

    const std::deque<VeskNodePtr> &undoStack() const { return m_undoStack; }
    const std::deque<VeskNodePtr> &redoStack() const { return m_redoStack; }

    // One undo step each, even when nothing changes.
    void insert(QStringView text, qint64 offset);
    void deleteRange(qint64 from, qint64 to);
    void undo();
    void redo();

    // Sets the baseline and recomputes the marks (may run the external diff, bounded in time).
    // `firstLineDiffers` marks line 0 whatever its text: the file and its baseline differ in
    // something the text does not show (a byte-order mark added or removed).
    void setOriginal(QStringView text);
    void setOriginal(const VeskNodePtr &baseline, bool firstLineDiffers = false);

Q_SIGNALS:
    void willChange();

private:
    template <typename T>
    void publish(T &field, T value)
    {
        Q_EMIT willChange();
        field = std::move(value);
    }

    void pushUndo();
    std::optional<qint64> lineChangedAlone(qint64 from, qint64 to, QStringView inserted) const;
    void replaceRoot(VeskNodePtr root, std::optional<qint64> onlyChangedLine = std::nullopt);
    void step(std::deque<VeskNodePtr> &source, std::deque<VeskNodePtr> &target);
    void recalcModifiedLines(std::optional<qint64> onlyChangedLine);
    bool isModifiedAgainstBaseline(qint64 line, qint64 lines) const;

    VeskNodePtr m_vesk;
    QSet<qint64> m_modifiedLines;
    QSet<qint64> m_deletedAfterLines;
    VeskNodePtr m_original;
    mutable std::optional<QStringList> m_cachedLines;
    std::deque<VeskNodePtr> m_undoStack;
    std::deque<VeskNodePtr> m_redoStack;
    DiffResult m_baseDiff;
    QSet<qint64> m_userEditedLines;

    // Lets an edit inside one line re-check only that line: m_modifiedLines is the full answer
    // for the current text, and the lines edited since then are waiting in m_newUserEditedLines.
    bool m_modifiedLinesComplete = false;
    QSet<qint64> m_newUserEditedLines;
    bool m_firstLineDiffers = false;
};

} // namespace vesk
