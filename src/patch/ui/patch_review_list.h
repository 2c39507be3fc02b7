#pragma once

#include <QTableView>

namespace vesk {

// The review panel's rows. Space asks for the selected row's preview (or closes it); Up and Down
// move the selection one row, Down from no selection selecting the first row; Return and Escape
// go on to the panel's buttons.
class PatchReviewList : public QTableView
{
    Q_OBJECT

public:
    explicit PatchReviewList(QWidget *parent = nullptr);

    // The selected display row, -1 for none.
    int selectedRow() const;
    void selectRow(int row);

Q_SIGNALS:
    void spacePressed();
    // The selection moved to `row` by a click or an arrow key.
    void rowChosen(int row);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
};

} // namespace vesk
