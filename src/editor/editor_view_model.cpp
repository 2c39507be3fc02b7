#include "editor/editor_view_model.h"

#include "editor/file_load.h"
#include "editor/line_chars.h"
#include "editor/open_file_state.h"

#include <QDateTime>

#include <algorithm>

// Construction, published fields, carets, selections and moves. Editing is in editor_editing.cpp,
// the file lifecycle in editor_files.cpp.

namespace vesk {

EditorViewModel::EditorViewModel(QObject *parent)
    : QObject(parent)
    , m_document(std::make_unique<VeskDocument>())
    , m_cursors{TextCursor()}
    , m_currentFileName(QStringLiteral("Untitled"))
    , m_scrollState(new ScrollState(this))
    , m_saves(new SaveQueue([this](const SaveQueue::Outcome &outcome) { takeSaveOutcome(outcome); }, this))
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_highlightTimer.setSingleShot(true);
    m_highlightTimer.setInterval(highlightDurationMs);
    // The timer belongs to this object, so a pending flash ends with it.
    connect(&m_highlightTimer, &QTimer::timeout, this, [this] { publish(m_highlightLine, std::optional<qint64>()); });
    observeDocument();
}

EditorViewModel::~EditorViewModel()
{
    if (m_load) {
        m_load->cancel();  // the reading stops and lets go of what it built
    }
}

void EditorViewModel::observeDocument()
{
    disconnect(m_documentConnection);
    m_documentConnection = connect(m_document.get(), &VeskDocument::willChange, this, &EditorViewModel::willChange);
}

void EditorViewModel::setCursors(QList<TextCursor> cursors)
{
    endTypingRun();
    m_goalColumns.clear();
    m_caretWhenLoaded.reset();
    publish(m_cursors, std::move(cursors));
}

void EditorViewModel::setLineHeight(double height)
{
    publish(m_lineHeight, height);
}

void EditorViewModel::setTrackpadSelecting(bool selecting)
{
    publish(m_isTrackpadSelecting, selecting);
}

void EditorViewModel::setMinimapScrollTarget(std::optional<qint64> line)
{
    publish(m_minimapScrollTarget, line);
}

void EditorViewModel::setPendingConflict(bool pending)
{
    publish(m_pendingConflict, pending);
}

qint64 EditorViewModel::lineLength(qint64 line) const
{
    if (line < 0 || line >= m_document->lineCount()) {
        return 0;
    }
    return characterCount(m_document->line(line));
}

void EditorViewModel::goToLine(qint64 line, qint64 column)
{
    const qint64 lines = m_document->lineCount();
    if (m_load) {
        m_caretWhenLoaded = line >= lines ? std::optional(CaretWhenLoaded{line, column, true}) : std::nullopt;
    }
    if (lines < 1) {
        return;
    }
    const qint64 l = line < 0 ? 0 : std::min(line, lines - 1);
    const qint64 c = std::max<qint64>(std::min(column, lineLength(l)), 0);
    publish(m_cursors, QList<TextCursor>{TextCursor::at(l, c)});
    publish(m_minimapScrollTarget, std::optional<qint64>(l));
    publish(m_highlightLine, std::optional<qint64>(l));
    m_highlightTimer.start();  // restarting drops the previous flash's end
}

void EditorViewModel::placeCaret(qint64 line, qint64 column)
{
    const qint64 lines = m_document->lineCount();
    if (m_load) {
        m_caretWhenLoaded = line >= lines ? std::optional(CaretWhenLoaded{line, column, false}) : std::nullopt;
    }
    const qint64 l = std::clamp<qint64>(line, 0, std::max<qint64>(lines - 1, 0));
    const qint64 c = std::clamp<qint64>(column, 0, lineLength(l));
    publish(m_cursors, QList<TextCursor>{TextCursor::at(l, c)});
    publish(m_minimapScrollTarget, std::optional<qint64>(l));
}

void EditorViewModel::clampCursors()
{
    const qint64 lines = m_document->lineCount();
    Q_EMIT willChange();
    for (TextCursor &cursor : m_cursors) {
        cursor.line = std::min(cursor.line, std::max<qint64>(lines - 1, 0));
        cursor.column = std::min(cursor.column, cursor.line < lines ? lineLength(cursor.line) : 0);
    }
}

void EditorViewModel::addCursor(qint64 line, qint64 column)
{
    const bool taken = std::any_of(m_cursors.cbegin(), m_cursors.cend(), [&](const TextCursor &cursor) {
        return cursor.line == line && cursor.column == column;
    });
    if (!taken) {
        endTypingRun();
        Q_EMIT willChange();
        m_cursors.append(TextCursor::at(line, column));
    }
}

void EditorViewModel::addCursorAbove()
{
    if (m_cursors.isEmpty()) {
        return;
    }
    // min_element keeps the first of equal lines.
    const TextCursor top = *std::min_element(m_cursors.cbegin(), m_cursors.cend(),
                                             [](const TextCursor &a, const TextCursor &b) { return a.line < b.line; });
    if (top.line > 0) {
        addCursor(top.line - 1, std::min(top.column, lineLength(top.line - 1)));
    }
}

void EditorViewModel::addCursorBelow()
{
    if (m_cursors.isEmpty()) {
        return;
    }
    const TextCursor bottom = *std::min_element(m_cursors.cbegin(), m_cursors.cend(),
                                                [](const TextCursor &a, const TextCursor &b) { return a.line > b.line; });
    if (bottom.line + 1 < m_document->lineCount()) {
        addCursor(bottom.line + 1, std::min(bottom.column, lineLength(bottom.line + 1)));
    }
}

QList<qsizetype> EditorViewModel::cursorIndicesLastFirst() const
{
    QList<qsizetype> order(m_cursors.size());
    for (qsizetype i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [this](qsizetype a, qsizetype b) {
        const TextCursor &x = m_cursors[a];
        const TextCursor &y = m_cursors[b];
        return x.line != y.line ? x.line > y.line : x.column > y.column;
    });
    return order;
}

void EditorViewModel::beginSelection(qint64 line, qint64 column)
{
    TextCursor cursor = TextCursor::at(line, column);
    cursor.setAnchor(line, column);
    endTypingRun();
    publish(m_cursors, QList<TextCursor>{cursor});
    publish(m_isTrackpadSelecting, true);
}

void EditorViewModel::extendSelection(qint64 line, qint64 column)
{
    if (m_cursors.isEmpty()) {
        return;
    }
    endTypingRun();
    Q_EMIT willChange();
    m_cursors.first().line = line;
    m_cursors.first().column = column;
}

void EditorViewModel::selectAll()
{
    const qint64 last = m_document->lineCount() - 1;
    TextCursor cursor = TextCursor::at(last, lineLength(last));
    cursor.setAnchor(0, 0);
    publish(m_cursors, QList<TextCursor>{cursor});
}

void EditorViewModel::selectWord(qint64 line, qint64 column)
{
    if (line >= m_document->lineCount() || lineLength(line) == 0) {
        return;
    }
    const auto [start, end] = wordBounds(line, column);
    TextCursor cursor = TextCursor::at(line, end);
    cursor.setAnchor(line, start);
    publish(m_cursors, QList<TextCursor>{cursor});
}

void EditorViewModel::setAnchorIfNeeded(qsizetype index)
{
    if (index < 0 || index >= m_cursors.size()) {
        return;
    }
    TextCursor &cursor = m_cursors[index];
    if (!cursor.selectionAnchorLine) {
        Q_EMIT willChange();
        cursor.setAnchor(cursor.line, cursor.column);
    }
}

void EditorViewModel::clearSelection(qsizetype index)
{
    if (index < 0 || index >= m_cursors.size()) {
        return;
    }
    Q_EMIT willChange();
    m_cursors[index].clearAnchor();
}

// Runs `move` on every caret in array order with the anchor rule of all moves: extending keeps
// (or starts) the selection, anything else drops it. `move` returns false for a caret it must
// leave entirely alone, anchor included.
template <typename Move>
void EditorViewModel::moveEachCursor(bool extending, Move move)
{
    const qint64 lines = m_document->lineCount();
    endTypingRun();
    if (!m_movingVertically) {
        m_goalColumns.clear();
    }
    Q_EMIT willChange();
    for (qsizetype i = 0; i < m_cursors.size(); ++i) {
        if (extending) {
            setAnchorIfNeeded(i);
        }
        TextCursor &cursor = m_cursors[i];
        if (move(cursor, lines) && !extending) {
            cursor.clearAnchor();
        }
    }
}

void EditorViewModel::moveCursorsLeft(bool extending)
{
    moveEachCursor(extending, [this](TextCursor &cursor, qint64) {
        if (cursor.column >= 1) {
            --cursor.column;
        } else if (cursor.line > 0) {
            --cursor.line;
            cursor.column = lineLength(cursor.line);
        }
        return true;
    });
}

void EditorViewModel::moveCursorsRight(bool extending)
{
    moveEachCursor(extending, [this](TextCursor &cursor, qint64 lines) {
        if (cursor.column < lineLength(cursor.line)) {
            ++cursor.column;
        } else if (cursor.line < lines - 1) {
            ++cursor.line;
            cursor.column = 0;
        }
        return true;
    });
}

// Moves each caret to the line `target` gives (clamped to the text), at its goal column.
template <typename Target>
void EditorViewModel::moveVertically(bool extending, Target target)
{
    m_movingVertically = true;
    moveEachCursor(extending, [&](TextCursor &cursor, qint64 lines) {
        const qint64 goal = m_goalColumns.value(cursor.id, cursor.column);
        m_goalColumns.insert(cursor.id, goal);
        const qint64 line = std::clamp<qint64>(target(cursor.line), 0, std::max<qint64>(lines - 1, 0));
        if (line != cursor.line) {
            cursor.line = line;
            cursor.column = std::min(goal, lineLength(line));
        }
        return true;
    });
    m_movingVertically = false;
    collapseOverlappingCarets();
}

void EditorViewModel::moveCursorsUp(bool extending)
{
    moveVertically(extending, [](qint64 line) { return line - 1; });
}

void EditorViewModel::moveCursorsDown(bool extending)
{
    moveVertically(extending, [](qint64 line) { return line + 1; });
}

// Carets moved onto the same place become one (the later one stays).
void EditorViewModel::collapseOverlappingCarets()
{
    QList<TextCursor> kept;
    for (qsizetype i = m_cursors.size() - 1; i >= 0; --i) {
        const TextCursor &cursor = m_cursors[i];
        const bool taken = std::any_of(kept.cbegin(), kept.cend(), [&](const TextCursor &other) {
            return other.line == cursor.line && other.column == cursor.column;
        });
        if (!taken) {
            kept.prepend(cursor);
        }
    }
    if (kept.size() != m_cursors.size()) {
        publish(m_cursors, kept);
    }
}

void EditorViewModel::extendSelectionTo(qint64 line, qint64 column)
{
    if (m_cursors.isEmpty()) {
        return;
    }
    TextCursor cursor = m_cursors.first();
    if (!cursor.hasSelection()) {
        cursor.setAnchor(cursor.line, cursor.column);
    }
    cursor.line = line;
    cursor.column = std::min(column, lineLength(line));
    setCursors({cursor});
}

void EditorViewModel::selectLine(qint64 line)
{
    const qint64 lines = m_document->lineCount();
    if (line < 0 || line >= lines) {
        return;
    }
    TextCursor cursor = line + 1 < lines ? TextCursor::at(line + 1, 0) : TextCursor::at(line, lineLength(line));
    cursor.setAnchor(line, 0);
    setCursors({cursor});
}

std::pair<qint64, qint64> EditorViewModel::wordBounds(qint64 line, qint64 column) const
{
    if (line < 0 || line >= m_document->lineCount()) {
        return {0, 0};
    }
    const LineChars chars(m_document->line(line));
    if (chars.size() == 0) {
        return {0, 0};
    }
    const qint64 c = std::clamp<qint64>(column, 0, chars.size() - 1);
    qint64 start = c;
    while (start > 0 && chars.isWordCharacter(start - 1)) {
        --start;
    }
    qint64 end = c;
    while (end < chars.size() && chars.isWordCharacter(end)) {
        ++end;
    }
    if (start == end) {
        ++end;  // not on a word: the single character
    }
    return {start, end};
}

void EditorViewModel::moveCursorsToLineStart(bool extending)
{
    moveEachCursor(extending, [](TextCursor &cursor, qint64) {
        cursor.column = 0;
        return true;
    });
}

void EditorViewModel::moveCursorsToLineEnd(bool extending)
{
    moveEachCursor(extending, [this](TextCursor &cursor, qint64) {
        cursor.column = lineLength(cursor.line);
        return true;
    });
}

// A word is any run of non-white-space characters, punctuation included.
void EditorViewModel::moveCursorsWordLeft(bool extending)
{
    moveEachCursor(extending, [this](TextCursor &cursor, qint64 lines) {
        if (cursor.line >= lines) {
            return false;
        }
        if (cursor.column == 0) {
            if (cursor.line > 0) {
                --cursor.line;
                cursor.column = lineLength(cursor.line);
            }
            return true;
        }
        const LineChars chars(m_document->line(cursor.line));
        qint64 p = cursor.column;
        if (p > 0 && p <= chars.size()) {
            while (p > 0 && chars.isWhiteSpace(p - 1)) {
                --p;
            }
            while (p > 0 && !chars.isWhiteSpace(p - 1)) {
                --p;
            }
            cursor.column = p;
        }
        return true;
    });
}

void EditorViewModel::moveCursorsWordRight(bool extending)
{
    moveEachCursor(extending, [this](TextCursor &cursor, qint64 lines) {
        if (cursor.line >= lines) {
            return false;
        }
        const LineChars chars(m_document->line(cursor.line));
        if (cursor.column < chars.size()) {
            qint64 p = std::max<qint64>(cursor.column, 0);
            while (p < chars.size() && !chars.isWhiteSpace(p)) {
                ++p;
            }
            while (p < chars.size() && chars.isWhiteSpace(p)) {
                ++p;
            }
            cursor.column = p;
        } else if (cursor.line < lines - 1) {
            ++cursor.line;
            cursor.column = 0;
        }
        return true;
    });
}

qint64 EditorViewModel::linesPerPage() const
{
    const double height = m_scrollState->viewportHeight();
    return std::max<qint64>(1, qint64(height / std::max(1.0, m_lineHeight)) - 1);
}

void EditorViewModel::moveCursorsByPage(bool down, bool extending)
{
    const qint64 page = linesPerPage();
    moveVertically(extending, [page, down](qint64 line) { return down ? line + page : line - page; });
}

void EditorViewModel::moveCursorsToDocumentStart(bool extending)
{
    moveEachCursor(extending, [](TextCursor &cursor, qint64) {
        cursor.line = 0;
        cursor.column = 0;
        return true;
    });
    collapseOverlappingCarets();
}

void EditorViewModel::moveCursorsToDocumentEnd(bool extending)
{
    moveEachCursor(extending, [this](TextCursor &cursor, qint64 lines) {
        cursor.line = lines - 1;
        cursor.column = lineLength(lines - 1);
        return true;
    });
    collapseOverlappingCarets();
}

} // namespace vesk
