#include "app/repository_toolbar.h"

#include "app/panel_places.h"
#include "editor/editor_view_model.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "workspace/git_manager.h"
#include "workspace/repository_state.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

constexpr int rowHeight = 38;

QToolButton *toolButton(const QString &objectName, const QString &text, const QString &toolTip, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setText(text);
    button->setToolTip(toolTip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

RepositoryToolbar::RepositoryToolbar(AppState &app, RepositoryState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(&state)
{
    auto *row = new QWidget(this);
    row->setFixedHeight(rowHeight);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 0, 8, 0);
    layout->setSpacing(6);

    m_branchIcon = new QLabel(row);
    m_branch = new QLabel(row);
    m_branch->setObjectName(QStringLiteral("branchLabel"));
    layout->addWidget(m_branchIcon);
    layout->addWidget(m_branch);
    layout->addStretch(1);

    const PatchPlaces patch = makePatchPlaces(app, state, this);
    m_dropTarget = patch.dropTarget;
    m_resultStrip = patch.resultStrip;
    m_dropTarget->setParent(row);
    layout->addWidget(m_dropTarget);

    m_export = makeExportPlace(app, state, row);
    layout->addWidget(m_export);

    m_save = toolButton(QStringLiteral("saveButton"), QStringLiteral("Save"), QStringLiteral("Save the open file"), row);
    connect(m_save, &QToolButton::clicked, this, [this] {
        if (m_state) {
            saveAndRefresh(*m_state);
        }
    });
    layout->addWidget(m_save);

    m_refresh = toolButton(QStringLiteral("refreshButton"), QStringLiteral("Refresh"),
                           QStringLiteral("Read the files and git status again"), row);
    connect(m_refresh, &QToolButton::clicked, this, [this] {
        if (m_state) {
            m_state->refresh();
        }
    });
    layout->addWidget(m_refresh);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(row);
    column->addWidget(m_resultStrip);

    auto *refresh = new DeferredRefresh(this, [this] { sync(); });
    refresh->watch(state.git(), &GitManager::willChange);
    refresh->watch(state.editor(), &EditorViewModel::willChange);
    sync();
}

void RepositoryToolbar::saveAndRefresh(RepositoryState &state)
{
    // The git status is read again once the file is written.
    QPointer<RepositoryState> target(&state);
    state.editor()->save([target] {
        if (target) {
            target->refresh();
        }
    });
}

void RepositoryToolbar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        sync();
    }
}

void RepositoryToolbar::sync()
{
    if (!m_state) {
        return;
    }
    const GitManager *git = m_state->git();
    const bool showBranch = git->isRepo();
    m_branchIcon->setVisible(showBranch);
    m_branch->setVisible(showBranch);
    m_branch->setText(git->branch());
    m_branchIcon->setPixmap(symbolIcon(QStringLiteral("arrow.triangle.branch"), secondaryLabelColor(palette()))
                                .pixmap(14, 14));
    m_save->setEnabled(m_state->editor()->currentFilePath().has_value());
}

} // namespace vesk
