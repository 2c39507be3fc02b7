#pragma once

#include "editor/editor_view_model.h"

#include <QPointer>
#include <QWidget>

namespace vesk {

class EditorCanvasView;
class EditorScrollHost;
class MinimapView;

// The editor's text area as every host shows it: the canvas in its scroll host, a one-point
// divider and the minimap, which scrolls the canvas when clicked. Focus goes to the canvas.
class EditorPaneView : public QWidget
{
    Q_OBJECT

public:
    explicit EditorPaneView(EditorViewModel *editor, QWidget *parent = nullptr);

    EditorScrollHost *scrollHost() const { return m_scrollHost; }
    EditorCanvasView *canvas() const;
    MinimapView *minimap() const { return m_minimap; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    EditorScrollHost *m_scrollHost = nullptr;
    MinimapView *m_minimap = nullptr;
};

} // namespace vesk
