#pragma once

#include <QWidget>

#include <functional>
#include <optional>

namespace vesk {

// The thin line between the sidebar and the editor, dragged to change the sidebar's width. While
// dragging, the width is the width at the start plus the pointer's travel, kept within
// minimumWidth..maximumWidth; the end of a drag reports the final width.
class SidebarSplitter : public QWidget
{
    Q_OBJECT

public:
    static constexpr double minimumWidth = 180;
    static constexpr double maximumWidth = 500;
    static constexpr double defaultWidth = 280;

    // `target` is the sidebar whose width the splitter sets.
    SidebarSplitter(QWidget *target, QWidget *parent = nullptr);

    double sidebarWidth() const { return m_width; }
    void setSidebarWidth(double width);

    // The width a new sidebar starts with, from the stored preference: taken when above 100
    // (and no wider than a drag could make it), else the default.
    static double initialWidth(double stored);
    static double clampedWidth(double width);

Q_SIGNALS:
    void dragFinished(double width);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QWidget *m_target;
    double m_width = defaultWidth;
    std::optional<double> m_dragStartWidth;
    double m_dragStartX = 0;
    bool m_moved = false;
};

} // namespace vesk
