#pragma once

#include <QFrame>
#include <QListView>

#include <functional>

class QLabel;
class QPushButton;
class QStringListModel;

namespace vesk {

class SearchEngine;

// The history list: a click on an entry chooses it, a click on its remove mark removes it.
class SearchHistoryList : public QListView
{
    Q_OBJECT

public:
    using QListView::QListView;

    // Where an entry's remove mark sits in its row.
    static QRect removeRect(const QRect &row);

Q_SIGNALS:
    void chosen(const QString &entry);
    void removeRequested(const QString &entry);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;
};

// The search history popover: past queries, most recent first, each with a remove mark, and
// "Clear All"; "No search history" when there is none.
class SearchHistoryPopup : public QFrame
{
    Q_OBJECT

public:
    SearchHistoryPopup(SearchEngine *engine, std::function<void(const QString &)> choose, QWidget *parent = nullptr);

    SearchHistoryList *list() const { return m_list; }
    QPushButton *clearAllButton() const { return m_clearAll; }
    QLabel *emptyLabel() const { return m_empty; }

    // Shows the popover below `anchor`.
    void showBelow(QWidget *anchor);

private:
    void reload();

    SearchEngine *m_engine;
    std::function<void(const QString &)> m_choose;
    QStringListModel *m_model;
    SearchHistoryList *m_list;
    QLabel *m_empty;
    QPushButton *m_clearAll;
};

} // namespace vesk
