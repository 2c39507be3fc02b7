#include "editor/ui/minimap_view.h"

#include "editor/line_chars.h"
#include "editor/ui/editor_colors.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr double maxPitch = 3;
constexpr double minMarkerHeight = 12;
constexpr double markWidth = 3;
constexpr double barLeft = 4;
constexpr double indentStep = 0.4;
constexpr double characterStep = 0.5;
constexpr double costlyBarsMs = 2;    // bars slower than this are redrawn on a timer while editing
constexpr int costlyBarsDelayMs = 150;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Indentation (spaces and tabs, each counting 1) and the number of characters left after
// trimming spaces and tabs at both ends.
std::pair<qint64, qint64> barExtent(const QString &line)
{
    qsizetype start = 0;
    while (start < line.size() && isBlank(line[start])) {
        ++start;
    }
    qsizetype end = line.size();
    while (end > start && isBlank(line[end - 1])) {
        --end;
    }
    return {start, characterCount(QStringView(line).mid(start, end - start))};
}

} // namespace

struct MinimapView::Bars
{
    QList<QRectF> modified;
    QList<QRectF> deleted;
    QList<QRectF> text;
    QList<QRectF> cursorText;

    void addLine(const QString &line, double y, double rowHeight, double width, bool cursorLine, bool isModified,
                 bool isDeletedAfter)
    {
        if (isModified) {
            modified.append(QRectF(0, y, markWidth, rowHeight));
        }
        if (isDeletedAfter) {
            deleted.append(QRectF(0, y + rowHeight - 1, markWidth, 1));
        }
        const auto [indent, length] = barExtent(line);
        if (length == 0) {
            return;
        }
        const double x = barLeft + indent * indentStep;
        const double barWidth = std::min(length * characterStep, width - x - 2);
        if (barWidth > 0) {
            (cursorLine ? cursorText : text).append(QRectF(x, y, barWidth, std::max(rowHeight - 0.5, 1.0)));
        }
    }
};

MinimapView::MinimapView(EditorViewModel *editor, QWidget *parent)
    : QWidget(parent)
{
    setFixedWidth(int(defaultWidth));
    setCursor(Qt::PointingHandCursor);
    m_barsTimer.setSingleShot(true);
    m_barsTimer.setInterval(costlyBarsDelayMs);
    connect(&m_barsTimer, &QTimer::timeout, this, [this] { update(); });
    setEditor(editor);
}

void MinimapView::barsChanged()
{
    m_barsStale = true;
    if (m_barsCostMs < costlyBarsMs) {
        update();
    } else if (!m_barsTimer.isActive()) {
        m_barsTimer.start();  // not restarted by later changes: continuous typing still shows up
    }
}

void MinimapView::setEditor(EditorViewModel *editor)
{
    disconnect(m_editorConnection);
    disconnect(m_scrollConnection);
    m_editor = editor;
    m_barsStale = true;
    if (editor) {
        m_editorConnection = connect(editor, &EditorViewModel::willChange, this, &MinimapView::barsChanged);
        m_scrollConnection = connect(editor->scrollState(), &ScrollState::willChange, this, [this] { update(); });
    }
    update();
}

void MinimapView::setContainerHeight(double height)
{
    if (height != m_containerHeight) {
        m_containerHeight = height;
        update();
    }
}

MinimapView::Geometry MinimapView::geometry() const
{
    Geometry g;
    g.lines = m_editor ? m_editor->document()->lineCount() : 0;
    const double n = double(std::max<qint64>(g.lines, 1));
    const double h = m_editor ? m_editor->lineHeight() : 20;
    const double available = height();
    const double total = n * h;
    const ScrollState *scroll = m_editor ? m_editor->scrollState() : nullptr;
    const double visible = scroll && scroll->viewportHeight() > 0 ? scroll->viewportHeight() : m_containerHeight;
    const double scrolled = scroll && scroll->offsetY() <= 0 ? -scroll->offsetY() : 0;
    const double fraction = total - visible <= 0 ? 0 : std::min(1.0, scrolled / (total - visible));
    const double visibleFraction = std::min(1.0, total < 1 ? visible : visible / total);
    g.pitch = std::min(available / n, maxPitch);
    g.drawnHeight = std::min(n * g.pitch, available);
    g.markerHeight = std::max(g.drawnHeight * visibleFraction, minMarkerHeight);
    g.markerTop = std::max(0.0, std::min(g.drawnHeight - g.markerHeight, (g.drawnHeight - g.markerHeight) * fraction));
    return g;
}

qint64 MinimapView::lineForY(double y) const
{
    const Geometry g = geometry();
    if (g.lines <= 0) {
        return 0;
    }
    const double t = y / std::max(g.drawnHeight, 1.0);
    return std::clamp<qint64>(qint64(std::floor(t * g.lines)), 0, g.lines - 1);
}

void MinimapView::paintEvent(QPaintEvent *)
{
    const Geometry g = geometry();
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (m_bars.size() != pixels || (m_barsStale && !m_barsTimer.isActive())) {
        m_bars = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_bars.setDevicePixelRatio(ratio);
        m_bars.fill(Qt::transparent);
        QPainter barsPainter(&m_bars);
        QElapsedTimer timer;
        timer.start();
        drawBars(barsPainter, g);
        m_barsCostMs = double(timer.nsecsElapsed()) / 1e6;
        m_barsStale = false;
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), m_bars);
    drawMarker(painter, g);
}

void MinimapView::drawFrame(QPainter &painter)
{
    const Geometry g = geometry();
    drawBars(painter, g);
    drawMarker(painter, g);
}

void MinimapView::drawBars(QPainter &painter, const Geometry &g)
{
    const QPalette &colors = palette();
    painter.fillRect(rect(), withAlpha(textBackgroundColor(colors), 0.5));
    if (!m_editor || g.lines <= 0 || g.pitch <= 0) {
        return;
    }
    Bars bars;
    if (g.pitch >= 1) {
        drawLines(bars, g);
    } else {
        drawRows(bars, g);
    }
    painter.setPen(Qt::NoPen);
    const auto fill = [&painter](const QList<QRectF> &rects, const QColor &color) {
        painter.setBrush(color);
        painter.drawRects(rects.constData(), int(rects.size()));
    };
    fill(bars.modified, systemColor(SystemColor::orange, colors));
    fill(bars.deleted, systemColor(SystemColor::red, colors));
    fill(bars.text, withAlpha(labelColor(colors), 0.25));
    fill(bars.cursorText, withAlpha(systemColor(SystemColor::blue, colors), 0.8));
}

void MinimapView::drawMarker(QPainter &painter, const Geometry &g) const
{
    const QColor blue = systemColor(SystemColor::blue, palette());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(withAlpha(blue, 0.25), 1));
    painter.setBrush(withAlpha(blue, 0.12));
    painter.drawRoundedRect(QRectF(0.5, g.markerTop + 0.5, width() - 1, g.markerHeight - 1), 3, 3);
    painter.restore();
}

// Every line has a row of its own (a pitch of at most 3 and at least 1 point).
void MinimapView::drawLines(Bars &bars, const Geometry &g) const
{
    const VeskDocument &document = *m_editor->document();
    QSet<qint64> cursorLines;
    for (const TextCursor &cursor : m_editor->cursors()) {
        cursorLines.insert(cursor.line);
    }
    LineReader reader(document.vesk());
    QString line;
    for (qint64 i = 0; i < g.lines && reader.next(line); ++i) {
        bars.addLine(line, g.pitch * i, std::max(g.pitch, 1.0), width(), cursorLines.contains(i),
                     document.modifiedLines().contains(i), document.deletedAfterLines().contains(i));
    }
}

// Lines thinner than a pixel: one bar per pixel row, for a caret's line in that row or else the
// row's first line; a row is marked when any of its lines is.
void MinimapView::drawRows(Bars &bars, const Geometry &g)
{
    const VeskDocument &document = *m_editor->document();
    const qint64 rows = qint64(std::ceil(g.drawnHeight));
    const auto rowOf = [&](qint64 line) { return std::min<qint64>(qint64(std::floor(line * g.pitch)), rows - 1); };
    QHash<qint64, qint64> cursorLineOfRow;
    for (const TextCursor &cursor : m_editor->cursors()) {
        if (cursor.line >= 0 && cursor.line < g.lines) {
            cursorLineOfRow.insert(rowOf(cursor.line), cursor.line);
        }
    }
    const std::vector<bool> &modified = rowsOf(document.modifiedLines(), rows, g.pitch, m_modifiedRows);
    const std::vector<bool> &deleted = rowsOf(document.deletedAfterLines(), rows, g.pitch, m_deletedRows);
    for (qint64 row = 0; row < rows; ++row) {
        qint64 first = qint64(std::ceil(row / g.pitch));
        if (first < g.lines && rowOf(first) < row) {
            ++first;  // rounding put the estimate one line early
        }
        if (first >= g.lines || rowOf(first) != row) {
            continue;
        }
        const auto cursorLine = cursorLineOfRow.constFind(row);
        const bool onCursor = cursorLine != cursorLineOfRow.constEnd();
        const qint64 shown = onCursor ? cursorLine.value() : first;
        bars.addLine(document.line(shown), double(row), 1.0, width(), onCursor, modified[size_t(row)],
                     deleted[size_t(row)]);
    }
}

const std::vector<bool> &MinimapView::rowsOf(const QSet<qint64> &lines, qint64 rows, double pitch, RowMarks &cache)
{
    if (cache.rows == rows && cache.pitch == pitch && cache.lines == lines) {
        return cache.marked;
    }
    cache.lines = lines;
    cache.rows = rows;
    cache.pitch = pitch;
    cache.marked.assign(size_t(std::max<qint64>(rows, 0)), false);
    for (const qint64 line : lines) {
        const qint64 row = std::min<qint64>(qint64(std::floor(line * pitch)), rows - 1);
        if (row >= 0) {
            cache.marked[size_t(row)] = true;
        }
    }
    return cache.marked;
}

void MinimapView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pointerAt(event->position().y());
    }
}

void MinimapView::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        pointerAt(event->position().y());
    }
}

void MinimapView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        m_barsStale = true;
        update();
    }
}

void MinimapView::pointerAt(double y)
{
    if (m_editor && m_scrollToLine && geometry().lines > 0) {
        m_scrollToLine(lineForY(y));
    }
}

} // namespace vesk
