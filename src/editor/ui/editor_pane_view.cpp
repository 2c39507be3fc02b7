#include "editor/ui/editor_pane_view.h"

#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/editor_scroll_host.h"
#include "editor/ui/minimap_view.h"

#include <QHBoxLayout>
#include <QPainter>

namespace vesk {

namespace {

// The one-point line between the canvas and the minimap.
class Divider : public QWidget
{
public:
    explicit Divider(QWidget *parent)
        : QWidget(parent)
    {
        setFixedWidth(1);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(rect(), separatorColor(palette()));
    }
};

} // namespace

EditorPaneView::EditorPaneView(EditorViewModel *editor, QWidget *parent)
    : QWidget(parent)
{
    m_scrollHost = new EditorScrollHost(editor, this);
    m_minimap = new MinimapView(editor, this);
    QPointer<EditorViewModel> weakEditor(editor);
    m_minimap->setScrollToLine([weakEditor](qint64 line) {
        if (weakEditor) {
            weakEditor->setMinimapScrollTarget(line);
        }
    });
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_scrollHost, 1);
    row->addWidget(new Divider(this));
    row->addWidget(m_minimap);
    setFocusProxy(m_scrollHost);
}

EditorCanvasView *EditorPaneView::canvas() const
{
    return m_scrollHost->canvas();
}

void EditorPaneView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_minimap->setContainerHeight(height());
}

} // namespace vesk
