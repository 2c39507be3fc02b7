#include "app/panel_places.h"

#include <QWidget>

namespace vesk {

QWidget *makeSidebar(AppState &, RepositoryState &, QWidget *parent)
{
    auto *sidebar = new QWidget(parent);
    sidebar->setObjectName(QStringLiteral("sidebar"));
    return sidebar;
}

} // namespace vesk
