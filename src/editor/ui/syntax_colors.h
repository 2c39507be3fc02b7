#pragma once

#include "syntax/highlight_style.h"

#include <QColor>

class QPalette;

namespace vesk {

// The colour of a highlight style on the palette's background: one set for light appearance and
// one for dark, each readable on its background. `none` is the ordinary text colour.
QColor syntaxColor(HighlightStyle style, const QPalette &palette);

} // namespace vesk
