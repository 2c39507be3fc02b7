#pragma once

#include "export/zip_builder.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QToolButton;

namespace vesk {

class ExportJob;
class RepositoryState;

// The toolbar's export control for one repository: a button that opens the export panel, and
// while an export of this repository runs, a small progress indicator with "Exporting…" in its
// place. An export that outlives its panel reports here: a failure as the "Export Failed" alert,
// a finished archive by showing it in the file manager.
class ExportToolbarButton : public QWidget
{
    Q_OBJECT

public:
    ExportToolbarButton(RepositoryState &state, QWidget *parent = nullptr);

    QToolButton *button() const { return m_button; }
    QLabel *busyLabel() const { return m_busyLabel; }
    QProgressBar *busyIndicator() const { return m_busyIndicator; }
    bool isExporting() const;

    // Opens the export panel for the repository. After an explicit save of the filter the
    // repository is refreshed and the filter file, when it is the open file, is read again.
    void exportZip();

private:
    void jobStarted(ExportJob *job);
    void jobFinished(ExportJob *job, const ZipResult &result);
    void showExporting(bool exporting);
    QString repoPath() const;

    QPointer<RepositoryState> m_state;
    QToolButton *m_button = nullptr;
    QWidget *m_busy = nullptr;
    QProgressBar *m_busyIndicator = nullptr;
    QLabel *m_busyLabel = nullptr;
};

} // namespace vesk
