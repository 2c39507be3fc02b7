#include "app/panel_places.h"

#include "workspace/ui/sidebar_view.h"

namespace vesk {

QWidget *makeSidebar(AppState &app, RepositoryState &state, QWidget *parent)
{
    return new SidebarView(app, state, parent);
}

} // namespace vesk
