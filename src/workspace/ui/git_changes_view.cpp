#include "workspace/ui/git_changes_view.h"

#include "editor/editor_view_model.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "workspace/git_manager.h"
#include "workspace/repository_state.h"
#include "workspace/ui/changes_list_model.h"

#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace vesk {

GitChangesView::GitChangesView(const SidebarContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_model(new ChangesListModel(this))
    , m_list(new QListView(this))
    , m_clean(new QWidget(this))
    , m_notRepo(new QLabel(QStringLiteral("Not a git repository"), m_clean))
    , m_cleanNote(new QWidget(m_clean))
    , m_refreshError(new QLabel(this))
    , m_stack(new QStackedLayout)
    , m_refresh(new DeferredRefresh(this, [this] { stateChanged(); }))
{
    m_list->setObjectName(QStringLiteral("changesList"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new ChangesRowDelegate(m_list));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QAbstractItemView::clicked, this, &GitChangesView::open);
    connect(m_list, &QAbstractItemView::activated, this, &GitChangesView::open);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (QMenu *menu = contextMenuFor(m_list->indexAt(pos))) {
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(m_list->viewport()->mapToGlobal(pos));
        }
    });

    const QPalette &pal = palette();
    auto *icon = new QLabel(m_cleanNote);
    icon->setPixmap(symbolIcon(QStringLiteral("checkmark.circle"), secondaryLabelColor(pal)).pixmap(32, 32));
    icon->setAlignment(Qt::AlignCenter);
    auto *text = new QLabel(QStringLiteral("Working tree clean"), m_cleanNote);
    text->setAlignment(Qt::AlignCenter);
    QPalette dim = text->palette();
    dim.setColor(QPalette::WindowText, secondaryLabelColor(dim));
    text->setPalette(dim);
    m_notRepo->setPalette(dim);
    m_notRepo->setAlignment(Qt::AlignCenter);
    auto *noteLayout = new QVBoxLayout(m_cleanNote);
    noteLayout->setContentsMargins(0, 0, 0, 0);
    noteLayout->addWidget(icon);
    noteLayout->addWidget(text);
    auto *cleanLayout = new QVBoxLayout(m_clean);
    cleanLayout->addStretch(1);
    cleanLayout->addWidget(m_cleanNote);
    cleanLayout->addWidget(m_notRepo);
    cleanLayout->addStretch(2);

    m_refreshError->setObjectName(QStringLiteral("changesRefreshError"));
    m_refreshError->setWordWrap(true);
    m_refreshError->setContentsMargins(8, 6, 8, 6);
    QPalette warning = m_refreshError->palette();
    warning.setColor(QPalette::WindowText, systemColor(SystemColor::red, pal));
    m_refreshError->setPalette(warning);

    m_stack->addWidget(m_list);
    m_stack->addWidget(m_clean);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_refreshError);
    layout->addLayout(m_stack, 1);
    m_refresh->watch(&m_context.state, &RepositoryState::willChange);
    stateChanged();
}

void GitChangesView::stateChanged()
{
    const RepositoryState &state = m_context.state;
    const int before = m_model->rowCount();
    const QString previousId = m_list->currentIndex().data(ChangesListModel::RowIdRole).toString();
    m_model->update(m_context.repoPath(), state.favorites(), *state.git());
    const bool empty = state.favorites().isEmpty() && state.git()->statusEntries().isEmpty();
    m_stack->setCurrentWidget(empty ? m_clean : static_cast<QWidget *>(m_list));
    m_notRepo->setVisible(!state.git()->isRepo());
    // When git did not answer, what is listed is the last answer it gave; an empty list then
    // says nothing about the working tree, so it does not claim it is clean.
    const QString &error = state.git()->refreshError();
    m_refreshError->setText(error);
    m_refreshError->setVisible(!error.isEmpty());
    m_cleanNote->setVisible(error.isEmpty());
    const bool rebuilt = m_model->rowCount() != before || !m_list->currentIndex().isValid();
    if (state.editor()->currentFilePath() != m_shownFile || rebuilt) {
        m_shownFile = state.editor()->currentFilePath();
        showOpenFile();
        if (!m_list->currentIndex().isValid() && !previousId.isEmpty()) {
            const int row = m_model->rowForId(previousId);
            if (row >= 0) {
                m_list->setCurrentIndex(m_model->index(row));
            }
        }
    }
}

void GitChangesView::showOpenFile()
{
    if (!m_shownFile) {
        return;
    }
    const QString prefix = m_context.repoPath() + u'/';
    int row = m_model->rowForId(QStringLiteral("fav-") + *m_shownFile);
    if (row < 0 && m_shownFile->startsWith(prefix)) {
        row = m_model->rowForId(QStringLiteral("change-") + m_shownFile->mid(prefix.size()));
    }
    if (row >= 0) {
        const QModelIndex index = m_model->index(row);
        m_list->setCurrentIndex(index);
        m_list->scrollTo(index);
    }
}

QMenu *GitChangesView::contextMenuFor(const QModelIndex &index)
{
    const QString path = index.data(ChangesListModel::OpenPathRole).toString();
    if (path.isEmpty()) {
        return nullptr;
    }
    auto *menu = new QMenu(this);
    m_context.addFileEntries(menu, path);
    return menu;
}

void GitChangesView::open(const QModelIndex &index)
{
    const QString path = index.data(ChangesListModel::OpenPathRole).toString();
    // A deleted file, or an untracked folder, has nothing to open.
    if (path.isEmpty() || !QFileInfo(path).isFile() || !m_context.onSelectFile) {
        return;
    }
    m_context.onSelectFile(path);
}

} // namespace vesk
