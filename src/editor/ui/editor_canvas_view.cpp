#include "editor/ui/editor_canvas_view.h"

#include "editor/line_chars.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/editor_syntax.h"
#include "editor/ui/line_layout.h"
#include "editor/ui/syntax_colors.h"
#include "editor/ui/system_clipboard.h"
#include "platform/preferences.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QStyleHints>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr double defaultLineHeight = 20;
constexpr double paragraphGap = 0.3;        // of a line height, below a line ended by U+2029
constexpr double selectedBreakWidth = 10;   // a selected line break shows this wide
constexpr double caretWidth = 1.5;
constexpr double modifiedBarWidth = 2;
constexpr double deletedWedge = 5;
constexpr double lineNumberRightGap = 6;
constexpr double autoScrollZone = 20;
constexpr double autoScrollLead = 40;
constexpr double sampledLines = 100;
constexpr double minimumEstimate = 200;
constexpr double rightSlack = 40;
constexpr double clickSlop = 5;  // a third click this close to the second makes a triple click

// Distance from a line's top to the baseline of `font`, its box centred in a line of height h.
double baselineIn(const QFont &font, double h)
{
    const QFontMetricsF metrics(font);
    return (h - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
}

// A whitespace mark ("·" or "⇥") typeset once, to be stamped wherever it is needed.
struct WhitespaceMark
{
    QGlyphRun run;
    double width = 0;

    explicit WhitespaceMark(QChar character)
    {
        const LineLayout layout(QString(character), editorFont());
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (!runs.isEmpty()) {
            run = runs.first();
        }
        width = layout.width();
    }

    // Draws the mark at each x (relative to `origin`) in one run.
    void drawAt(QPainter &painter, const QPointF &origin, const QList<double> &xs) const
    {
        const QList<quint32> glyphs = run.glyphIndexes();
        if (xs.isEmpty() || glyphs.isEmpty()) {
            return;
        }
        const QList<QPointF> places = run.positions();
        QList<quint32> indexes;
        QList<QPointF> positions;
        for (const double x : xs) {
            for (qsizetype g = 0; g < glyphs.size(); ++g) {
                indexes.append(glyphs[g]);
                positions.append(places[g] + QPointF(x, 0));
            }
        }
        QGlyphRun stamped = run;
        stamped.setGlyphIndexes(indexes);
        stamped.setPositions(positions);
        painter.drawGlyphRun(origin, stamped);
    }
};

const WhitespaceMark &spaceMark()
{
    static const WhitespaceMark mark(QChar(0x00B7));
    return mark;
}

const WhitespaceMark &tabMark()
{
    static const WhitespaceMark mark(QChar(0x21E5));
    return mark;
}

// Where the marks of a line's spaces and tabs go, x relative to the text start.
void collectWhitespaceMarks(const QString &text, const LineLayout &layout, QList<double> &spaces, QList<double> &tabs)
{
    if (!text.contains(u' ') && !text.contains(u'\t')) {
        return;
    }
    const int width = tabWidth();
    const qsizetype last = layout.offsetCount() - 1;
    qint64 column = 0;
    forEachCharacter(text, [&](QStringView character) {
        const qsizetype k = std::min<qsizetype>(column, last);
        if (character == u" ") {
            const double cell = layout.offset(std::min<qsizetype>(k + 1, last)) - layout.offset(k);
            spaces.append(layout.offset(k) + (cell - spaceMark().width) / 2);
            ++column;
        } else if (character == u"\t") {
            tabs.append(layout.offset(k));
            column += width - column % width;
        } else {
            ++column;
        }
        return true;
    });
}

// Draws a line's glyphs run by run, each in its highlight colour, clipped to the run's columns
// so that no glyph is painted twice.
void drawHighlightedText(QPainter &painter, const LineLayout &layout, const QPointF &origin,
                         const std::vector<SyntaxRun> &runs, double minX, double maxX, double h,
                         const QPalette &colors)
{
    const qsizetype last = layout.offsetCount() - 1;
    const auto xAt = [&](qint64 column) { return layout.offset(std::min<qsizetype>(qsizetype(column), last)); };
    for (size_t k = 0; k < runs.size(); ++k) {
        const double left = k == 0 ? std::min(0.0, minX) : xAt(runs[k].start);
        const double right = k + 1 == runs.size() ? std::max(layout.width(), maxX) : xAt(runs[k].end);
        if (right <= minX || left >= maxX || right <= left) {
            continue;
        }
        painter.save();
        painter.setClipRect(QRectF(origin.x() + left, origin.y() - 2 * h, right - left, 4 * h), Qt::IntersectClip);
        painter.setPen(syntaxColor(runs[k].style, colors));
        layout.draw(painter, origin, std::max(left, minX), std::min(right, maxX));
        painter.restore();
    }
}

struct SelectionSpan
{
    qint64 startLine, startColumn, endLine, endColumn;
};

QList<SelectionSpan> selectionSpans(const QList<TextCursor> &cursors)
{
    QList<SelectionSpan> spans;
    for (const TextCursor &cursor : cursors) {
        if (!cursor.hasSelection()) {
            continue;
        }
        SelectionSpan span{*cursor.selectionAnchorLine, *cursor.selectionAnchorColumn, cursor.line, cursor.column};
        if (std::pair(span.endLine, span.endColumn) < std::pair(span.startLine, span.startColumn)) {
            std::swap(span.startLine, span.endLine);
            std::swap(span.startColumn, span.endColumn);
        }
        spans.append(span);
    }
    return spans;
}

} // namespace

EditorCanvasView::EditorCanvasView(QWidget *parent)
    : QWidget(parent)
    , m_lookCheck(new DeferredRefresh(this, [this] { repaintChangedLines(); }))
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setCursor(Qt::IBeamCursor);
    Preferences &preferences = Preferences::instance();
    connect(&preferences, &Preferences::changed, this, [this] {
        // The layout cache has been emptied; widths may differ (the tab width, for one).
        m_lastFrameLineCount = -1;
        updateFrameSize();
        update();
    });
}

void EditorCanvasView::setEditor(EditorViewModel *editor)
{
    if (editor == m_editor) {
        return;
    }
    disconnect(m_editorConnection);
    disconnect(m_syntaxConnection);
    m_editor = editor;
    if (editor) {
        m_editorConnection = m_lookCheck->watch(editor, &EditorViewModel::willChange);
        // New colours repaint only the lines whose colours changed, usually the edited one.
        m_syntaxConnection = m_lookCheck->watch(EditorSyntax::of(editor), &EditorSyntax::changed);
    }
    m_lastFrameLineCount = -1;
    update();
}

double EditorCanvasView::lineHeight() const
{
    return m_editor ? m_editor->lineHeight() : defaultLineHeight;
}

double EditorCanvasView::yForLine(qint64 line) const
{
    const double h = lineHeight();
    const qint64 breaks = m_editor ? m_editor->document()->paragraphBreaksBefore(line) : 0;
    return h * line + breaks * (paragraphGap * h);
}

double EditorCanvasView::totalContentHeight() const
{
    const double h = lineHeight();
    if (!m_editor) {
        return 2;
    }
    const VeskDocument *document = m_editor->document();
    return h * document->lineCount() + document->vesk()->paragraphBreakCount() * (paragraphGap * h) + 2;
}

double EditorCanvasView::gutterWidth() const
{
    const qint64 lines = m_editor ? m_editor->document()->lineCount() : 0;
    const int digits = int(QString::number(lines).size());
    return std::max(2, digits) * 7 + 12;
}

qint64 EditorCanvasView::lineForY(double y) const
{
    if (!m_editor) {
        return 0;
    }
    const VeskDocument *document = m_editor->document();
    const qint64 count = document->lineCount();
    if (count <= 0) {
        return 0;
    }
    if (document->vesk()->paragraphBreakCount() == 0) {
        return std::clamp<qint64>(qint64(std::floor(y / lineHeight())), 0, count - 1);
    }
    qint64 lo = 0;
    qint64 hi = count - 1;
    while (lo < hi) {
        const qint64 mid = (lo + hi + 1) / 2;
        if (yForLine(mid) <= y) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    return std::clamp<qint64>(lo, 0, count - 1);
}

double EditorCanvasView::xForColumnOf(const QString &text, qint64 column) const
{
    const qint64 visual = visualColumn(text, column, tabWidth());
    const std::shared_ptr<const LineLayout> layout = getLayout(text);
    const qsizetype index = std::max<qsizetype>(0, std::min<qsizetype>(visual, layout->offsetCount() - 1));
    return textX() + layout->offset(index);
}

qint64 EditorCanvasView::columnForXOf(const QString &text, double x) const
{
    const qsizetype k = getLayout(text)->charIndex(std::max(0.0, x - textX()));
    const int width = tabWidth();
    qint64 column = 0;
    qint64 index = 0;  // a walk that finishes ends at the character count
    forEachCharacter(text, [&](QStringView character) {
        if (column >= k) {
            return false;
        }
        column = character == u"\t" ? (column / width + 1) * width : column + 1;
        ++index;
        return true;
    });
    return index;
}

double EditorCanvasView::xForCol(qint64 column, qint64 line) const
{
    if (!m_editor || line < 0 || line >= m_editor->document()->lineCount()) {
        return textX();
    }
    return xForColumnOf(m_editor->document()->line(line), column);
}

qint64 EditorCanvasView::colForX(double x, qint64 line) const
{
    if (!m_editor || line < 0 || line >= m_editor->document()->lineCount()) {
        return 0;
    }
    return columnForXOf(m_editor->document()->line(line), x);
}

void EditorCanvasView::updateFrameSize()
{
    const bool placed = parentWidget() && !size().isEmpty();
    const double w = placed ? width() : 600;
    const double h = placed ? height() : 400;
    const qint64 lines = m_editor ? m_editor->document()->lineCount() : 0;
    const double height = std::max(h, totalContentHeight());
    QSizeF next;
    if (lines == m_lastFrameLineCount && std::abs(w - m_lastFrameSuperview) <= 1) {
        next = QSizeF(m_frameSize.width(), height);
    } else {
        m_lastFrameLineCount = lines;
        m_lastFrameSuperview = w;
        const qint64 step = lines < 100 ? 1 : lines / qint64(sampledLines);
        double estimate = minimumEstimate;
        for (qint64 line = 0; line < lines; line += step) {
            const double drawn = getLayout(m_editor->document()->line(line))->width();
            estimate = std::max(estimate, gutterWidth() + 1 + textInsetX + drawn + rightSlack);
        }
        next = QSizeF(std::max(w, estimate), height);
    }
    if (next != m_frameSize) {
        m_frameSize = next;
        Q_EMIT frameSizeChanged();
    }
}

void EditorCanvasView::setScrollOffset(const QPointF &offset)
{
    if (offset != m_scrollOffset) {
        m_scrollOffset = offset;
        update();
    }
}

QRectF EditorCanvasView::visibleRect() const
{
    return QRectF(m_scrollOffset, QSizeF(size()));
}

void EditorCanvasView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.translate(-m_scrollOffset);
    for (const QRect &dirty : event->region()) {
        drawFrame(painter, QRectF(dirty).translated(m_scrollOffset));
    }
}

void EditorCanvasView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        update();
    }
}

EditorSyntax *EditorCanvasView::syncedSyntax() const
{
    if (!m_editor) {
        return nullptr;
    }
    EditorSyntax *syntax = EditorSyntax::of(m_editor);
    syntax->sync();
    return syntax->isEnabled() ? syntax : nullptr;
}

EditorCanvasView::Look EditorCanvasView::currentLook() const
{
    Look look;
    look.scroll = m_scrollOffset;
    look.size = size();
    look.frameWidth = m_frameSize.width();
    look.gutter = gutterWidth();
    look.lineHeight = lineHeight();
    if (!m_editor) {
        return look;
    }
    const QRectF visible = visibleRect();
    const VeskDocument &document = *m_editor->document();
    look.first = lineForY(visible.top());
    look.last = std::min(document.lineCount() - 1, lineForY(visible.bottom()));
    const QList<TextCursor> &cursors = m_editor->cursors();
    const QList<SelectionSpan> spans = selectionSpans(cursors);
    EditorSyntax *syntax = syncedSyntax();
    if (syntax) {
        syntax->highlighter().prepareLines(look.first, look.last);
    }
    for (qint64 line = look.first; line <= look.last; ++line) {
        size_t seed = qHash(document.line(line));
        if (syntax) {
            for (const SyntaxHighlighter::LineSpan &piece : syntax->highlighter().lineSpans(line)) {
                seed = qHashMulti(seed, piece.start, piece.end, int(piece.style));
            }
        }
        seed = qHashMulti(seed, line, yForLine(line), document.modifiedLines().contains(line),
                          document.deletedAfterLines().contains(line), m_editor->highlightLine() == line);
        for (const TextCursor &cursor : cursors) {
            if (cursor.line == line) {
                seed = qHashMulti(seed, 1, cursor.column);
            }
        }
        for (const SelectionSpan &span : spans) {
            if (line >= span.startLine && line <= span.endLine) {
                seed = qHashMulti(seed, 2, line == span.startLine ? span.startColumn : -1,
                                  line == span.endLine ? span.endColumn : -1);
            }
        }
        look.rows.push_back(seed);
    }
    return look;
}

void EditorCanvasView::repaintChangedLines()
{
    Look look = currentLook();
    const Look &was = m_look;
    const bool sameFrame = look.scroll == was.scroll && look.size == was.size && look.frameWidth == was.frameWidth
        && look.gutter == was.gutter && look.lineHeight == was.lineHeight && look.first == was.first
        && look.last == was.last;
    if (!sameFrame) {
        update();
    } else {
        for (size_t k = 0; k < look.rows.size(); ++k) {
            if (look.rows[k] != was.rows[k]) {
                const qint64 line = look.first + qint64(k);
                const double top = yForLine(line) - m_scrollOffset.y();
                update(QRect(0, int(std::floor(top)), width(), int(std::ceil(look.lineHeight)) + 1));
            }
        }
    }
    m_look = std::move(look);
}

void EditorCanvasView::drawFrame(QPainter &painter, const QRectF &dirty) const
{
    if (!m_editor) {
        return;
    }
    const EditorViewModel &editor = *m_editor;
    const VeskDocument &document = *editor.document();
    const qint64 count = document.lineCount();
    const double h = lineHeight();
    qint64 first = 0;
    qint64 last = 0;
    if (document.vesk()->paragraphBreakCount() == 0) {
        first = std::max<qint64>(0, qint64(std::floor(dirty.top() / h)));
        last = std::min<qint64>(count - 1, qint64(std::floor(dirty.bottom() / h)));
    } else {
        first = lineForY(dirty.top());
        last = std::min<qint64>(count - 1, lineForY(dirty.bottom()));
    }
    const QPalette &colors = palette();
    const double gutter = gutterWidth();
    const double textStart = textX();
    painter.fillRect(dirty, textBackgroundColor(colors));
    if (last < first) {
        drawGutter(painter, dirty, first, last);
        return;
    }

    const QColor numberColor = tertiaryLabelColor(colors);
    const QColor textColor = labelColor(colors);
    const QColor blue = systemColor(SystemColor::blue, colors);
    const QColor flash = withAlpha(systemColor(SystemColor::yellow, colors), 0.25);
    const QColor currentLine = withAlpha(blue, 0.04);
    const QColor selection = withAlpha(selectedTextBackgroundColor(colors), 0.3);
    const double textBaseline = baselineIn(editorFont(), h);
    const bool whitespace = showWhitespace();
    const double rowWidth = std::max(m_frameSize.width(), double(width())) - gutter - 1;

    const QList<TextCursor> &cursors = editor.cursors();
    const QList<SelectionSpan> spans = selectionSpans(cursors);
    const std::optional<qint64> &flashLine = editor.highlightLine();
    EditorSyntax *syntax = syncedSyntax();
    if (syntax) {
        syntax->highlighter().prepareLines(first, last);
    }

    for (qint64 line = first; line <= last; ++line) {
        const double y = yForLine(line);
        const QString text = document.line(line);
        const bool cursorLine = std::any_of(cursors.cbegin(), cursors.cend(), [line](const TextCursor &c) { return c.line == line; });

        if (flashLine == line) {
            painter.fillRect(QRectF(gutter + 1, y, rowWidth, h), flash);
        }
        if (cursorLine) {
            painter.fillRect(QRectF(gutter + 1, y, rowWidth, h), currentLine);
        }
        for (const SelectionSpan &span : spans) {
            if (line < span.startLine || line > span.endLine) {
                continue;
            }
            const double left = line == span.startLine ? xForColumnOf(text, span.startColumn) : textStart;
            const double right = line == span.endLine ? xForColumnOf(text, span.endColumn)
                                                      : xForColumnOf(text, characterCount(text)) + selectedBreakWidth;
            painter.fillRect(QRectF(left, y, std::max(0.0, right - left), h), selection);
        }
        if (!text.isEmpty()) {
            const std::shared_ptr<const LineLayout> layout = getLayout(text);
            const QPointF origin(textStart, y + textBaseline);
            const std::vector<SyntaxRun> runs = syntax ? syntax->runs(line, text) : std::vector<SyntaxRun>();
            if (runs.empty()) {
                painter.setPen(textColor);
                layout->draw(painter, origin, dirty.left() - textStart, dirty.right() - textStart);
            } else {
                drawHighlightedText(painter, *layout, origin, runs, dirty.left() - textStart,
                                    dirty.right() - textStart, h, colors);
            }
            if (whitespace) {
                QList<double> spaces;
                QList<double> tabs;
                collectWhitespaceMarks(text, *layout, spaces, tabs);
                painter.setPen(numberColor);
                spaceMark().drawAt(painter, origin, spaces);
                tabMark().drawAt(painter, origin, tabs);
            }
        }

        for (const TextCursor &cursor : cursors) {
            if (cursor.line == line) {
                const double x = xForColumnOf(text, std::min<qint64>(cursor.column, characterCount(text)));
                painter.fillRect(QRectF(x, y + 1, caretWidth, h - 2), blue);
            }
        }
    }
    drawGutter(painter, dirty, first, last);
}

// The gutter stays at the left edge of what is shown however far the text scrolls sideways,
// over the text that passes below it. It runs below the last line too.
void EditorCanvasView::drawGutter(QPainter &painter, const QRectF &dirty, qint64 first, qint64 last) const
{
    const double left = m_scrollOffset.x();
    const double gutter = gutterWidth();
    if (dirty.left() > left + gutter + 1) {
        return;
    }
    const EditorViewModel &editor = *m_editor;
    const VeskDocument &document = *editor.document();
    const QPalette &colors = palette();
    const double h = lineHeight();
    painter.fillRect(QRectF(left, dirty.top(), gutter, dirty.height()), textBackgroundColor(colors));
    painter.fillRect(QRectF(left, dirty.top(), gutter, dirty.height()), withAlpha(windowBackgroundColor(colors), 0.5));
    painter.fillRect(QRectF(left + gutter, dirty.top(), 1, dirty.height()), separatorColor(colors));
    const QColor numberColor = tertiaryLabelColor(colors);
    const QColor currentNumberColor = labelColor(colors);
    const QColor orange = systemColor(SystemColor::orange, colors);
    const QColor red = systemColor(SystemColor::red, colors);
    const double numberBaseline = baselineIn(lineNumberFont(), h);
    const QList<TextCursor> &cursors = editor.cursors();
    const QSet<qint64> &modified = document.modifiedLines();
    const QSet<qint64> &deletedAfter = document.deletedAfterLines();
    for (qint64 line = first; line <= last; ++line) {
        const double y = yForLine(line);
        const bool cursorLine = std::any_of(cursors.cbegin(), cursors.cend(), [line](const TextCursor &c) { return c.line == line; });
        if (modified.contains(line)) {
            painter.fillRect(QRectF(left, y, modifiedBarWidth, h), orange);
        }
        if (deletedAfter.contains(line)) {
            QPainterPath wedge;
            wedge.moveTo(left, y + h - deletedWedge);
            wedge.lineTo(left + deletedWedge, y + h);
            wedge.lineTo(left, y + h);
            wedge.closeSubpath();
            painter.fillPath(wedge, red);
        }
        const LineLayout number(QString::number(line + 1), lineNumberFont());
        painter.setPen(cursorLine ? currentNumberColor : numberColor);
        number.draw(painter, QPointF(left + gutter - number.width() - lineNumberRightGap, y + numberBaseline), 0, gutter);
    }
}

EditorCanvasView::Hit EditorCanvasView::hitTest(const QPointF &widgetPoint) const
{
    const QPointF point = widgetPoint + m_scrollOffset;
    const qint64 line = lineForY(point.y());
    return Hit{line, colForX(point.x(), line)};
}

void EditorCanvasView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::MiddleButton && m_editor) {
        pastePrimarySelection(hitTest(event->position()));
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_isDragging = false;
    m_dragBy = DragBy::Character;
    if (!m_editor) {
        return;
    }
    const Hit hit = hitTest(event->position());
    const bool third = m_doubleClickTime.isValid()
        && m_doubleClickTime.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval()
        && (event->position() - m_doubleClickPlace).manhattanLength() < clickSlop;
    m_doubleClickTime.invalidate();
    // Qt reports the Mac's Command key as Control, and Linux's Ctrl plays Command.
    if (third) {
        m_editor->selectLine(hit.line);
        m_dragBy = DragBy::Line;
        m_dragAnchorLine = hit.line;
        offerPrimarySelection();
    } else if (event->modifiers().testFlag(Qt::ControlModifier)) {
        m_editor->addCursor(hit.line, hit.column);
    } else if (event->modifiers().testFlag(Qt::ShiftModifier)) {
        m_editor->extendSelectionTo(hit.line, hit.column);
        const TextCursor &cursor = m_editor->cursors().first();
        m_dragAnchorLine = cursor.selectionAnchorLine.value_or(hit.line);
        m_dragAnchorCol = cursor.selectionAnchorColumn.value_or(hit.column);
        m_dragBy = DragBy::Extending;
        offerPrimarySelection();
    } else {
        m_editor->setCursors({TextCursor::at(hit.line, hit.column)});
        m_dragAnchorLine = hit.line;
        m_dragAnchorCol = hit.column;
    }
}

void EditorCanvasView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_isDragging = false;
    if (m_editor) {
        const Hit hit = hitTest(event->position());
        m_editor->selectWord(hit.line, hit.column);
        const auto [start, end] = m_editor->wordBounds(hit.line, hit.column);
        m_dragBy = DragBy::Word;
        m_dragAnchorLine = hit.line;
        m_wordStart = start;
        m_wordEnd = end;
        m_doubleClickTime.start();
        m_doubleClickPlace = event->position();
        offerPrimarySelection();
    }
}

// A drag after a double click grows by whole words, after a triple click by whole lines; the
// word or line clicked first stays selected.
void EditorCanvasView::dragTo(const Hit &hit)
{
    const qint64 length = characterCount(m_editor->document()->line(hit.line));
    TextCursor cursor;
    switch (m_dragBy) {
    case DragBy::Word: {
        const auto [start, end] = m_editor->wordBounds(hit.line, hit.column);
        const bool backward = std::pair(hit.line, start) < std::pair(m_dragAnchorLine, m_wordStart);
        cursor = backward ? TextCursor::at(hit.line, start) : TextCursor::at(hit.line, end);
        cursor.setAnchor(m_dragAnchorLine, backward ? m_wordEnd : m_wordStart);
        break;
    }
    case DragBy::Line: {
        const qint64 lines = m_editor->document()->lineCount();
        const bool backward = hit.line < m_dragAnchorLine;
        const qint64 anchorEnd = m_dragAnchorLine + 1 < lines ? m_dragAnchorLine + 1 : m_dragAnchorLine;
        if (backward) {
            cursor = TextCursor::at(hit.line, 0);
            cursor.setAnchor(anchorEnd, anchorEnd == m_dragAnchorLine ? characterCount(m_editor->document()->line(anchorEnd)) : 0);
        } else {
            cursor = hit.line + 1 < lines ? TextCursor::at(hit.line + 1, 0) : TextCursor::at(hit.line, length);
            cursor.setAnchor(m_dragAnchorLine, 0);
        }
        break;
    }
    default:
        cursor = TextCursor::at(hit.line, std::min(hit.column, length));
        cursor.setAnchor(m_dragAnchorLine, m_dragAnchorCol);
        break;
    }
    m_editor->setCursors({cursor});
}

void EditorCanvasView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_editor) {
        return;
    }
    const Hit hit = hitTest(event->position());
    if (m_dragBy != DragBy::Character) {
        m_isDragging = true;
        dragTo(hit);
    } else {
        if (!m_isDragging) {
            m_isDragging = true;
            m_editor->beginSelection(m_dragAnchorLine, m_dragAnchorCol);
        }
        const qint64 length = characterCount(m_editor->document()->line(hit.line));
        m_editor->extendSelection(hit.line, std::min(hit.column, length));
    }
    m_dragCurrentLine = hit.line;
    m_dragCurrentCol = hit.column;

    const double y = event->position().y() + m_scrollOffset.y();
    const QRectF visible = visibleRect();
    if (y < visible.top() + autoScrollZone) {
        Q_EMIT scrollRequested(QPointF(visible.left(), std::max(0.0, y - autoScrollLead)));
    } else if (y > visible.bottom() - autoScrollZone) {
        Q_EMIT scrollRequested(QPointF(visible.left(), y - visible.height() + autoScrollLead));
    }
}

void EditorCanvasView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_isDragging) {
        m_isDragging = false;
        if (m_editor) {
            m_editor->setTrackpadSelecting(false);
            offerPrimarySelection();
        }
    }
}

void EditorCanvasView::contextMenuEvent(QContextMenuEvent *event)
{
    makeContextMenu()->popup(event->globalPos());
}

QMenu *EditorCanvasView::makeContextMenu()
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto add = [&](const QString &title, const QKeySequence &keys, void (EditorCanvasView::*command)()) {
        QAction *action = menu->addAction(title);
        action->setShortcut(keys);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, this, command);
        return action;
    };
    const std::optional<QString> selected = m_editor ? m_editor->selectedText() : std::nullopt;
    const bool hasSelection = selected && !selected->isEmpty();
    add(QStringLiteral("Cut"), QKeySequence::Cut, &EditorCanvasView::cutText)->setEnabled(hasSelection);
    add(QStringLiteral("Copy"), QKeySequence::Copy, &EditorCanvasView::copyText)->setEnabled(hasSelection);
    add(QStringLiteral("Paste"), QKeySequence::Paste, &EditorCanvasView::pasteText);
    menu->addSeparator();
    add(QStringLiteral("Select All"), QKeySequence::SelectAll, &EditorCanvasView::selectAllText);
    return menu;
}

void EditorCanvasView::copyText()
{
    if (!m_editor) {
        return;
    }
    if (const std::optional<QString> text = m_editor->selectedText()) {
        SystemClipboard().setPlainText(*text);
    }
}

void EditorCanvasView::cutText()
{
    if (!m_editor || !m_editor->selectedText()) {
        return;
    }
    copyText();
    m_editor->deleteSelection();
}

void EditorCanvasView::pasteText()
{
    const std::optional<QString> text = SystemClipboard().plainText();
    if (!m_editor || !text) {
        return;
    }
    m_editor->paste(*text);
}

// Selecting text offers it to other programs as the primary selection (Linux).
void EditorCanvasView::offerPrimarySelection()
{
    const std::optional<QString> text = m_editor ? m_editor->selectedText() : std::nullopt;
    if (text && !text->isEmpty()) {
        SystemClipboard().setPrimaryText(*text);
    }
}

void EditorCanvasView::pastePrimarySelection(const Hit &hit)
{
    const std::optional<QString> text = SystemClipboard().primaryText();
    if (!text) {
        return;
    }
    m_editor->setCursors({TextCursor::at(hit.line, hit.column)});
    m_editor->paste(*text);
}

void EditorCanvasView::selectAllText()
{
    if (m_editor) {
        m_editor->selectAll();
    }
}

} // namespace vesk
