#include "patch/ui/patch_toolbar_section.h"

#include "editor/editor_view_model.h"
#include "editor/ui/conflict_panel.h"
#include "patch/patch_applier.h"
#include "patch/ui/patch_result_strip.h"
#include "patch/ui/patch_review_panel.h"
#include "patch/ui/zip_drop_target.h"
#include "platform/background.h"
#include "workspace/repository_state.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>

#include <algorithm>
#include <atomic>
#include <memory>

namespace vesk {

namespace {

// Applying this many files or more shows how far it has got.
constexpr qsizetype manyFiles = 50;

// Removing an unpacked patch may take a while for a large one; nobody waits for it.
void discard(const PatchAnalysis &analysis)
{
    runInBackground(WorkPriority::Background, [analysis] { PatchApplier::cancel(analysis); });
}

QString canonical(const QString &path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return resolved.isEmpty() ? QFileInfo(path).absoluteFilePath() : resolved;
}

} // namespace

PatchToolbarSection::PatchToolbarSection(RepositoryState &state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_drop(new ZipDropTarget(this))
    , m_busy(new QWidget(this))
    , m_busyLabel(new QLabel(m_busy))
    , m_busyBar(new QProgressBar(m_busy))
    , m_result(new PatchResultStrip(this))
{
    setObjectName(QStringLiteral("patchToolbarSection"));
    m_busyBar->setRange(0, 0);
    m_busyBar->setTextVisible(false);
    m_busyBar->setFixedSize(48, 8);
    auto *busyLayout = new QHBoxLayout(m_busy);
    busyLayout->setContentsMargins(0, 0, 0, 0);
    busyLayout->setSpacing(6);
    busyLayout->addWidget(m_busyBar);
    busyLayout->addWidget(m_busyLabel);
    m_busy->hide();
    m_result->hide();

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(m_drop);
    layout->addWidget(m_busy);
    layout->addWidget(m_result);

    connect(m_drop, &ZipDropTarget::zipDropped, this, &PatchToolbarSection::beginPatchFlow);
    connect(m_drop, &ZipDropTarget::dropFailed, this, &PatchToolbarSection::showDropDiagnostic);
}

void PatchToolbarSection::setBusy(const QString &text)
{
    if (text.isEmpty()) {
        m_busyBar->setRange(0, 0);  // back to the busy indicator for the next piece of work
    }
    m_busyLabel->setText(text);
    m_busy->setVisible(!text.isEmpty());
}

void PatchToolbarSection::beginPatchFlow(const QString &zipPath, bool ownsFile)
{
    const QString repoPath = m_state.tab().path;
    ++m_running;
    setBusy(QStringLiteral("Analyzing\u2026"));
    runInBackground<PatchAnalysis>(
        this, WorkPriority::UserInitiated,
        [zipPath, repoPath, ownsFile] {
            PatchAnalysis analysis = PatchApplier::analyze(zipPath, repoPath);
            if (ownsFile) {
                QFile::remove(zipPath);
            }
            return analysis;
        },
        [this](PatchAnalysis analysis) {
            if (--m_running == 0) {
                setBusy(QString());
            }
            showAnalysis(analysis);
            Q_EMIT analysisFinished();
        });
}

void PatchToolbarSection::showAnalysis(const PatchAnalysis &analysis)
{
    if (analysis.entries.isEmpty() && !analysis.errors.isEmpty()) {
        discard(analysis);
        showResult({{}, {}, analysis.errors});
        return;
    }
    QPointer<PatchToolbarSection> self(this);
    PatchReviewPanel *panel = showPatchConfirmPanel(
        analysis,
        [self, analysis](const QSet<qsizetype> &excluded) {
            if (self) {
                self->apply(analysis, excluded);
            } else {
                discard(analysis);
            }
        },
        [analysis] { discard(analysis); }, window());
    // A newer panel takes this one's place without an answer: its files are not needed any more.
    panel->setOnReplaced([analysis] { discard(analysis); });
}

void PatchToolbarSection::apply(const PatchAnalysis &analysis, const QSet<qsizetype> &excluded)
{
    // Edits of the open file go to disk first, so the patch replaces a saved file, and whatever
    // the patch leaves alone keeps them: the patch starts once that write has ended.
    ++m_running;
    setBusy(QStringLiteral("Applying\u2026"));
    QPointer<PatchToolbarSection> self(this);
    m_state.editor()->autoSave([self, analysis, excluded] {
        if (self) {
            self->applySaved(analysis, excluded);
        }
    });
}

void PatchToolbarSection::applySaved(const PatchAnalysis &analysis, const QSet<qsizetype> &excluded)
{
    const qsizetype total = analysis.entries.size();
    if (total >= manyFiles) {
        m_busyBar->setRange(0, int(total));
        m_busyBar->setValue(0);
    }
    // The worker reports each whole percent done; the bar moves on the main thread.
    QPointer<QObject> self(this);
    auto reported = std::make_shared<std::atomic<qint64>>(-1);
    auto progress = [self, reported](qsizetype done, qsizetype total) {
        const qint64 percent = qint64(done) * 100 / std::max<qsizetype>(total, 1);
        if (total < manyFiles || reported->exchange(percent) == percent) {
            return;
        }
        postToMainThread(self, [self, done] {
            if (auto *section = qobject_cast<PatchToolbarSection *>(self.data()); section && section->m_running > 0) {
                section->m_busyBar->setValue(int(done));
            }
        });
    };
    runInBackground<PatchApplyResult>(
        this, WorkPriority::UserInitiated,
        [analysis, excluded, progress] { return PatchApplier::apply(analysis, excluded, progress); },
        [this, analysis](PatchApplyResult result) {
            if (--m_running == 0) {
                setBusy(QString());
            }
            showResult(result);
            m_state.refresh();
            followOpenFile(analysis, result);
            Q_EMIT applyFinished();
        });
}

void PatchToolbarSection::showResult(const PatchApplyResult &result)
{
    m_result->setResult(result);
    m_result->show();
}

void PatchToolbarSection::followOpenFile(const PatchAnalysis &analysis, const PatchApplyResult &result)
{
    EditorViewModel *editor = m_state.editor();
    if (!editor->currentFilePath()) {
        return;
    }
    const QString open = canonical(*editor->currentFilePath());
    const bool written = std::any_of(result.applied.cbegin(), result.applied.cend(), [&](const QString &relative) {
        return canonical(analysis.repoPath + u'/' + relative) == open;
    });
    if (!written) {
        return;  // the open file and its unsaved edits stay as they are
    }
    if (!editor->hasUnsavedEdits()) {
        editor->forceReloadFromDisk();
        return;
    }
    // The edits could not be saved before the patch replaced their file: the user chooses.
    editor->setPendingConflict(true);
    QPointer<EditorViewModel> target(editor);
    showConflictPanel(
        editor,
        [target] {
            if (target) {
                target->forceReloadFromDisk();
            }
        },
        [target] {
            if (target) {
                target->forceSaveToDisk();
            }
        });
}

void PatchToolbarSection::showDropDiagnostic(const QString &diagnostic)
{
    m_dropDiagnostic = diagnostic;
    if (m_alert) {
        m_alert->close();
    }
    auto *alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Couldn't import dropped zip"), diagnostic,
                                  QMessageBox::Ok, window());
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setText(QStringLiteral("Couldn't import dropped zip"));
    alert->setInformativeText(diagnostic);
    connect(alert, &QMessageBox::finished, this, [this, alert] {
        if (m_alert == alert) {
            m_dropDiagnostic.reset();
        }
    });
    m_alert = alert;
    alert->open();
}

} // namespace vesk
