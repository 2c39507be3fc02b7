#include "app/editor_area_view.h"

#include "editor/editor_view_model.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/diff_header_view.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/editor_pane_view.h"
#include "editor/ui/status_bar_view.h"
#include "editor/ui/symbol_icons.h"
#include "workspace/repository_state.h"

#include <QEvent>
#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace vesk {

namespace {

// "Select a file to edit" under a large symbol, on the editor's background.
class Placeholder : public QWidget
{
public:
    explicit Placeholder(QWidget *parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("selectFilePlaceholder"));
        setAutoFillBackground(true);
        auto *column = new QVBoxLayout(this);
        column->setSpacing(12);
        column->addStretch(1);
        m_icon = new QLabel(this);
        m_icon->setAlignment(Qt::AlignCenter);
        column->addWidget(m_icon);
        m_text = new QLabel(QStringLiteral("Select a file to edit"), this);
        m_text->setObjectName(QStringLiteral("selectFileLabel"));
        m_text->setAlignment(Qt::AlignCenter);
        column->addWidget(m_text);
        column->addStretch(1);
        restyle();
    }

protected:
    void changeEvent(QEvent *event) override
    {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::PaletteChange) {
            restyle();
        }
    }

private:
    void restyle()
    {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, textBackgroundColor(pal));
        pal.setColor(QPalette::WindowText, secondaryLabelColor(pal));
        setPalette(pal);
        m_icon->setPixmap(symbolIcon(QStringLiteral("doc.text.magnifyingglass"), tertiaryLabelColor(pal))
                              .pixmap(48, 48, QIcon::Normal));
    }

    QLabel *m_icon = nullptr;
    QLabel *m_text = nullptr;
};

} // namespace

EditorAreaView::EditorAreaView(RepositoryState &state, QWidget *parent)
    : QWidget(parent)
    , m_editor(state.editor())
{
    m_stack = new QStackedWidget(this);
    m_placeholder = new Placeholder(m_stack);
    m_editorColumn = new QWidget(m_stack);
    m_diffHeader = new DiffHeaderView(state.editor(), state.tab().path, state.git(), m_editorColumn);
    m_pane = new EditorPaneView(state.editor(), m_editorColumn);
    auto *editorColumn = new QVBoxLayout(m_editorColumn);
    editorColumn->setContentsMargins(0, 0, 0, 0);
    editorColumn->setSpacing(0);
    editorColumn->addWidget(m_diffHeader);
    editorColumn->addWidget(m_pane, 1);
    m_editorColumn->setFocusProxy(m_pane);
    m_stack->addWidget(m_placeholder);
    m_stack->addWidget(m_editorColumn);

    m_statusBar = new StatusBarView(state.editor(), state.tab().path, state.git(), this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_stack, 1);
    column->addWidget(m_statusBar);
    setFocusProxy(m_pane);

    auto *refresh = new DeferredRefresh(this, [this] { sync(); });
    refresh->watch(state.editor(), &EditorViewModel::willChange);
    sync();
}

bool EditorAreaView::showsEditor() const
{
    return m_stack->currentWidget() == m_editorColumn;
}

void EditorAreaView::sync()
{
    const bool hasFile = m_editor && m_editor->currentFilePath();
    m_stack->setCurrentWidget(hasFile ? m_editorColumn : m_placeholder);
}

} // namespace vesk
