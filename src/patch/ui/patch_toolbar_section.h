#pragma once

#include "patch/patch_analysis.h"

#include <QMessageBox>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <optional>

class QLabel;
class QProgressBar;

namespace vesk {

class PatchResultStrip;
class RepositoryState;
class ZipDropTarget;

// The patch part of a repository's toolbar and the patch flow behind it: the drop target, the
// "Analyzing…" and "Applying…" indicator and the result strip. A dropped zip is analysed off the
// main thread, reviewed in the review panel and applied off the main thread; the repository is
// refreshed afterwards and the editor shows what the patch wrote without losing its own edits.
class PatchToolbarSection : public QWidget
{
    Q_OBJECT

public:
    explicit PatchToolbarSection(RepositoryState &state, QWidget *parent = nullptr);

    // Analyses the zip; when `ownsFile`, the zip is a private copy and is deleted after the
    // analysis whatever its outcome.
    void beginPatchFlow(const QString &zipPath, bool ownsFile);

    ZipDropTarget *dropTarget() const { return m_drop; }
    PatchResultStrip *resultStrip() const { return m_result; }
    QLabel *busyLabel() const { return m_busyLabel; }
    QProgressBar *busyBar() const { return m_busyBar; }
    // Why the last drop gave nothing to analyse, while its alert is up.
    const std::optional<QString> &dropDiagnostic() const { return m_dropDiagnostic; }
    QMessageBox *dropAlert() const { return m_alert; }

Q_SIGNALS:
    void analysisFinished();
    void applyFinished();

private:
    void showAnalysis(const PatchAnalysis &analysis);
    void apply(const PatchAnalysis &analysis, const QSet<qsizetype> &excluded);
    void applySaved(const PatchAnalysis &analysis, const QSet<qsizetype> &excluded);
    void showResult(const PatchApplyResult &result);
    void showDropDiagnostic(const QString &diagnostic);
    void followOpenFile(const PatchAnalysis &analysis, const PatchApplyResult &result);
    void setBusy(const QString &text);

    RepositoryState &m_state;
    ZipDropTarget *m_drop;
    QWidget *m_busy;
    QLabel *m_busyLabel;
    QProgressBar *m_busyBar;
    PatchResultStrip *m_result;
    QPointer<QMessageBox> m_alert;
    std::optional<QString> m_dropDiagnostic;
    int m_running = 0;
};

} // namespace vesk
