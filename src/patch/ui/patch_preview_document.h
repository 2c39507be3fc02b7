#pragma once

#include "patch/patch_preview_lines.h"

#include <QColor>

class QObject;
class QPalette;
class QTextDocument;

namespace vesk {

enum class PreviewStyle { diff, wholeFile };

// The colours of one kind of preview line, for the palette's appearance.
struct PreviewLineColors
{
    QColor gutterText;
    QColor gutterBackground;
    QColor text;             // marker and text
    QColor marker;           // the marker alone (clear on context lines)
    QColor lineBackground;   // behind marker and text, across the whole line
};

PreviewLineColors previewLineColors(PreviewLine::Type type, const QPalette &palette);

// The preview's styled text: each line a block of gutter, marker and text runs in the diff style,
// or numbered lines with added ones highlighted in the whole-file style. The document is laid out
// for a plain-text view (one block per line, no wrapping).
QTextDocument *buildPreviewDocument(const PreviewText &text, PreviewStyle style, const QPalette &palette,
                                    QObject *parent = nullptr);

// The gutter of a diff line: both numbers in "%4d" (four spaces when absent), then two spaces.
QString previewGutter(const PreviewLine &line);

} // namespace vesk
