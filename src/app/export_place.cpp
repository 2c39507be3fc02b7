#include "app/panel_places.h"

#include <QToolButton>

namespace vesk {

QWidget *makeExportPlace(AppState &, RepositoryState &, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QStringLiteral("exportButton"));
    button->setText(QStringLiteral("Export"));
    button->setToolTip(QStringLiteral("Configure and export ZIP for AI assistant"));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setEnabled(false);
    return button;
}

} // namespace vesk
