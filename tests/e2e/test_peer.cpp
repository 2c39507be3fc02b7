// Another program on the test's display: a window to switch to, and with `--drag FILE` a real
// drag source that offers FILE's URL through the X drag and drop protocol when pressed.
// It prints "focused" whenever its window becomes the active one, "accepted" once a target takes the drag, then "dropped" or "refused" when the button
// is let go, and keeps running: the target fetches the data after the drop, from a source that
// must still be there.

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextStream>
#include <QUrl>
#include <QWidget>

#include <cstdio>

namespace {

class Peer : public QWidget
{
public:
    explicit Peer(QString file)
        : m_file(std::move(file))
    {
        setWindowTitle(m_file.isEmpty() ? QStringLiteral("vesk-test-peer") : QStringLiteral("vesk-test-drag"));
        setGeometry(1210, 790, 60, 60);
        setAutoFillBackground(true);
        QPalette colors = palette();
        colors.setColor(QPalette::Window, Qt::darkGreen);
        setPalette(colors);
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate) {
            std::fputs("focused\n", stdout);
            std::fflush(stdout);
        }
        return QWidget::event(event);
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (m_file.isEmpty() || event->button() != Qt::LeftButton) {
            return;
        }
        auto *drag = new QDrag(this);
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(m_file)});
        drag->setMimeData(data);
        connect(drag, &QDrag::actionChanged, this, [](Qt::DropAction action) {
            if (action != Qt::IgnoreAction) {
                std::fputs("accepted\n", stdout);
                std::fflush(stdout);
            }
        });
        const Qt::DropAction done = drag->exec(Qt::CopyAction);
        std::fputs(done == Qt::CopyAction ? "dropped\n" : "refused\n", stdout);
        std::fflush(stdout);
    }

private:
    QString m_file;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--drag"));
    Peer peer(at >= 0 ? arguments.value(at + 1) : QString());
    peer.show();
    return QApplication::exec();
}
