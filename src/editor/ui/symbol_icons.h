#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>

namespace vesk {

// Icons for the symbol names the views use ("pencil.circle.fill", "folder.fill", ...), drawn in
// code as vector shapes in the given colour, so they are sharp at any size and pixel density and
// read the same on every platform in light and dark appearance. Nothing is loaded from disk.
//
// Circled ".fill" symbols are a disc in `color` with the mark cut out in white; the others are
// outlines in `color`. An unknown name gives a null icon.
QIcon symbolIcon(const QString &name, const QColor &color);

// Every name symbolIcon knows.
QStringList symbolNames();

} // namespace vesk
