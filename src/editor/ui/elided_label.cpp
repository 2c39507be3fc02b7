#include "editor/ui/elided_label.h"

#include <QFontMetrics>

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
}

} // namespace vesk
