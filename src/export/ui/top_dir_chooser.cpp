#include "export/ui/top_dir_chooser.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QSignalBlocker>

namespace vesk {

TopDirChooser::TopDirChooser(const QStringList &names, QWidget *parent)
    : QScrollArea(parent)
    , m_names(names)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    viewport()->setAutoFillBackground(false);

    const int rows = rowCount(int(names.size()));
    auto *content = new QWidget;
    content->setAutoFillBackground(false);
    content->setFixedSize(columnSpacing + boxWidth, rows * rowPitch);

    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    for (int i = 0; i < names.size(); ++i) {
        // "&" would otherwise mark a keyboard shortcut and vanish from the name.
        auto *box = new QCheckBox(QString(names[i]).replace(QLatin1Char('&'), QStringLiteral("&&")), content);
        box->setFont(font);
        box->setToolTip(names[i]);
        box->setGeometry((i % 2) * columnSpacing, (i / 2) * rowPitch, boxWidth, boxHeight);
        connect(box, &QCheckBox::toggled, this, [this, i](bool on) { Q_EMIT toggled(i, on); });
        m_boxes.append(box);
    }
    setWidget(content);
    setFixedHeight(std::min(rows * rowPitch, maxHeight));
    setMinimumWidth(boxWidth);
}

int TopDirChooser::rowCount(int directories)
{
    return directories >= 3 ? (directories + 1) / 2 : 1;
}

void TopDirChooser::showChecked(const QStringList &names)
{
    for (qsizetype i = 0; i < m_boxes.size(); ++i) {
        const QSignalBlocker quiet(m_boxes[i]);
        m_boxes[i]->setChecked(names.contains(m_names[i]));
    }
}

} // namespace vesk
