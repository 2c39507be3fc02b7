#pragma once

#include <QColor>
#include <QString>

class QPalette;

namespace vesk {

// The interface's named colours, each with a light and a dark value, picked by the palette's
// appearance so that marks read well on either background.
enum class SystemColor { blue, orange, red, green, purple, gray, yellow };

// A palette is dark when its window colour is.
bool isDarkPalette(const QPalette &palette);
QColor systemColor(SystemColor color, const QPalette &palette);

// Semantic colours of text and surfaces, derived from the palette.
QColor labelColor(const QPalette &palette);
QColor secondaryLabelColor(const QPalette &palette);
QColor tertiaryLabelColor(const QPalette &palette);
QColor separatorColor(const QPalette &palette);
QColor textBackgroundColor(const QPalette &palette);
QColor windowBackgroundColor(const QPalette &palette);
QColor selectedTextBackgroundColor(const QPalette &palette);
// The slightly set-off surface of header and status rows.
QColor barColor(const QPalette &palette);

// "blue", "orange", "red", "green", "purple", "gray", "yellow", "primary", "secondary" and
// "tertiary"; the primary text colour for any other name.
QColor namedColor(const QString &name, const QPalette &palette);

QColor withAlpha(QColor color, double alpha);

} // namespace vesk
