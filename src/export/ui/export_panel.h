#pragma once

#include "export/export_job.h"
#include "export/export_selection.h"
#include "export/export_size.h"
#include "export/zip_builder.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class QMessageBox;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace vesk {

class ElidedLabel;
class ExportOutlineModel;
class TopDirChooser;

// Where the user chooses what goes into the zip archive for an AI assistant: the repository's
// top-level directories, then every scanned file with its category, a checkbox and the reason
// for its category. Every change of the choice is written to the repository's filter file at
// once; "Export" builds the archive in the background and, when it is done, closes the panel and
// shows the archive in the file manager. Private files are never chosen without the user saying
// so once per export.
class ExportPanel : public QDialog
{
    Q_OBJECT

public:
    static constexpr int panelWidth = 740;
    static constexpr int panelHeight = 660;

    ExportPanel(const QString &repoPath, std::function<void()> onSave, QWidget *parent = nullptr);
    ~ExportPanel() override;

    const ExportSelection &selection() const { return m_selection; }
    ExportOutlineModel *outlineModel() const { return m_model; }
    QTreeView *outline() const { return m_outline; }
    TopDirChooser *dirChooser() const { return m_dirs; }
    ElidedLabel *summaryLabel() const { return m_summary; }
    ElidedLabel *statusLabel() const { return m_status; }
    ElidedLabel *sizeLabel() const { return m_size; }
    QPushButton *rescanButton() const { return m_rescan; }
    QPushButton *scanDefaultsButton() const { return m_scanDefaults; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *exportButton() const { return m_export; }
    QPushButton *stopButton() const { return m_stop; }
    QProgressBar *progressBar() const { return m_progress; }
    bool isExporting() const { return m_job != nullptr; }

    // "3 text  ·  ⚠ 1 private": every file of `tree` counted by category.
    static QString summaryText(const ExportTree &tree);

public Q_SLOTS:
    // "Cancel" and Escape: the filter is saved and the panel closes. Nothing while exporting.
    void reject() override;

Q_SIGNALS:
    void exportingChanged(bool exporting);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makeScanRow();
    QWidget *makeOutline();
    QWidget *makeBottomRow();

    void checkChanged(const ExportNode *node);
    void applyToggle(const QString &relativePath, bool leavePrivateOut);
    void dirChanged(int index, bool on);
    void rescan();
    void scanDefaults();
    void afterRescan(const QStringList &expanded);
    void saveExplicitly();
    void startExport();
    void exportFinished(ExportJob *job, const ZipResult &result);
    void setExporting(bool exporting);
    void updateSummary();
    void updateStatus();

    // Asks whether `files` (private, about to be selected) may go into the archive; `decide` gets
    // true to include them, false to leave them out. Closing the question decides nothing.
    void askAboutPrivateFiles(const QStringList &files, bool offerLeaveOut, std::function<void(bool)> decide);
    QStringList privateFilesToBeSelected(const ExportNode &node) const;
    QStringList selectedPrivateFiles() const;
    void leaveOut(const QStringList &files);

    QStringList expandedPaths() const;
    void expand(const QStringList &paths);
    void fitColumns();

    ExportSelection m_selection;
    ExportSizeTable m_sizes;
    std::function<void()> m_onSave;
    QPointer<ExportJob> m_job;
    bool m_privateConfirmed = false;

    TopDirChooser *m_dirs = nullptr;
    ElidedLabel *m_summary = nullptr;
    QPushButton *m_rescan = nullptr;
    QPushButton *m_scanDefaults = nullptr;
    ExportOutlineModel *m_model = nullptr;
    QTreeView *m_outline = nullptr;
    QPushButton *m_save = nullptr;
    ElidedLabel *m_status = nullptr;
    ElidedLabel *m_size = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_stop = nullptr;
};

// Opens the export panel for the repository at `repoPath`, closing one already open, and
// returns at once. `onSave` runs after each explicit "Save Export Filter".
void showExportPanel(const QString &repoPath, std::function<void()> onSave);

// The panel currently open, if any.
ExportPanel *openExportPanel();

} // namespace vesk
