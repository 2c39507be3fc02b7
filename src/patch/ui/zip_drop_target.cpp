#include "patch/ui/zip_drop_target.h"

#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "patch/dropped_zip.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QMimeData>
#include <QPainter>

#include <algorithm>

namespace vesk {

namespace {

const QString label = QStringLiteral("Drop ZIP patch");
constexpr int iconSize = 14;
constexpr int padding = 8;

} // namespace

ZipDropTarget::ZipDropTarget(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("zipDropTarget"));
    setAcceptDrops(true);
    setToolTip(QStringLiteral("Drop ZIP patch from ChatGPT or Claude"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ZipDropTarget::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {padding + iconSize + 6 + metrics.horizontalAdvance(label) + padding, std::max(24, metrics.height() + 8)};
}

void ZipDropTarget::setTargeted(bool targeted)
{
    if (m_targeted != targeted) {
        m_targeted = targeted;
        update();
        Q_EMIT targetedChanged(targeted);
    }
}

void ZipDropTarget::dragEnterEvent(QDragEnterEvent *event)
{
    // Whatever the drag holds, it is welcome here: some senders only say what they carry when
    // the drop lands.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setTargeted(true);
}

void ZipDropTarget::dragMoveEvent(QDragMoveEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ZipDropTarget::dragLeaveEvent(QDragLeaveEvent *event)
{
    setTargeted(false);
    event->accept();
}

void ZipDropTarget::dropEvent(QDropEvent *event)
{
    setTargeted(false);
    const DroppedZip dropped = event->mimeData() ? zipFromDrop(*event->mimeData()) : DroppedZip{};
    if (!dropped.isUsable()) {
        event->ignore();
        Q_EMIT dropFailed(dropped.diagnostic.isEmpty()
                              ? QStringLiteral("No usable zip found in the drop.\nPasteboard types: ")
                              : dropped.diagnostic);
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Q_EMIT zipDropped(dropped.path, dropped.ownsFile);
}

void ZipDropTarget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const QColor blue = systemColor(SystemColor::blue, pal);
    const QColor ink = m_targeted ? blue : secondaryLabelColor(pal);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_targeted) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(withAlpha(blue, 0.15));
        painter.drawRoundedRect(frame, 6, 6);
    }
    QPen pen(m_targeted ? blue : withAlpha(labelColor(pal), 0.3), 1, Qt::DashLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame, 6, 6);

    const int y = (height() - iconSize) / 2;
    symbolIcon(QStringLiteral("doc.fill"), ink).paint(&painter, QRect(padding, y, iconSize, iconSize));
    painter.setPen(ink);
    painter.drawText(QRect(padding + iconSize + 6, 0, width() - padding - iconSize - 6, height()),
                     Qt::AlignLeft | Qt::AlignVCenter, label);
}

} // namespace vesk
