#include "editor/ui/editor_scroll_host.h"

#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_canvas_view.h"

#include <QEvent>
#include <QScrollBar>

#include <cmath>

namespace vesk {

namespace {

constexpr double revealMargin = 40;  // keep this much room beside a caret brought into view

} // namespace

EditorScrollHost::EditorScrollHost(EditorViewModel *editor, QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_canvas(new EditorCanvasView(viewport()))
    , m_refresh(new DeferredRefresh(this, [this] { sync(); }))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusProxy(m_canvas);
    connect(m_canvas, &EditorCanvasView::frameSizeChanged, this, &EditorScrollHost::updateScrollBars);
    connect(m_canvas, &EditorCanvasView::scrollRequested, this, &EditorScrollHost::scrollTo);
    setEditor(editor);
}

void EditorScrollHost::setEditor(EditorViewModel *editor)
{
    disconnect(m_editorConnection);
    disconnect(m_revealConnection);
    m_editor = editor;
    m_canvas->setEditor(editor);
    if (editor) {
        m_editorConnection = m_refresh->watch(editor, &EditorViewModel::willChange);
        m_revealConnection =
            connect(editor, &EditorViewModel::revealCursorRequested, this, &EditorScrollHost::revealCursorSoon);
    }
    m_canvas->updateFrameSize();
    m_refresh->request();
}

bool EditorScrollHost::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        m_canvas->setGeometry(viewport()->rect());
        m_canvas->updateFrameSize();
        updateScrollBars();
        scrollChanged();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void EditorScrollHost::updateScrollBars()
{
    const QSizeF frame = m_canvas->frameSize();
    const QSize visible = viewport()->size();
    verticalScrollBar()->setRange(0, std::max(0, int(std::ceil(frame.height())) - visible.height()));
    verticalScrollBar()->setPageStep(visible.height());
    verticalScrollBar()->setSingleStep(int(m_canvas->lineHeight()));
    horizontalScrollBar()->setRange(0, std::max(0, int(std::ceil(frame.width())) - visible.width()));
    horizontalScrollBar()->setPageStep(visible.width());
    horizontalScrollBar()->setSingleStep(int(m_canvas->lineHeight()));
}

void EditorScrollHost::scrollContentsBy(int, int)
{
    m_canvas->setScrollOffset(QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value()));
    scrollChanged();
}

void EditorScrollHost::scrollTo(const QPointF &topLeft)
{
    horizontalScrollBar()->setValue(int(std::lround(topLeft.x())));
    verticalScrollBar()->setValue(int(std::lround(topLeft.y())));
}

void EditorScrollHost::scrollChanged()
{
    if (!m_editor) {
        return;
    }
    ScrollState *state = m_editor->scrollState();
    const double offsetY = -double(verticalScrollBar()->value());
    const double height = viewport()->height();
    if (state->offsetY() != offsetY) {
        state->setOffsetY(offsetY);
    }
    if (state->viewportHeight() != height) {
        state->setViewportHeight(height);
    }
}

void EditorScrollHost::revealCursorSoon()
{
    m_revealPending = true;
    m_refresh->request();
}

// Runs a moment after the editor announced a change, when the change has been stored.
void EditorScrollHost::sync()
{
    m_canvas->updateFrameSize();
    if (!m_editor) {
        return;
    }
    ScrollState *state = m_editor->scrollState();
    const double visibleHeight = viewport()->height();
    if (visibleHeight > 0 && std::abs(visibleHeight - state->viewportHeight()) > 1) {
        state->setViewportHeight(visibleHeight);
    }
    if (const std::optional<qint64> target = m_editor->minimapScrollTarget()) {
        scrollTo(QPointF(0, std::max(0.0, m_canvas->yForLine(*target) - visibleHeight * 0.5)));
        m_revealPending = false;
        QPointer<EditorViewModel> editor = m_editor;
        QMetaObject::invokeMethod(
            this,
            [editor] {
                if (editor) {
                    editor->setMinimapScrollTarget(std::nullopt);
                }
            },
            Qt::QueuedConnection);
    }
    if (m_revealPending) {
        m_revealPending = false;
        revealCursor();
    }
}

// Scrolls the least distance that shows the last caret.
void EditorScrollHost::revealCursor()
{
    if (!m_editor || m_editor->cursors().isEmpty()) {
        return;
    }
    const TextCursor &caret = m_editor->cursors().last();
    const QRectF visible = m_canvas->visibleRect();
    const double top = m_canvas->yForLine(caret.line);
    const double bottom = top + m_canvas->lineHeight();
    QPointF next = visible.topLeft();
    if (top < visible.top()) {
        next.setY(top);
    } else if (bottom > visible.bottom()) {
        next.setY(bottom - visible.height());
    }
    const double x = m_canvas->xForCol(caret.column, caret.line);
    if (x > visible.right() - revealMargin / 2) {
        next.setX(x - visible.width() + revealMargin);
    } else if (x < visible.left() + m_canvas->textX()) {
        next.setX(std::max(0.0, x - m_canvas->textX() - revealMargin));
    }
    if (next != visible.topLeft()) {
        scrollTo(next);
    }
}

} // namespace vesk
