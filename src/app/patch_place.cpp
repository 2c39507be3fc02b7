#include "app/panel_places.h"

#include <QLabel>

namespace vesk {

PatchPlaces makePatchPlaces(AppState &, RepositoryState &, QWidget *parent)
{
    auto *dropTarget = new QLabel(QStringLiteral("Drop ZIP patch"), parent);
    dropTarget->setObjectName(QStringLiteral("patchDropTarget"));
    dropTarget->setToolTip(QStringLiteral("Drop ZIP patch from ChatGPT or Claude"));
    dropTarget->setFrameShape(QFrame::StyledPanel);
    dropTarget->setAlignment(Qt::AlignCenter);
    dropTarget->setContentsMargins(8, 2, 8, 2);
    dropTarget->setForegroundRole(QPalette::PlaceholderText);

    auto *resultStrip = new QWidget(parent);
    resultStrip->setObjectName(QStringLiteral("patchResultStrip"));
    resultStrip->hide();
    return {dropTarget, resultStrip};
}

} // namespace vesk
