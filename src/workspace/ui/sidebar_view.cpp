#include "workspace/ui/sidebar_view.h"

#include "editor/editor_view_model.h"
#include "editor/ui/editor_colors.h"
#include "platform/preferences.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"
#include "workspace/ui/file_tree_view.h"
#include "workspace/ui/git_changes_view.h"
#include "workspace/ui/search_panel_view.h"

#include <QLineEdit>

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

const QString showDotFilesKey = QStringLiteral("showDotFiles");

// Three buttons drawn as one segmented control.
QString segmentStyle(const QPalette &palette)
{
    const QColor border = separatorColor(palette);
    const QColor checked = withAlpha(labelColor(palette), 0.12);
    return QStringLiteral("QToolButton { border: 1px solid %1; padding: 3px 10px; background: transparent; }"
                          "QToolButton:checked { background: %2; }"
                          "QToolButton#segment0 { border-top-left-radius: 5px; border-bottom-left-radius: 5px; }"
                          "QToolButton#segment1 { border-left: none; border-right: none; }"
                          "QToolButton#segment2 { border-top-right-radius: 5px; border-bottom-right-radius: 5px; }")
        .arg(border.name(QColor::HexArgb), checked.name(QColor::HexArgb));
}

} // namespace

SidebarView::SidebarView(AppState &app, RepositoryState &state, QWidget *parent)
    : QWidget(parent)
    , m_app(app)
    , m_state(state)
    , m_buttons(new QButtonGroup(this))
    , m_stack(new QStackedWidget(this))
{
    setObjectName(QStringLiteral("sidebar"));
    const SidebarContext context{app, state, [this](const QString &path) { selectFile(path); }};
    m_fileTree = new FileTreeView(context, m_stack);
    m_searchPanel = new SearchPanelView(context, m_stack);
    m_changes = new GitChangesView(context, m_stack);
    m_stack->addWidget(m_fileTree);
    m_stack->addWidget(m_searchPanel);
    m_stack->addWidget(m_changes);

    auto *segments = new QHBoxLayout;
    segments->setSpacing(0);
    segments->addStretch(1);
    const QStringList titles = {QStringLiteral("Files"), QStringLiteral("Search"), QStringLiteral("Changes")};
    for (int i = 0; i < titles.size(); ++i) {
        auto *button = new QToolButton(this);
        button->setObjectName(QStringLiteral("segment%1").arg(i));
        button->setText(titles.at(i));
        button->setCheckable(true);
        button->setFocusPolicy(Qt::TabFocus);
        m_buttons->addButton(button, i);
        segments->addWidget(button);
    }
    segments->addStretch(1);
    setStyleSheet(segmentStyle(palette()));
    m_buttons->button(0)->setChecked(true);
    connect(m_buttons, &QButtonGroup::idClicked, this, [this](int id) { setSelectedTab(SidebarTab(id)); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    layout->setSpacing(6);
    layout->addLayout(segments);
    layout->addWidget(m_stack, 1);

    connect(&Preferences::instance(), &Preferences::changed, this, [this](const QString &key) {
        if (key == showDotFilesKey) {
            m_state.refresh();
        }
    });
    // The panels read the tab's state whenever they refresh. When the tab closes, its state goes
    // before this view does, so the panels go with the state at once: a refresh they have queued
    // is dropped with them instead of reading what is gone.
    connect(&state, &QObject::destroyed, this, [this] {
        disconnect(&Preferences::instance(), nullptr, this, nullptr);
        disconnect(m_buttons, nullptr, this, nullptr);
        setEnabled(false);
        delete m_stack;
        m_stack = nullptr;
        m_fileTree = nullptr;
        m_searchPanel = nullptr;
        m_changes = nullptr;
    });
}

void SidebarView::setSelectedTab(SidebarTab tab)
{
    if (!m_stack) {
        return;  // the tab's state is gone
    }
    m_selected = tab;
    m_buttons->button(int(tab))->setChecked(true);
    m_stack->setCurrentIndex(int(tab));
    if (tab == SidebarTab::search) {
        m_searchPanel->queryField()->setFocus();
    }
}

QToolButton *SidebarView::tabButton(SidebarTab tab) const
{
    return static_cast<QToolButton *>(m_buttons->button(int(tab)));
}

void SidebarView::selectFile(const QString &path)
{
    m_state.editor()->openFile(path);
    m_app.saveState();
    Q_EMIT fileSelected(path);
}

} // namespace vesk
