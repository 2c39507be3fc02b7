#pragma once

#include "editor/editor_view_model.h"

#include <QAbstractScrollArea>
#include <QPointer>

namespace vesk {

class DeferredRefresh;
class EditorCanvasView;

// Embeds one canvas in a scroll area: scroll bars that appear when needed, no frame. Keeps the
// editor's ScrollState current, and scrolls to the editor's minimapScrollTarget (set by the
// minimap and by go-to-line) with that line's top at the middle of the visible area.
class EditorScrollHost : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit EditorScrollHost(EditorViewModel *editor, QWidget *parent = nullptr);

    EditorCanvasView *canvas() const { return m_canvas; }
    EditorViewModel *editor() const { return m_editor; }
    void setEditor(EditorViewModel *editor);

    // Shows the text area from `topLeft` (canvas coordinates), within the scroll range.
    void scrollTo(const QPointF &topLeft);
    // Brings the last caret into view once the editor's pending changes are laid out; called
    // after a key has moved or edited.
    void revealCursorSoon();

protected:
    bool viewportEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void sync();
    void updateScrollBars();
    void scrollChanged();
    void revealCursor();

    QPointer<EditorViewModel> m_editor;
    QMetaObject::Connection m_editorConnection;
    QMetaObject::Connection m_revealConnection;
    EditorCanvasView *m_canvas = nullptr;
    DeferredRefresh *m_refresh = nullptr;
    bool m_revealPending = false;
};

} // namespace vesk
