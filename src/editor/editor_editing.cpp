#include "editor/editor_view_model.h"

#include "editor/edit_scope.h"
#include "editor/line_chars.h"

#include <algorithm>

// Editing at the carets and undo.

namespace vesk {

namespace {

// The start of the word before `column` (white space before it skipped first).
qint64 wordStartBefore(const LineChars &chars, qint64 column)
{
    qint64 p = std::min(column, chars.size());
    while (p > 0 && chars.isWhiteSpace(p - 1)) {
        --p;
    }
    while (p > 0 && !chars.isWhiteSpace(p - 1)) {
        --p;
    }
    return p;
}

// The end of the word at or after `column`, with the white space after it.
qint64 wordEndAfter(const LineChars &chars, qint64 column)
{
    qint64 p = std::max<qint64>(column, 0);
    while (p < chars.size() && !chars.isWhiteSpace(p)) {
        ++p;
    }
    while (p < chars.size() && chars.isWhiteSpace(p)) {
        ++p;
    }
    return p;
}

// The leading spaces and tabs of a line.
QString leadingBlank(const QString &line)
{
    qsizetype n = 0;
    while (n < line.size() && (line[n] == u' ' || line[n] == u'\t')) {
        ++n;
    }
    return line.left(n);
}

} // namespace


void EditorViewModel::beginEdit(EditKind kind)
{
    if (m_editDepth++ > 0) {
        return;
    }
    m_goalColumns.clear();
    bool joins = false;
    if (kind != EditKind::Other && kind == m_lastEditKind && m_clock() - m_lastEditTime <= typingPauseMs
        && !m_document->undoStack().empty()) {
        const auto *after = std::any_cast<QList<TextCursor>>(&m_document->undoStack().back().caretsAfter);
        joins = after && *after == m_cursors;
    }
    m_editKind = kind;
    m_document->beginUndoGroup(m_cursors, joins);
}

void EditorViewModel::endEdit()
{
    if (m_editDepth == 0 || --m_editDepth > 0) {
        return;
    }
    m_document->endUndoGroup(m_cursors);
    m_lastEditKind = m_editKind;
    m_lastEditTime = m_clock();
}

void EditorViewModel::restoreCursors(const std::optional<std::any> &carets)
{
    if (!carets) {
        return;
    }
    endTypingRun();
    if (const auto *saved = std::any_cast<QList<TextCursor>>(&*carets); saved && !saved->isEmpty()) {
        publish(m_cursors, *saved);
    }
    // Carets of a step made without them, or anchors past a line's end, are kept inside the text.
    const qint64 lines = m_document->lineCount();
    Q_EMIT willChange();
    for (TextCursor &cursor : m_cursors) {
        cursor.line = std::clamp<qint64>(cursor.line, 0, std::max<qint64>(lines - 1, 0));
        cursor.column = std::clamp<qint64>(cursor.column, 0, lineLength(cursor.line));
        if (cursor.hasSelection()) {
            const qint64 anchorLine = std::clamp<qint64>(*cursor.selectionAnchorLine, 0, std::max<qint64>(lines - 1, 0));
            cursor.setAnchor(anchorLine, std::clamp<qint64>(*cursor.selectionAnchorColumn, 0, lineLength(anchorLine)));
        }
    }
    Q_EMIT revealCursorRequested();
}

void EditorViewModel::undo()
{
    if (m_load) {
        return;
    }
    restoreCursors(m_document->undo());
}

void EditorViewModel::redo()
{
    if (m_load) {
        return;
    }
    restoreCursors(m_document->redo());
}

void EditorViewModel::paste(const QString &text)
{
    EditScope edit(*this);
    if (selectedText()) {
        deleteSelection();
    }
    insertAtCursors(text);
}

// Visits the carets last first, so an edit never moves text before a caret still to come. For
// each caret on an existing line, `edit(line, column)` changes the text (column clamped to the
// line) and returns where the caret goes and the first old position after the edited text;
// every other caret at or after that position moves with the text.
template <typename Edit>
void EditorViewModel::editEachCursor(Edit edit)
{
    if (m_load) {
        return;  // the text is not complete yet: edits wait for it
    }
    for (qsizetype i : cursorIndicesLastFirst()) {
        const qint64 line = m_cursors[i].line;
        if (line < 0 || line >= m_document->lineCount()) {
            continue;
        }
        const qint64 column = std::clamp<qint64>(m_cursors[i].column, 0, lineLength(line));
        const std::optional<CaretEdit> done = edit(line, column);
        if (!done) {
            continue;
        }
        Q_EMIT willChange();
        m_cursors[i].line = done->newLine;
        m_cursors[i].column = done->newColumn;
        for (qsizetype j = 0; j < m_cursors.size(); ++j) {
            TextCursor &other = m_cursors[j];
            if (j == i) {
                continue;
            }
            if (other.line > done->refLine) {
                other.line += done->newLine - done->refLine;
            } else if (other.line == done->refLine && other.column >= done->refColumn) {
                other.line = done->newLine;
                other.column = done->newColumn + (other.column - done->refColumn);
            }
        }
    }
}

void EditorViewModel::insertAtCursors(const QString &text)
{
    EditScope edit(*this);
    const QStringList pieces = splitLines(text).lines;
    const qint64 extraLines = pieces.size() - 1;
    const qint64 lastPieceLength = characterCount(pieces.last());
    const qint64 textLength = characterCount(text);
    editEachCursor([&](qint64 line, qint64 column) -> std::optional<CaretEdit> {
        m_document->addUserEditedLine(line);
        m_document->insert(text, m_document->lineStartOffset(line) + column);
        if (extraLines > 0) {
            for (qint64 l = line; l <= line + extraLines; ++l) {
                m_document->addUserEditedLine(l);
            }
            return CaretEdit{line + extraLines, lastPieceLength, line, column};
        }
        return CaretEdit{line, column + textLength, line, column};
    });
}

void EditorViewModel::deleteAtCursors()
{
    EditScope edit(*this);
    editEachCursor([&](qint64 line, qint64 column) -> std::optional<CaretEdit> {
        const qint64 offset = m_document->lineStartOffset(line) + column;
        if (offset < 1) {
            return std::nullopt;
        }
        const qint64 previousLength = column == 0 ? lineLength(line - 1) : 0;
        m_document->addUserEditedLine(line);
        m_document->deleteRange(offset - 1, offset);
        if (column >= 1) {
            return CaretEdit{line, column - 1, line, column};
        }
        m_document->addUserEditedLine(line - 1);
        return CaretEdit{line - 1, previousLength, line, column};
    });
}

void EditorViewModel::deleteForwardAtCursors()
{
    EditScope edit(*this);
    editEachCursor([&](qint64 line, qint64 column) -> std::optional<CaretEdit> {
        const bool atLineEnd = column == lineLength(line);
        if (atLineEnd && line == m_document->lineCount() - 1) {
            return std::nullopt;
        }
        const qint64 offset = m_document->lineStartOffset(line) + column;
        m_document->addUserEditedLine(line);
        m_document->deleteRange(offset, offset + 1);
        if (atLineEnd) {
            return CaretEdit{line, column, line + 1, 0};
        }
        return CaretEdit{line, column, line, column + 1};
    });
}

std::optional<EditorViewModel::SelectionRange> EditorViewModel::primarySelection() const
{
    if (m_cursors.isEmpty() || !m_cursors.first().hasSelection()) {
        return std::nullopt;
    }
    const TextCursor &cursor = m_cursors.first();
    std::pair<qint64, qint64> start{*cursor.selectionAnchorLine, *cursor.selectionAnchorColumn};
    std::pair<qint64, qint64> end{cursor.line, cursor.column};
    if (end < start) {
        std::swap(start, end);
    }
    const qint64 lines = m_document->lineCount();
    if (start.first < 0 || start.first >= lines || end.first >= lines) {
        return std::nullopt;
    }
    // Columns past a line's end (extendSelection does not clamp) count as the line's end.
    return SelectionRange{start.first, std::clamp<qint64>(start.second, 0, lineLength(start.first)), end.first,
                          std::clamp<qint64>(end.second, 0, lineLength(end.first))};
}

std::optional<QString> EditorViewModel::selectedText() const
{
    const std::optional<SelectionRange> range = primarySelection();
    if (!range) {
        return std::nullopt;
    }
    const qint64 from = m_document->lineStartOffset(range->startLine) + range->startColumn;
    const qint64 to = m_document->lineStartOffset(range->endLine) + range->endColumn;
    const VeskNodePtr upToEnd = VeskNode::split(m_document->vesk(), to).first;
    // Every line break inside the selection comes out as "\n".
    LineReader reader(VeskNode::split(upToEnd, from).second);
    QString text;
    QString line;
    bool first = true;
    while (reader.next(line)) {
        if (!first) {
            text += u'\n';
        }
        text += line;
        first = false;
    }
    return text;
}

void EditorViewModel::removeSelection(const SelectionRange &range)
{
    if (m_load) {
        return;
    }
    for (qint64 line = range.startLine; line <= range.endLine; ++line) {
        m_document->addUserEditedLine(line);
    }
    m_document->deleteRange(m_document->lineStartOffset(range.startLine) + range.startColumn,
                            m_document->lineStartOffset(range.endLine) + range.endColumn);
    publish(m_cursors, QList<TextCursor>{TextCursor::at(range.startLine, range.startColumn)});
}

std::optional<QString> EditorViewModel::deleteSelection()
{
    const std::optional<SelectionRange> range = primarySelection();
    if (!range || m_load) {
        return std::nullopt;
    }
    EditScope edit(*this);
    std::optional<QString> text = selectedText();
    removeSelection(*range);
    return text;
}

bool EditorViewModel::collapseSelectionForEdit()
{
    const std::optional<SelectionRange> range = primarySelection();
    const bool nonEmpty = range && (range->startLine != range->endLine || range->startColumn != range->endColumn);
    if (nonEmpty) {
        removeSelection(*range);
    }
    Q_EMIT willChange();
    for (TextCursor &cursor : m_cursors) {
        cursor.clearAnchor();
    }
    return nonEmpty;
}

void EditorViewModel::deleteWordAtCursors(bool forward)
{
    EditScope edit(*this);
    editEachCursor([&](qint64 line, qint64 column) -> std::optional<CaretEdit> {
        const LineChars chars(m_document->line(line));
        const qint64 lineStart = m_document->lineStartOffset(line);
        if (!forward && column == 0) {
            if (line == 0) {
                return std::nullopt;
            }
            const qint64 previousLength = lineLength(line - 1);
            m_document->deleteRange(lineStart - 1, lineStart);
            return CaretEdit{line - 1, previousLength, line, column};
        }
        if (forward && column == chars.size()) {
            if (line + 1 >= m_document->lineCount()) {
                return std::nullopt;
            }
            m_document->deleteRange(lineStart + column, lineStart + column + 1);
            return CaretEdit{line, column, line + 1, 0};
        }
        const qint64 from = forward ? column : wordStartBefore(chars, column);
        const qint64 to = forward ? wordEndAfter(chars, column) : column;
        m_document->deleteRange(lineStart + from, lineStart + to);
        return CaretEdit{line, from, line, to};
    });
}

void EditorViewModel::insertNewLineKeepingIndent()
{
    EditScope edit(*this);
    editEachCursor([&](qint64 line, qint64 column) -> std::optional<CaretEdit> {
        const QString indent = leadingBlank(m_document->line(line)).left(column);
        m_document->insert(QStringLiteral("\n") + indent, m_document->lineStartOffset(line) + column);
        return CaretEdit{line + 1, characterCount(indent), line, column};
    });
}

} // namespace vesk
