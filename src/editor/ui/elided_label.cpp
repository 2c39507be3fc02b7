#include "editor/ui/elided_label.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace vesk {

ElidedLabel::ElidedLabel(QWidget *parent, Qt::TextElideMode mode)
    : QLabel(parent)
    , m_mode(mode)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

void ElidedLabel::setFullText(const QString &text)
{
    if (text == m_fullText) {
        return;
    }
    m_fullText = text;
    setToolTip(text);
    updateShown();
    updateGeometry();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3, QLabel::minimumSizeHint().height());
}

QSize ElidedLabel::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(m_fullText) + 2, QLabel::sizeHint().height());
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateShown();
}

void ElidedLabel::updateShown()
{
    setText(fontMetrics().elidedText(m_fullText, m_mode, width()));
    if (m_showsFullTextOnClick && isElided()) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void ElidedLabel::setShowsFullTextOnClick(bool shows)
{
    m_showsFullTextOnClick = shows;
    updateShown();
}

void ElidedLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (m_showsFullTextOnClick && isElided() && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        showFullText();
    }
}

// A popup closes by itself on the next click elsewhere or on Escape; its text can be selected
// and copied.
void ElidedLabel::showFullText()
{
    if (m_popup) {
        m_popup->close();
    }
    auto *popup = new QFrame(this, Qt::Popup);
    popup->setObjectName(QStringLiteral("fullTextPopup"));
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(popup);
    layout->setContentsMargins(10, 8, 10, 8);
    auto *label = new QLabel(m_fullText, popup);
    label->setObjectName(QStringLiteral("fullText"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFont(font());
    layout->addWidget(label);

    const QRect screen = (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    const int width = std::min({fontMetrics().horizontalAdvance(m_fullText) + 24, 460, screen.width() - 16});
    label->setFixedWidth(width - 20);
    popup->adjustSize();
    // Above the label (the status row sits at the bottom of its window), within the window
    // where it fits, and on the screen.
    QPoint at = mapToGlobal(QPoint(0, -popup->height() - 4));
    if (at.y() < screen.top()) {
        at.setY(mapToGlobal(QPoint(0, height() + 4)).y());
    }
    const QRect window = QRect(this->window()->mapToGlobal(QPoint(0, 0)), this->window()->size());
    const QRect bounds = window.width() >= popup->width() + 16 ? window.intersected(screen) : screen;
    at.setX(std::clamp(at.x(), bounds.left() + 8, std::max(bounds.left() + 8, bounds.right() - popup->width() - 8)));
    popup->move(at);
    m_popup = popup;
    popup->show();
}

} // namespace vesk
