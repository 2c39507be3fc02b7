#include "app/repository_view.h"

#include "app/editor_area_view.h"
#include "app/panel_places.h"
#include "app/repository_toolbar.h"
#include "app/sidebar_splitter.h"
#include "editor/ui/editor_colors.h"
#include "platform/preferences.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace vesk {

namespace {

const QString sidebarWidthKey = QStringLiteral("sidebarWidth");

class HorizontalDivider : public QWidget
{
public:
    explicit HorizontalDivider(QWidget *parent)
        : QWidget(parent)
    {
        setFixedHeight(1);
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), separatorColor(palette())); }
};

} // namespace

QWidget *makeHorizontalDivider(QWidget *parent)
{
    return new HorizontalDivider(parent);
}

RepositoryView::RepositoryView(AppState &app, RepositoryState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(&state)
{
    m_toolbar = new RepositoryToolbar(app, state, this);
    m_sidebar = makeSidebar(app, state, this);
    m_splitter = new SidebarSplitter(m_sidebar, this);
    m_splitter->setSidebarWidth(SidebarSplitter::initialWidth(Preferences::instance().doubleValue(sidebarWidthKey)));
    m_editorArea = new EditorAreaView(state, this);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_sidebar);
    row->addWidget(m_splitter);
    row->addWidget(m_editorArea, 1);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_toolbar);
    column->addWidget(makeHorizontalDivider(this));
    column->addLayout(row, 1);
    setFocusProxy(m_editorArea);

    connect(m_splitter, &SidebarSplitter::dragFinished, this, [this, &app](double width) {
        app.setSidebarWidth(width);
        Preferences::instance().setValue(sidebarWidthKey, width);
        Q_EMIT sidebarWidthChosen(width);
    });
}

double RepositoryView::sidebarWidth() const
{
    return m_splitter->sidebarWidth();
}

void RepositoryView::setSidebarWidth(double width)
{
    m_splitter->setSidebarWidth(width);
}

} // namespace vesk
