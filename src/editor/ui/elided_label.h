#pragma once

#include <QLabel>
#include <QPointer>

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
    bool isElided() const { return text() != m_fullText; }
    // A click on a shortened text shows all of it in a small wrapping panel beside the label.
    void setShowsFullTextOnClick(bool shows);
    // The panel while it is open.
    QWidget *fullTextPopup() const { return m_popup; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void updateShown();
    void showFullText();

    QString m_fullText;
    Qt::TextElideMode m_mode;
    bool m_showsFullTextOnClick = false;
    QPointer<QWidget> m_popup;
};

} // namespace vesk
