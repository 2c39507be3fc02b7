#include "editor/ui/bar_style.h"

#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"

#include <QFontDatabase>
#include <QLabel>

namespace vesk {

namespace {

QFont sized(QFont font, int pixels)
{
    font.setPixelSize(pixels);
    return font;
}

} // namespace

QFont captionFont()
{
    return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), 11);
}

QFont monospacedCaptionFont()
{
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), 11);
}

QFont monospacedBodyFont()
{
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), 13);
}

void paintAsBar(QWidget *row)
{
    row->setAutoFillBackground(true);
    row->setBackgroundRole(QPalette::Window);
}

QLabel *makeLabel(const QString &objectName, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    return label;
}

void setLabelColor(QLabel *label, const QColor &color)
{
    if (label->palette().color(QPalette::WindowText) == color) {
        return;  // a palette change restyles the label: only when it changes something
    }
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    label->setPalette(palette);
}

void setSymbol(QLabel *label, const QString &symbol, const QColor &color, int size)
{
    const QString key = QStringLiteral("%1 %2 %3 %4").arg(symbol, color.name(QColor::HexArgb)).arg(size).arg(label->devicePixelRatioF());
    if (label->property("symbolKey").toString() == key) {
        return;
    }
    label->setPixmap(symbolIcon(symbol, color).pixmap(QSize(size, size), label->devicePixelRatioF()));
    label->setProperty("symbol", symbol);
    label->setProperty("symbolKey", key);
}

} // namespace vesk
