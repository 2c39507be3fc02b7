#pragma once

#include "export/zip_builder.h"

class QMessageBox;
class QWidget;

namespace vesk {

// How a finished export is shown, the same whether the panel or the toolbar reports it.

// Shows the archive in the file manager and, when some listed files could not be archived,
// names them and says why, so a partial archive is never taken for a whole one.
void presentExportedArchive(const ZipResult &result, QWidget *parent);

// The "Export Failed" alert, attached to `parent`'s window.
QMessageBox *showExportFailedAlert(QWidget *parent);

} // namespace vesk
