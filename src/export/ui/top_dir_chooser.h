#pragma once

#include <QList>
#include <QScrollArea>
#include <QStringList>

class QCheckBox;

namespace vesk {

// The repository's top-level directories as checkboxes in two columns, filled row by row. The
// area grows with its rows up to 100 points and scrolls beyond that.
class TopDirChooser : public QScrollArea
{
    Q_OBJECT

public:
    static constexpr int columnSpacing = 354;
    static constexpr int boxWidth = 346;
    static constexpr int boxHeight = 18;
    static constexpr int rowPitch = 20;
    static constexpr int maxHeight = 100;

    TopDirChooser(const QStringList &names, QWidget *parent = nullptr);

    // Half the directories rounded up from 3 on; a single row below that.
    static int rowCount(int directories);

    const QList<QCheckBox *> &checkboxes() const { return m_boxes; }
    // Checks exactly the boxes whose names are in `names`, without announcing it.
    void showChecked(const QStringList &names);

Q_SIGNALS:
    // The user checked or unchecked the box of the directory at `index`.
    void toggled(int index, bool on);

private:
    QStringList m_names;
    QList<QCheckBox *> m_boxes;
};

} // namespace vesk
