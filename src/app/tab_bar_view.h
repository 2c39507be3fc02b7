#pragma once

#include "workspace/repository_tab.h"

#include <QPointer>
#include <QRect>
#include <QUuid>
#include <QWidget>

#include <optional>
#include <vector>

class QToolButton;

namespace vesk {

class AppState;
class DeferredRefresh;

// The row of repository tabs above the workspace. Each tab shows a dot (blue when active), its
// name and a close button; the "+" button after the tabs opens a folder. A click selects a tab
// and saves the workspace, a middle click closes it, and dragging a tab sideways reorders the
// tabs as it goes.
class TabBarView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int barHeight = 34;

    explicit TabBarView(AppState &app, QWidget *parent = nullptr);

    // Geometry of the tab at `index` in the app's order, as last laid out.
    QRect tabRect(qsizetype index) const;
    QRect closeButtonRect(qsizetype index) const;
    QToolButton *plusButton() const { return m_plus; }
    // The tab under `pos`, if any.
    std::optional<qsizetype> tabAt(const QPoint &pos) const;

    static QString closeToolTip();
    static QString plusToolTip();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void openRequested();
    // The tab's close button or a middle click.
    void closeRequested(const RepositoryTab &tab);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    struct Item
    {
        QUuid id;
        QRect rect;
        QString name;
        bool edited = false;
    };

    void relayout();
    void watchEditors();
    void dragTo(const QPoint &pos);
    void paintTab(QPainter &painter, const Item &item, bool active) const;
    QRect closeRect(const QRect &tab) const;

    AppState &m_app;
    DeferredRefresh *m_refresh = nullptr;
    std::vector<Item> m_items;
    QToolButton *m_plus = nullptr;
    std::optional<QUuid> m_hoveredTab;
    std::optional<QUuid> m_pressedTab;
    std::optional<QUuid> m_draggingTab;
    std::optional<QUuid> m_pressedClose;  // the close button under a press not yet released
    QPoint m_pressPos;
    std::vector<QMetaObject::Connection> m_editorConnections;
};

} // namespace vesk
