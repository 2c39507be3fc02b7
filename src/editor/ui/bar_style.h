#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace vesk {

// Fonts and helpers shared by the rows around the editor (status bar, diff header, status row).
QFont captionFont();
QFont monospacedCaptionFont();
QFont monospacedBodyFont();

// Gives a row the set-off surface of header and status rows.
void paintAsBar(QWidget *row);

// A plain-text label in `font`; its colour is set with setLabelColor.
QLabel *makeLabel(const QString &objectName, const QFont &font, QWidget *parent);
void setLabelColor(QLabel *label, const QColor &color);
// A label showing a symbol icon of `size` points.
void setSymbol(QLabel *label, const QString &symbol, const QColor &color, int size);

} // namespace vesk
