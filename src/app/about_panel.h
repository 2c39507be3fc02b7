#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace vesk {

// "0.1.0": the version the build was made as.
QString applicationVersion();

// The About panel: the name, the version, the icon and a short description. One at a time.
QMessageBox *showAboutPanel(QWidget *parent);

} // namespace vesk
