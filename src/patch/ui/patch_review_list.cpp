#include "patch/ui/patch_review_list.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace vesk {

PatchReviewList::PatchReviewList(QWidget *parent)
    : QTableView(parent)
{
    setObjectName(QStringLiteral("patchReviewList"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setTabKeyNavigation(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(24);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
}

int PatchReviewList::selectedRow() const
{
    if (!selectionModel()) {
        return -1;
    }
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void PatchReviewList::selectRow(int row)
{
    if (model() && row >= 0 && row < model()->rowCount()) {
        setCurrentIndex(model()->index(row, 0));
        QTableView::selectRow(row);
    }
}

void PatchReviewList::keyPressEvent(QKeyEvent *event)
{
    const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (plain && event->key() == Qt::Key_Space) {
        Q_EMIT spacePressed();
        return;
    }
    if (plain && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        const int rows = model() ? model()->rowCount() : 0;
        const int row = selectedRow();
        if (row < 0) {
            if (event->key() == Qt::Key_Down && rows > 0) {
                selectRow(0);
            }
        } else {
            const int next = event->key() == Qt::Key_Up ? row - 1 : row + 1;
            if (next >= 0 && next < rows) {
                selectRow(next);
            }
        }
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        event->ignore();  // the panel's buttons answer these
        return;
    }
    QTableView::keyPressEvent(event);
}

void PatchReviewList::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid() && (!previous.isValid() || current.row() != previous.row())) {
        Q_EMIT rowChosen(current.row());
    }
}

} // namespace vesk
