#include "app/panel_places.h"

#include "export/ui/export_toolbar_button.h"

namespace vesk {

QWidget *makeExportPlace(AppState &, RepositoryState &state, QWidget *parent)
{
    auto *place = new ExportToolbarButton(state, parent);
    return place;
}

} // namespace vesk
