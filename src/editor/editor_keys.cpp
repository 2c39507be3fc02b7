#include "editor/editor_view_model.h"

#include "editor/edit_scope.h"
#include "editor/line_chars.h"
#include "platform/preferences.h"

#include <algorithm>

// Key handling and the commands only keys reach: indentation and going back to one caret.

namespace vesk {

namespace {

// The `tabWidth` preference as outdenting counts spaces: 1…16, 4 when unset.
int indentWidth()
{
    bool ok = false;
    const qint64 width = Preferences::instance().value(QStringLiteral("tabWidth")).toLongLong(&ok);
    return ok ? int(std::clamp<qint64>(width, 1, 16)) : 4;
}

} // namespace

std::optional<std::pair<qint64, qint64>> EditorViewModel::selectedLineSpan() const
{
    std::optional<std::pair<qint64, qint64>> span;
    for (const TextCursor &cursor : m_cursors) {
        if (!cursor.hasSelection() || *cursor.selectionAnchorLine == cursor.line) {
            continue;
        }
        const std::pair<qint64, qint64> anchor{*cursor.selectionAnchorLine, *cursor.selectionAnchorColumn};
        const std::pair<qint64, qint64> caret{cursor.line, cursor.column};
        const auto [first, last] = std::minmax(anchor, caret);
        // A selection that ends at a line's start does not take that line along.
        const qint64 lastLine = last.second == 0 ? last.first - 1 : last.first;
        span = span ? std::pair(std::min(span->first, first.first), std::max(span->second, lastLine))
                    : std::pair(first.first, lastLine);
    }
    return span;
}

void EditorViewModel::indentLines(qint64 first, qint64 last, bool outdent)
{
    if (m_load) {
        return;
    }
    EditScope edit(*this);
    const int width = indentWidth();
    first = std::max<qint64>(first, 0);
    last = std::min(last, m_document->lineCount() - 1);
    for (qint64 line = last; line >= first; --line) {
        const qint64 start = m_document->lineStartOffset(line);
        qint64 shift = 0;
        if (!outdent) {
            m_document->insert(QStringLiteral("\t"), start);
            shift = 1;
        } else {
            const QString text = m_document->line(line);
            qint64 n = 0;
            if (text.startsWith(u'\t')) {
                n = 1;
            } else {
                while (n < width && n < text.size() && text[n] == u' ') {
                    ++n;
                }
            }
            if (n == 0) {
                continue;
            }
            m_document->deleteRange(start, start + n);
            shift = -n;
        }
        Q_EMIT willChange();
        for (TextCursor &cursor : m_cursors) {
            // A place at a line's start stays there, so whole selected lines stay selected.
            if (cursor.line == line && cursor.column > 0) {
                cursor.column = std::max<qint64>(0, cursor.column + shift);
            }
            if (cursor.hasSelection() && *cursor.selectionAnchorLine == line && *cursor.selectionAnchorColumn > 0) {
                cursor.selectionAnchorColumn = std::max<qint64>(0, *cursor.selectionAnchorColumn + shift);
            }
        }
    }
}

// Several carets become the last one made; a selection collapses to its caret.
bool EditorViewModel::collapseCursors()
{
    if (m_cursors.size() > 1) {
        setCursors({m_cursors.last()});
        return true;
    }
    if (!m_cursors.isEmpty() && m_cursors.first().hasSelection()) {
        clearSelection(0);
        return true;
    }
    return false;
}

bool EditorViewModel::handleKeyEvent(const EditorKeyEvent &event)
{
    if (!m_currentFilePath) {
        return false;
    }
    const bool shift = event.has(KeyModifier::Shift);
    const bool option = event.has(KeyModifier::Option);
    const bool command = event.has(KeyModifier::Command);
    switch (event.keyCode) {
    case KeyCode::Return:
    case KeyCode::KeypadEnter: {
        EditScope edit(*this);
        collapseSelectionForEdit();
        insertNewLineKeepingIndent();
        return true;
    }
    case KeyCode::Tab: {
        if (const std::optional<std::pair<qint64, qint64>> span = selectedLineSpan()) {
            indentLines(span->first, span->second, shift);
            return true;
        }
        if (shift) {
            EditScope edit(*this);
            QList<qint64> lines;
            for (const TextCursor &cursor : std::as_const(m_cursors)) {
                if (!lines.contains(cursor.line)) {
                    lines.append(cursor.line);
                }
            }
            for (qint64 line : std::as_const(lines)) {
                indentLines(line, line, true);
            }
            return true;
        }
        EditScope edit(*this, EditKind::Typing);
        collapseSelectionForEdit();
        insertAtCursors(QStringLiteral("\t"));
        return true;
    }
    case KeyCode::Delete:
    case KeyCode::ForwardDelete: {
        const bool forward = event.keyCode == KeyCode::ForwardDelete;
        EditScope edit(*this, option ? EditKind::Other : EditKind::Deleting);
        if (!collapseSelectionForEdit()) {
            if (option) {
                deleteWordAtCursors(forward);
            } else {
                forward ? deleteForwardAtCursors() : deleteAtCursors();
            }
        }
        return true;
    }
    case KeyCode::Escape:
        return collapseCursors();
    case KeyCode::LeftArrow:
        option ? moveCursorsWordLeft(shift) : command ? moveCursorsToLineStart(shift) : moveCursorsLeft(shift);
        return true;
    case KeyCode::RightArrow:
        option ? moveCursorsWordRight(shift) : command ? moveCursorsToLineEnd(shift) : moveCursorsRight(shift);
        return true;
    case KeyCode::DownArrow:
        option && command ? addCursorBelow() : command ? moveCursorsToDocumentEnd(shift) : moveCursorsDown(shift);
        return true;
    case KeyCode::UpArrow:
        option && command ? addCursorAbove() : command ? moveCursorsToDocumentStart(shift) : moveCursorsUp(shift);
        return true;
    case KeyCode::Home:
        moveCursorsToDocumentStart(shift);
        return true;
    case KeyCode::End:
        moveCursorsToDocumentEnd(shift);
        return true;
    case KeyCode::PageUp:
    case KeyCode::PageDown:
        moveCursorsByPage(event.keyCode == KeyCode::PageDown, shift);
        return true;
    default:
        break;
    }
    if (command || event.has(KeyModifier::Control) || event.characters.isEmpty()) {
        return false;
    }
    // Control characters and the private-use range the platform gives function and navigation
    // keys are not text.
    const char32_t first = event.characters.at(0).isHighSurrogate() ? event.characters.toUcs4().first()
                                                                      : event.characters.at(0).unicode();
    if (first < 0x20 || first == 0x7F || (first >= 0xF700 && first <= 0xF8FF)) {
        return false;
    }
    EditScope edit(*this, EditKind::Typing);
    collapseSelectionForEdit();
    insertAtCursors(event.characters);
    return true;
}

} // namespace vesk
