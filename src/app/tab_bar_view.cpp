#include "app/tab_bar_view.h"

#include "editor/editor_view_model.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>

namespace vesk {

namespace {

constexpr int horizontalPadding = 12;
constexpr int dotSize = 7;
constexpr int gap = 8;
constexpr int closeSize = 16;
constexpr int minTabWidth = 64;
constexpr int preferredMinTabWidth = 110;
constexpr int maxTabWidth = 240;
constexpr int plusWidth = 34;
bool looksEdited(const EditorViewModel *editor)
{
    return editor && editor->currentFilePath() && editor->document() && editor->hasUnsavedEdits();
}

QString shortcutText(const char *key)
{
#ifdef Q_OS_MACOS
    return QStringLiteral("\u2318") + QLatin1String(key);
#else
    return QStringLiteral("Ctrl+") + QLatin1String(key);
#endif
}

std::optional<RepositoryTab> tabWithId(const AppState &app, const QUuid &id)
{
    for (const RepositoryTab &tab : app.tabs()) {
        if (tab.id == id) {
            return tab;
        }
    }
    return std::nullopt;
}

} // namespace

TabBarView::TabBarView(AppState &app, QWidget *parent)
    : QWidget(parent)
    , m_app(app)
    , m_refresh(new DeferredRefresh(this, [this] {
        watchEditors();
        relayout();
    }))
{
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    m_plus = new QToolButton(this);
    m_plus->setObjectName(QStringLiteral("newTabButton"));
    m_plus->setAutoRaise(true);
    m_plus->setFocusPolicy(Qt::NoFocus);
    m_plus->setToolTip(plusToolTip());
    m_plus->setAccessibleName(QStringLiteral("New Tab"));
    connect(m_plus, &QToolButton::clicked, this, &TabBarView::openRequested);
    m_refresh->watch(&app, &AppState::willChange);
    watchEditors();
    relayout();
}

QString TabBarView::closeToolTip()
{
    return QStringLiteral("Close Tab (%1)").arg(shortcutText("W"));
}

QString TabBarView::plusToolTip()
{
    return QStringLiteral("Open Repo/Directory (%1)").arg(shortcutText("T"));
}

QSize TabBarView::sizeHint() const
{
    return {400, barHeight};
}

QSize TabBarView::minimumSizeHint() const
{
    return {plusWidth, barHeight};
}

QRect TabBarView::tabRect(qsizetype index) const
{
    return index >= 0 && index < qsizetype(m_items.size()) ? m_items[size_t(index)].rect : QRect();
}

QRect TabBarView::closeRect(const QRect &tab) const
{
    return {tab.right() - horizontalPadding + 4 - closeSize, tab.center().y() - closeSize / 2 + 1, closeSize,
            closeSize};
}

QRect TabBarView::closeButtonRect(qsizetype index) const
{
    const QRect tab = tabRect(index);
    return tab.isNull() ? QRect() : closeRect(tab);
}

std::optional<qsizetype> TabBarView::tabAt(const QPoint &pos) const
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].rect.contains(pos)) {
            return qsizetype(i);
        }
    }
    return std::nullopt;
}

void TabBarView::watchEditors()
{
    for (const QMetaObject::Connection &connection : m_editorConnections) {
        disconnect(connection);
    }
    m_editorConnections.clear();
    // The edited marks follow the editors; a tab's state forwards its editor's announcements.
    for (const RepositoryTab &tab : m_app.tabs()) {
        if (RepositoryState *state = m_app.tabState(tab.id)) {
            m_editorConnections.push_back(connect(state, &RepositoryState::willChange, m_refresh,
                                                  [this] { m_refresh->request(); }));
        }
    }
}

void TabBarView::relayout()
{
    const QList<RepositoryTab> &tabs = m_app.tabs();
    // Measured in the active tab's heavier weight, so a name never shortens when its tab is chosen.
    QFont activeFont = font();
    activeFont.setWeight(QFont::DemiBold);
    const QFontMetrics metrics(activeFont);
    std::vector<int> widths;
    int total = 0;
    for (const RepositoryTab &tab : tabs) {
        const int natural = horizontalPadding + dotSize + gap + metrics.horizontalAdvance(tab.name) + gap + closeSize
                            + horizontalPadding;
        widths.push_back(std::clamp(natural, preferredMinTabWidth, maxTabWidth));
        total += widths.back();
    }
    const int available = std::max(0, width() - plusWidth);
    if (total > available && !widths.empty()) {
        const int each = std::max(minTabWidth, available / int(widths.size()));
        std::fill(widths.begin(), widths.end(), each);
    }
    m_items.clear();
    int x = 0;
    for (qsizetype i = 0; i < tabs.size(); ++i) {
        const RepositoryState *state = m_app.tabState(tabs[i].id);
        m_items.push_back({tabs[i].id, QRect(x, 0, widths[size_t(i)], height()), tabs[i].name,
                           looksEdited(state ? state->editor() : nullptr)});
        x += widths[size_t(i)];
    }
    m_plus->setGeometry(x + 2, (height() - 26) / 2, 26, 26);
    m_plus->setIcon(symbolIcon(QStringLiteral("plus"), secondaryLabelColor(palette())));
    if (m_hoveredTab && std::none_of(m_items.begin(), m_items.end(), [&](const Item &i) { return i.id == m_hoveredTab; })) {
        m_hoveredTab.reset();
    }
    update();
}

void TabBarView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void TabBarView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), windowBackgroundColor(palette()));
    const std::optional<QUuid> active = m_app.activeTabId();
    for (const Item &item : m_items) {
        paintTab(painter, item, item.id == active);
    }
}

void TabBarView::paintTab(QPainter &painter, const Item &item, bool active) const
{
    const QPalette &pal = palette();
    const QRect r = item.rect;
    const bool hovered = item.id == m_hoveredTab;
    if (active) {
        painter.fillRect(r, textBackgroundColor(pal));
    } else if (hovered) {
        painter.fillRect(r, withAlpha(labelColor(pal), 0.05));
    }
    painter.fillRect(QRect(r.right(), r.top() + 7, 1, r.height() - 14), separatorColor(pal));

    const QColor dot = active ? systemColor(SystemColor::blue, pal) : withAlpha(secondaryLabelColor(pal), 0.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(dot);
    painter.drawEllipse(QRectF(r.left() + horizontalPadding, r.center().y() - dotSize / 2.0 + 0.5, dotSize, dotSize));

    const QRect close = closeRect(r);
    const int textLeft = r.left() + horizontalPadding + dotSize + gap;
    const QRect textRect(textLeft, r.top(), close.left() - gap / 2 - textLeft, r.height());
    QFont font = painter.font();
    font.setWeight(active ? QFont::DemiBold : QFont::Normal);
    painter.setFont(font);
    painter.setPen(active ? labelColor(pal) : secondaryLabelColor(pal));
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                     QFontMetrics(font).elidedText(item.name, Qt::ElideMiddle, textRect.width()));

    const bool overClose = hovered && close.contains(mapFromGlobal(QCursor::pos()));
    if (item.edited && !hovered) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(secondaryLabelColor(pal));
        painter.drawEllipse(QRectF(close).adjusted(4.5, 4.5, -4.5, -4.5));
        return;
    }
    if (hovered || active) {
        if (overClose) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(withAlpha(labelColor(pal), 0.12));
            painter.drawRoundedRect(QRectF(close), 4, 4);
        }
        symbolIcon(QStringLiteral("xmark"), secondaryLabelColor(pal)).paint(&painter, close.adjusted(4, 4, -4, -4));
    }
}

bool TabBarView::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const std::optional<qsizetype> index = tabAt(help->pos());
        if (index && closeButtonRect(*index).contains(help->pos())) {
            QToolTip::showText(help->globalPos(), closeToolTip(), this, closeButtonRect(*index));
        } else if (index) {
            const std::optional<RepositoryTab> tab = tabWithId(m_app, m_items[size_t(*index)].id);
            QToolTip::showText(help->globalPos(), tab ? tab->path : QString(), this, tabRect(*index));
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    if (event->type() == QEvent::PaletteChange) {
        relayout();
    }
    return QWidget::event(event);
}

void TabBarView::mousePressEvent(QMouseEvent *event)
{
    const std::optional<qsizetype> index = tabAt(event->position().toPoint());
    if (!index) {
        return;
    }
    const QUuid id = m_items[size_t(*index)].id;
    if (event->button() == Qt::LeftButton) {
        if (closeButtonRect(*index).contains(event->position().toPoint())) {
            m_pressedClose = id;
            return;
        }
        m_pressedTab = id;
        m_pressPos = event->position().toPoint();
        if (m_app.activeTabId() != id) {
            m_app.setActiveTabId(id);
        }
        m_app.saveState();
    }
}

void TabBarView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const std::optional<qsizetype> index = tabAt(pos);
    const std::optional<QUuid> hovered = index ? std::optional<QUuid>(m_items[size_t(*index)].id) : std::nullopt;
    if (hovered != m_hoveredTab) {
        m_hoveredTab = hovered;
    }
    update();
    if (!(event->buttons() & Qt::LeftButton) || !m_pressedTab) {
        return;
    }
    if (!m_draggingTab && (pos - m_pressPos).manhattanLength() >= 1) {
        m_draggingTab = m_pressedTab;
        setCursor(Qt::ClosedHandCursor);
    }
    if (m_draggingTab) {
        dragTo(pos);
    }
}

// Moves the dragged tab onto the tab under the pointer, but only once the pointer is where the
// dragged tab will then lie: tabs of different widths would otherwise swap back and forth.
void TabBarView::dragTo(const QPoint &pos)
{
    const std::optional<qsizetype> target = tabAt(QPoint(pos.x(), height() / 2));
    const auto dragged = std::find_if(m_items.begin(), m_items.end(), [&](const Item &i) { return i.id == m_draggingTab; });
    if (!target || dragged == m_items.end() || m_items[size_t(*target)].id == m_draggingTab) {
        return;
    }
    const qsizetype from = dragged - m_items.begin();
    const QRect targetRect = m_items[size_t(*target)].rect;
    const int draggedWidth = dragged->rect.width();
    const bool ready = *target > from ? pos.x() >= targetRect.right() - draggedWidth
                                      : pos.x() <= targetRect.left() + draggedWidth;
    if (!ready) {
        return;
    }
    m_app.moveTab(*m_draggingTab, m_items[size_t(*target)].id);
    relayout();
}

void TabBarView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const std::optional<qsizetype> index = tabAt(pos);
    const std::optional<RepositoryTab> tab = index ? tabWithId(m_app, m_items[size_t(*index)].id) : std::nullopt;
    if (event->button() == Qt::MiddleButton && tab) {
        Q_EMIT closeRequested(*tab);
    } else if (event->button() == Qt::LeftButton) {
        if (m_pressedClose && tab && tab->id == m_pressedClose && closeButtonRect(*index).contains(pos)) {
            Q_EMIT closeRequested(*tab);
        }
        m_pressedClose.reset();
        m_pressedTab.reset();
        if (std::exchange(m_draggingTab, std::nullopt)) {
            unsetCursor();
        }
    }
}

void TabBarView::leaveEvent(QEvent *event)
{
    m_hoveredTab.reset();
    update();
    QWidget::leaveEvent(event);
}

} // namespace vesk
