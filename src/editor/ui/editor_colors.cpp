#include "editor/ui/editor_colors.h"

#include <QPalette>

namespace vesk {

bool isDarkPalette(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor systemColor(SystemColor color, const QPalette &palette)
{
    const bool dark = isDarkPalette(palette);
    switch (color) {
    case SystemColor::blue: return dark ? QColor(10, 132, 255) : QColor(0, 122, 255);
    case SystemColor::orange: return dark ? QColor(255, 159, 10) : QColor(255, 149, 0);
    case SystemColor::red: return dark ? QColor(255, 69, 58) : QColor(255, 59, 48);
    case SystemColor::green: return dark ? QColor(48, 209, 88) : QColor(40, 180, 70);
    case SystemColor::purple: return dark ? QColor(191, 90, 242) : QColor(175, 82, 222);
    case SystemColor::gray: return dark ? QColor(152, 152, 157) : QColor(142, 142, 147);
    case SystemColor::yellow: return dark ? QColor(255, 214, 10) : QColor(255, 204, 0);
    }
    return labelColor(palette);
}

QColor labelColor(const QPalette &palette)
{
    return palette.color(QPalette::Text);
}

QColor secondaryLabelColor(const QPalette &palette)
{
    return withAlpha(labelColor(palette), 0.55);
}

QColor tertiaryLabelColor(const QPalette &palette)
{
    return withAlpha(labelColor(palette), 0.3);
}

QColor separatorColor(const QPalette &palette)
{
    return withAlpha(labelColor(palette), isDarkPalette(palette) ? 0.2 : 0.12);
}

QColor textBackgroundColor(const QPalette &palette)
{
    return palette.color(QPalette::Base);
}

QColor windowBackgroundColor(const QPalette &palette)
{
    return palette.color(QPalette::Window);
}

QColor selectedTextBackgroundColor(const QPalette &palette)
{
    return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor barColor(const QPalette &palette)
{
    return palette.color(QPalette::Window);
}

QColor namedColor(const QString &name, const QPalette &palette)
{
    static const std::pair<const char *, SystemColor> systemColors[] = {
        {"blue", SystemColor::blue},     {"orange", SystemColor::orange}, {"red", SystemColor::red},
        {"green", SystemColor::green},   {"purple", SystemColor::purple}, {"gray", SystemColor::gray},
        {"yellow", SystemColor::yellow},
    };
    for (const auto &[known, color] : systemColors) {
        if (name == QLatin1String(known)) {
            return systemColor(color, palette);
        }
    }
    if (name == u"secondary") {
        return secondaryLabelColor(palette);
    }
    if (name == u"tertiary") {
        return tertiaryLabelColor(palette);
    }
    return labelColor(palette);
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(color.alphaF() * alpha));
    return color;
}

} // namespace vesk
