#pragma once

#include <QObject>

namespace vesk {

// The canvas's scroll position: how far the text is scrolled and how tall the visible part is,
// in points. Views publish it here so that the minimap and the workspace can read it.
class ScrollState : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    double offsetY() const { return m_offsetY; }
    double viewportHeight() const { return m_viewportHeight; }
    void setOffsetY(double value);
    void setViewportHeight(double value);

Q_SIGNALS:
    void willChange();

private:
    double m_offsetY = 0.0;
    double m_viewportHeight = 0.0;
};

} // namespace vesk
