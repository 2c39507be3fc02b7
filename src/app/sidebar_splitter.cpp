#include "app/sidebar_splitter.h"

#include "editor/ui/editor_colors.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vesk {

namespace {

constexpr int grabWidth = 5;  // the line is one point; the pointer may grab a little around it

} // namespace

SidebarSplitter::SidebarSplitter(QWidget *target, QWidget *parent)
    : QWidget(parent)
    , m_target(target)
{
    setFixedWidth(grabWidth);
    setCursor(Qt::SplitHCursor);
    setFocusPolicy(Qt::NoFocus);
    setSidebarWidth(m_width);
}

double SidebarSplitter::initialWidth(double stored)
{
    return stored > 100 ? std::min(stored, maximumWidth) : defaultWidth;
}

double SidebarSplitter::clampedWidth(double width)
{
    return std::clamp(width, minimumWidth, maximumWidth);
}

void SidebarSplitter::setSidebarWidth(double width)
{
    m_width = width;
    m_target->setFixedWidth(int(std::lround(width)));
}

void SidebarSplitter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), textBackgroundColor(palette()));
    painter.fillRect(QRect(grabWidth / 2, 0, 1, height()), separatorColor(palette()));
}

void SidebarSplitter::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragStartWidth = m_width;
        m_dragStartX = event->globalPosition().x();
        m_moved = false;
    }
}

void SidebarSplitter::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragStartWidth && (event->buttons() & Qt::LeftButton)) {
        const double travel = event->globalPosition().x() - m_dragStartX;
        m_moved = m_moved || std::abs(travel) >= 1;
        if (m_moved) {
            setSidebarWidth(clampedWidth(*m_dragStartWidth + travel));
        }
    }
}

void SidebarSplitter::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && std::exchange(m_dragStartWidth, std::nullopt) && m_moved) {
        Q_EMIT dragFinished(m_width);
    }
}

} // namespace vesk
