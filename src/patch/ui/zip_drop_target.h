#pragma once

#include <QWidget>

namespace vesk {

// The toolbar's target for a patch zip dragged in from a browser, a mail client or the file
// manager. Any drag turns its highlight on and is offered a copy; what the drop carries is judged
// only when it lands (zipFromDrop), and either a file to analyse or a diagnostic comes out.
class ZipDropTarget : public QWidget
{
    Q_OBJECT

public:
    explicit ZipDropTarget(QWidget *parent = nullptr);

    bool isTargeted() const { return m_targeted; }
    QSize sizeHint() const override;

Q_SIGNALS:
    // A usable drop: `ownsFile` says the file is a private copy the receiver must delete.
    void zipDropped(const QString &path, bool ownsFile);
    void dropFailed(const QString &diagnostic);
    void targetedChanged(bool targeted);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setTargeted(bool targeted);

    bool m_targeted = false;
};

} // namespace vesk
