#pragma once

#include <QStyledItemDelegate>

namespace vesk {

// Draws the export outline's rows: 24 points high, names truncated in the middle, reasons at the
// tail, and the ".zip" checkbox centred in its column. Space flips the checkbox of the current
// row whichever column holds the focus.
class ExportOutlineDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int rowHeight = 24;

    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Where the checkbox of a ".zip" cell with this option is drawn and takes clicks.
    static QRect checkRect(const QStyleOptionViewItem &option);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
};

} // namespace vesk
