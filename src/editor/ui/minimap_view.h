#pragma once

#include "editor/editor_view_model.h"

#include <QPointer>
#include <QImage>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

namespace vesk {

// The whole document at a tiny scale beside the canvas: a bar per line for its indentation and
// length, the modified and deleted-after marks, the carets' lines in blue, and a marker over the
// visible region. A click or a drag names a line to scroll to.
//
// At most 3 points per line; when lines are thinner than a pixel, each pixel row shows one line
// of those it covers (a caret's line when it holds one) with the marks of all of them, so a frame
// costs the same for a thousand lines or a million.
//
// The bars are kept in an image: scrolling only moves the marker over it. When drawing the bars
// takes long (very large documents), edits redraw them at most a few times a second, so typing
// does not wait for the minimap.
class MinimapView : public QWidget
{
    Q_OBJECT

public:
    static constexpr double defaultWidth = 80;

    explicit MinimapView(EditorViewModel *editor, QWidget *parent = nullptr);

    void setEditor(EditorViewModel *editor);
    // The editor area's height, used until the scroll position reports the visible height.
    void setContainerHeight(double height);
    // Receives the line a click or drag asks for; hosts pass it to setMinimapScrollTarget.
    void setScrollToLine(std::function<void(qint64)> scrollToLine) { m_scrollToLine = std::move(scrollToLine); }

    struct Geometry
    {
        qint64 lines = 0;            // n
        double pitch = 0;            // points per line
        double drawnHeight = 0;      // height the lines take
        double markerTop = 0;
        double markerHeight = 0;
    };
    Geometry geometry() const;
    // Draws the whole minimap (background, bars, marker) without the kept image.
    void drawFrame(QPainter &painter);
    // The line a click at `y` names.
    qint64 lineForY(double y) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Which pixel rows hold a line of a set, kept while the set stays the same.
    struct RowMarks
    {
        QSet<qint64> lines;
        qint64 rows = -1;
        double pitch = 0;
        std::vector<bool> marked;
    };
    struct Bars;

    void drawBars(QPainter &painter, const Geometry &geometry);
    void drawMarker(QPainter &painter, const Geometry &geometry) const;
    void barsChanged();
    void drawLines(Bars &bars, const Geometry &geometry) const;
    void drawRows(Bars &bars, const Geometry &geometry);
    static const std::vector<bool> &rowsOf(const QSet<qint64> &lines, qint64 rows, double pitch, RowMarks &cache);
    void pointerAt(double y);

    QPointer<EditorViewModel> m_editor;
    QMetaObject::Connection m_editorConnection;
    QMetaObject::Connection m_scrollConnection;
    double m_containerHeight = 0;
    std::function<void(qint64)> m_scrollToLine;
    RowMarks m_modifiedRows;
    RowMarks m_deletedRows;
    QImage m_bars;
    bool m_barsStale = true;
    double m_barsCostMs = 0;  // how long the bars took to draw last time
    QTimer m_barsTimer;       // running while a costly redraw of the bars waits
};

} // namespace vesk
