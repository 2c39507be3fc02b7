#include "export/ui/export_outline_delegate.h"

#include "export/ui/export_outline_model.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vesk {

namespace {

const QStyle *styleOf(const QStyleOptionViewItem &option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

bool isIncludeColumn(const QModelIndex &index)
{
    return index.column() == ExportOutlineModel::IncludeColumn;
}

} // namespace

QSize ExportOutlineDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(rowHeight);
    return size;
}

void ExportOutlineDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = index.column() == ExportOutlineModel::NameColumn ? Qt::ElideMiddle : Qt::ElideRight;
    option->displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
}

QRect ExportOutlineDelegate::checkRect(const QStyleOptionViewItem &option)
{
    QStyleOptionViewItem probe = option;
    probe.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QSize size =
        styleOf(option)->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &probe, option.widget).size();
    return QStyle::alignedRect(option.direction, Qt::AlignCenter, size, option.rect);
}

void ExportOutlineDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!isIncludeColumn(index)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QStyle *style = styleOf(cell);
    const Qt::CheckState state = cell.checkState;
    cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    cell.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);

    QStyleOptionViewItem box = cell;
    box.rect = checkRect(option);
    box.state &= ~(QStyle::State_HasFocus | QStyle::State_On | QStyle::State_Off | QStyle::State_NoChange);
    box.state |= state == Qt::Checked ? QStyle::State_On
                 : state == Qt::PartiallyChecked ? QStyle::State_NoChange
                                                 : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, cell.widget);
}

bool ExportOutlineDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                        const QModelIndex &index)
{
    const QModelIndex check = index.siblingAtColumn(ExportOutlineModel::IncludeColumn);
    const Qt::ItemFlags flags = model->flags(check);
    if (!(flags & Qt::ItemIsUserCheckable) || !(flags & Qt::ItemIsEnabled)) {
        return false;
    }
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Select) {
            return false;
        }
        return model->setData(check, {}, Qt::CheckStateRole);
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!isIncludeColumn(index) || mouse->button() != Qt::LeftButton
            || !checkRect(option).contains(mouse->position().toPoint())) {
            return false;
        }
        // Press and double click are taken too, so a click on the box neither selects the row
        // first nor opens the directory.
        if (event->type() != QEvent::MouseButtonRelease) {
            return true;
        }
        return model->setData(check, {}, Qt::CheckStateRole);
    }
    default:
        return false;
    }
}

} // namespace vesk
