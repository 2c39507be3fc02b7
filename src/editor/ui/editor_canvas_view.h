#pragma once

#include "editor/editor_view_model.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSizeF>
#include <QWidget>

#include <vector>

class QMenu;

namespace vesk {

class DeferredRefresh;
class EditorSyntax;

// The editor's text, drawn by hand: gutter with line numbers and change marks, the visible
// lines, selections, whitespace marks and carets. Shows one EditorViewModel (held weakly).
//
// After the editor announces a change, the canvas compares what each visible line would show
// with what it showed and repaints only the lines that differ, so a keystroke redraws a line.
//
// The canvas is as large as its viewport and draws the part of the whole text area that the
// scroll host shows; "canvas coordinates" are those of the whole text area, origin top left,
// y down. Keys do not pass through the canvas: the window's key hook routes them to the editor.
class EditorCanvasView : public QWidget
{
    Q_OBJECT

public:
    static constexpr double textInsetX = 6;

    explicit EditorCanvasView(QWidget *parent = nullptr);

    EditorViewModel *editor() const { return m_editor; }
    void setEditor(EditorViewModel *editor);

    // Geometry, in canvas coordinates. Without an editor: line height 20 and no lines.
    double lineHeight() const;
    double yForLine(qint64 line) const;
    double totalContentHeight() const;
    double gutterWidth() const;
    double textX() const { return gutterWidth() + 1 + textInsetX; }
    qint64 lineForY(double y) const;
    qint64 colForX(double x, qint64 line) const;
    double xForCol(qint64 column, qint64 line) const;

    // The size of the whole text area; recomputed from the line count and a sample of line widths.
    QSizeF frameSize() const { return m_frameSize; }
    void updateFrameSize();
    // Top left of the visible part, in canvas coordinates; set by the scroll host.
    QPointF scrollOffset() const { return m_scrollOffset; }
    void setScrollOffset(const QPointF &offset);
    QRectF visibleRect() const;

    // Draws the part `dirty` (canvas coordinates) of the text area.
    void drawFrame(QPainter &painter, const QRectF &dirty) const;

    // The context menu's commands, on the system clipboard.
    void cutText();
    void copyText();
    void pasteText();
    void selectAllText();

    bool isDragging() const { return m_isDragging; }

Q_SIGNALS:
    void frameSizeChanged();
    // Asks the scroll host to show the text area from `topLeft`.
    void scrollRequested(const QPointF &topLeft);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    struct Hit
    {
        qint64 line = 0;
        qint64 column = 0;
    };
    Hit hitTest(const QPointF &widgetPoint) const;
    double xForColumnOf(const QString &text, qint64 column) const;
    qint64 columnForXOf(const QString &text, double x) const;
    QMenu *makeContextMenu();
    void dragTo(const Hit &hit);
    void drawGutter(QPainter &painter, const QRectF &dirty, qint64 first, qint64 last) const;
    void offerPrimarySelection();
    void pastePrimarySelection(const Hit &hit);

    // What the visible lines show, to find the ones a change touched.
    struct Look
    {
        QPointF scroll;
        QSize size;
        double frameWidth = 0;
        double gutter = 0;
        double lineHeight = 0;
        qint64 first = 0;
        qint64 last = -1;
        std::vector<size_t> rows;  // one fingerprint per visible line
    };
    Look currentLook() const;
    // The editor's syntax highlighting, up to date with its text; null when it is switched off.
    EditorSyntax *syncedSyntax() const;
    void repaintChangedLines();

    QPointer<EditorViewModel> m_editor;
    QMetaObject::Connection m_editorConnection;
    QMetaObject::Connection m_syntaxConnection;
    bool m_isDragging = false;
    qint64 m_dragAnchorLine = 0;
    qint64 m_dragAnchorCol = 0;
    qint64 m_dragCurrentLine = 0;
    qint64 m_dragCurrentCol = 0;
    enum class DragBy { Character, Extending, Word, Line };
    DragBy m_dragBy = DragBy::Character;
    qint64 m_wordStart = 0;  // the word a double click selected, on m_dragAnchorLine
    qint64 m_wordEnd = 0;
    QElapsedTimer m_doubleClickTime;
    QPointF m_doubleClickPlace;
    qint64 m_lastFrameLineCount = -1;
    double m_lastFrameSuperview = 0;
    QSizeF m_frameSize;
    QPointF m_scrollOffset;
    Look m_look;
    DeferredRefresh *m_lookCheck = nullptr;
};

} // namespace vesk
