#include "export/ui/export_toolbar_button.h"

#include "editor/editor_view_model.h"
#include "export/export_filter.h"
#include "export/export_job.h"
#include "export/ui/export_outcome.h"
#include "export/ui/export_panel.h"
#include "workspace/repository_state.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

namespace vesk {

namespace {

// After the filter was saved by hand: the file tree shows it, and an editor showing the filter
// file shows what was written.
void afterFilterSaved(const QPointer<RepositoryState> &state)
{
    if (!state) {
        return;
    }
    state->refresh();
    EditorViewModel *editor = state->editor();
    const QString filterPath = QDir::cleanPath(ExportFilter::filePath(state->tab().path));
    if (editor && editor->currentFilePath() && QDir::cleanPath(*editor->currentFilePath()) == filterPath) {
        editor->forceReloadFromDisk();
    }
}

} // namespace

ExportToolbarButton::ExportToolbarButton(RepositoryState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(&state)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    m_button = new QToolButton(this);
    m_button->setObjectName(QStringLiteral("exportButton"));
    m_button->setText(QStringLiteral("Export"));
    m_button->setToolTip(QStringLiteral("Configure and export ZIP for AI assistant"));
    m_button->setAutoRaise(true);
    m_button->setFocusPolicy(Qt::NoFocus);
    connect(m_button, &QToolButton::clicked, this, &ExportToolbarButton::exportZip);
    layout->addWidget(m_button);

    m_busy = new QWidget(this);
    auto *busyLayout = new QHBoxLayout(m_busy);
    busyLayout->setContentsMargins(4, 0, 4, 0);
    busyLayout->setSpacing(6);
    m_busyIndicator = new QProgressBar(m_busy);
    m_busyIndicator->setRange(0, 0);  // turning, without a count
    m_busyIndicator->setTextVisible(false);
    m_busyIndicator->setFixedSize(48, 8);
    m_busyLabel = new QLabel(QStringLiteral("Exporting\u2026"), m_busy);
    busyLayout->addWidget(m_busyIndicator);
    busyLayout->addWidget(m_busyLabel);
    layout->addWidget(m_busy);

    connect(&ExportActivity::instance(), &ExportActivity::started, this, &ExportToolbarButton::jobStarted);
    connect(&ExportActivity::instance(), &ExportActivity::finished, this, &ExportToolbarButton::jobFinished);
    showExporting(isExporting());
}

QString ExportToolbarButton::repoPath() const
{
    return m_state ? m_state->tab().path : QString();
}

bool ExportToolbarButton::isExporting() const
{
    return m_state && ExportJob::runningFor(repoPath()) != nullptr;
}

void ExportToolbarButton::exportZip()
{
    if (!m_state) {
        return;
    }
    const QPointer<RepositoryState> state = m_state;
    showExportPanel(repoPath(), [state] { afterFilterSaved(state); });
}

void ExportToolbarButton::jobStarted(ExportJob *job)
{
    if (job->repoPath() == repoPath()) {
        showExporting(true);
    }
}

void ExportToolbarButton::jobFinished(ExportJob *job, const ZipResult &result)
{
    if (job->repoPath() != repoPath()) {
        return;
    }
    showExporting(isExporting());
    if (job->isReported()) {
        return;
    }
    job->markReported();
    if (result.status == ZipResult::Status::Success) {
        presentExportedArchive(result, window());
    } else if (result.status == ZipResult::Status::Failed) {
        showExportFailedAlert(this);
    }
}

void ExportToolbarButton::showExporting(bool exporting)
{
    m_button->setVisible(!exporting);
    m_busy->setVisible(exporting);
}

} // namespace vesk
