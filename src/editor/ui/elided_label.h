#pragma once

#include <QLabel>

namespace vesk {

// A one-line label that shortens its text with an ellipsis where it does not fit (in the
// middle by default, so a path keeps its start and its file name). The full text is its tooltip.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr, Qt::TextElideMode mode = Qt::ElideMiddle);

    void setFullText(const QString &text);
    const QString &fullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateShown();

    QString m_fullText;
    Qt::TextElideMode m_mode;
};

} // namespace vesk
