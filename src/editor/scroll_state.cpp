#include "editor/scroll_state.h"

namespace vesk {

void ScrollState::setOffsetY(double value)
{
    Q_EMIT willChange();
    m_offsetY = value;
}

void ScrollState::setViewportHeight(double value)
{
    Q_EMIT willChange();
    m_viewportHeight = value;
}

} // namespace vesk
