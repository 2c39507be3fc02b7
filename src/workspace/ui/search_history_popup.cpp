#include "workspace/ui/search_history_popup.h"

#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "workspace/search_engine.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

namespace vesk {

namespace {

constexpr int markSize = 14;

class HistoryDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        opt.rect.setRight(SearchHistoryList::removeRect(option.rect).left() - 4);
        QStyledItemDelegate::paint(painter, opt, index);
        symbolIcon(QStringLiteral("xmark.circle.fill"), tertiaryLabelColor(option.palette))
            .paint(painter, SearchHistoryList::removeRect(option.rect));
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index).expandedTo(QSize(0, 22));
    }
};

} // namespace

QRect SearchHistoryList::removeRect(const QRect &row)
{
    return QRect(row.right() - markSize - 4, row.center().y() - markSize / 2 + 1, markSize, markSize);
}

void SearchHistoryList::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (event->button() != Qt::LeftButton || !index.isValid()) {
        QListView::mouseReleaseEvent(event);
        return;
    }
    const QString entry = index.data().toString();
    if (removeRect(visualRect(index)).contains(pos)) {
        Q_EMIT removeRequested(entry);
    } else {
        Q_EMIT chosen(entry);
    }
}

void SearchHistoryList::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        Q_EMIT chosen(currentIndex().data().toString());
        return;
    }
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && currentIndex().isValid()) {
        Q_EMIT removeRequested(currentIndex().data().toString());
        return;
    }
    QListView::keyPressEvent(event);
}

bool SearchHistoryList::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid() && removeRect(visualRect(index)).contains(help->pos())) {
            QToolTip::showText(help->globalPos(), QStringLiteral("Remove from history"), viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QListView::viewportEvent(event);
}

SearchHistoryPopup::SearchHistoryPopup(SearchEngine *engine, std::function<void(const QString &)> choose,
                                       QWidget *parent)
    : QFrame(parent, Qt::Popup)
    , m_engine(engine)
    , m_choose(std::move(choose))
    , m_model(new QStringListModel(this))
    , m_list(new SearchHistoryList(this))
    , m_empty(new QLabel(QStringLiteral("No search history"), this))
    , m_clearAll(new QPushButton(QStringLiteral("Clear All"), this))
{
    setObjectName(QStringLiteral("searchHistory"));
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_DeleteOnClose);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new HistoryDelegate(m_list));
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setUniformItemSizes(true);
    m_list->setMouseTracking(true);
    m_empty->setAlignment(Qt::AlignCenter);
    QPalette palette = m_empty->palette();
    palette.setColor(QPalette::WindowText, secondaryLabelColor(palette));
    m_empty->setPalette(palette);
    m_clearAll->setFlat(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_list);
    layout->addWidget(m_empty);
    layout->addWidget(m_clearAll, 0, Qt::AlignRight);

    connect(m_list, &SearchHistoryList::chosen, this, [this](const QString &entry) {
        close();
        m_choose(entry);
    });
    connect(m_list, &SearchHistoryList::removeRequested, this, [this](const QString &entry) {
        m_engine->removeFromHistory(entry);
        reload();
    });
    connect(m_clearAll, &QPushButton::clicked, this, [this] {
        m_engine->clearHistory();
        reload();
    });
    reload();
}

void SearchHistoryPopup::reload()
{
    const QStringList history = m_engine->searchHistory();
    m_model->setStringList(history);
    m_list->setVisible(!history.isEmpty());
    m_clearAll->setVisible(!history.isEmpty());
    m_empty->setVisible(history.isEmpty());
    m_empty->setMinimumHeight(history.isEmpty() ? 60 : 0);
    const int rows = int(std::min<qsizetype>(history.size(), 12));
    m_list->setFixedHeight(rows * 22 + 4);
    adjustSize();
    resize(300, height());
}

void SearchHistoryPopup::showBelow(QWidget *anchor)
{
    move(anchor->mapToGlobal(QPoint(anchor->width() - width(), anchor->height())));
    show();
    m_list->setFocus();
}

} // namespace vesk
