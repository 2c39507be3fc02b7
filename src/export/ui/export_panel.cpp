#include "export/ui/export_panel.h"

#include "editor/ui/editor_colors.h"
#include "editor/ui/elided_label.h"
#include "export/export_job.h"
#include "export/ui/export_outcome.h"
#include "export/ui/export_outline_delegate.h"
#include "export/ui/export_outline_model.h"
#include "export/ui/top_dir_chooser.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>

namespace vesk {

namespace {

constexpr int margin = 16;
constexpr int typeWidth = 56;
constexpr int includeWidth = 36;
constexpr int nameWidth = 308;
constexpr int nameMinimum = 120;
constexpr int reasonMinimum = 80;
constexpr int privateNamesShown = 6;
constexpr int progressWidth = 280;
// What the bottom row needs beside the progress bar: the buttons and a little of the status.
constexpr int bottomRowFixed = 460;

QPointer<ExportPanel> &openPanel()
{
    static QPointer<ExportPanel> panel;
    return panel;
}

QFont systemFont(int pixels, QFont::Weight weight = QFont::Normal)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

ElidedLabel *secondaryLabel(QWidget *parent)
{
    auto *label = new ElidedLabel(parent, Qt::ElideRight);
    label->setFont(systemFont(11));
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, secondaryLabelColor(palette));
    label->setPalette(palette);
    return label;
}

QPushButton *smallButton(const QString &title, const QString &tip, QWidget *parent)
{
    auto *button = new QPushButton(title, parent);
    button->setFont(systemFont(11));
    button->setToolTip(tip);
    button->setAutoDefault(false);
    button->setFixedHeight(22);
    button->setFixedWidth(button->sizeHint().width());
    return button;
}

QPushButton *bottomButton(const QString &title, int width, QWidget *parent)
{
    auto *button = new QPushButton(title, parent);
    button->setAutoDefault(false);
    if (width > 0) {
        button->setFixedWidth(width);
    }
    return button;
}

QFrame *separator(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QString folderName(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return QFileInfo(path).fileName();
}

} // namespace

ExportPanel::ExportPanel(const QString &repoPath, std::function<void()> onSave, QWidget *parent)
    : QDialog(parent)
    , m_onSave(std::move(onSave))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Export Declaration \u2014 ") + folderName(repoPath));
    setSizeGripEnabled(true);
    setMinimumSize(580, 440);
    resize(panelWidth, panelHeight);

    m_selection.open(repoPath);
    m_sizes.measure(repoPath, m_selection.tree());

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin - 4, margin, margin);
    layout->setSpacing(8);
    auto *heading = new QLabel(QStringLiteral("Project subdirectories"), this);
    heading->setFont(systemFont(12, QFont::DemiBold));
    layout->addWidget(heading);
    m_dirs = new TopDirChooser(m_selection.allTopDirs(), this);
    m_dirs->showChecked(m_selection.filter().includedDirs);
    connect(m_dirs, &TopDirChooser::toggled, this, &ExportPanel::dirChanged);
    layout->addWidget(m_dirs);
    layout->addWidget(separator(this));
    layout->addWidget(makeScanRow());
    layout->addWidget(separator(this));
    layout->addWidget(makeOutline(), 1);
    layout->addWidget(makeBottomRow());

    updateSummary();
    updateStatus();
    expand({});
}

ExportPanel::~ExportPanel() = default;

QWidget *ExportPanel::makeScanRow()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    m_summary = secondaryLabel(row);
    m_summary->setMaximumWidth(478);
    m_rescan = smallButton(QStringLiteral("Rescan"),
                           QStringLiteral("Pick up new and removed files, keeping current overrides"), row);
    m_scanDefaults = smallButton(QStringLiteral("Scan Defaults"),
                                 QStringLiteral("Re-scan the repo and reset to auto-detected defaults"), row);
    connect(m_rescan, &QPushButton::clicked, this, &ExportPanel::rescan);
    connect(m_scanDefaults, &QPushButton::clicked, this, &ExportPanel::scanDefaults);
    layout->addWidget(m_summary, 1);
    layout->addWidget(m_rescan);
    layout->addWidget(m_scanDefaults);
    return row;
}

QWidget *ExportPanel::makeOutline()
{
    m_model = new ExportOutlineModel(&m_selection, this);
    connect(m_model, &ExportOutlineModel::checkToggled, this, &ExportPanel::checkChanged);
    m_outline = new QTreeView(this);
    m_outline->setItemDelegate(new ExportOutlineDelegate(m_outline));
    m_outline->setModel(m_model);
    m_outline->setTreePosition(ExportOutlineModel::NameColumn);
    m_outline->setUniformRowHeights(true);
    m_outline->setAlternatingRowColors(true);
    m_outline->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_outline->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_outline->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_outline->setFrameShape(QFrame::StyledPanel);

    QHeaderView *header = m_outline->header();
    header->setStretchLastSection(true);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(includeWidth);
    header->setSectionResizeMode(ExportOutlineModel::TypeColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(ExportOutlineModel::IncludeColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(ExportOutlineModel::NameColumn, QHeaderView::Interactive);
    header->resizeSection(ExportOutlineModel::TypeColumn, typeWidth);
    header->resizeSection(ExportOutlineModel::IncludeColumn, includeWidth);
    header->resizeSection(ExportOutlineModel::NameColumn, nameWidth);
    connect(header, &QHeaderView::sectionResized, this, [header](int section, int, int size) {
        if (section == ExportOutlineModel::NameColumn && size < nameMinimum) {
            header->resizeSection(section, nameMinimum);
        }
    });
    // No order until the user picks a column: the rows keep the scanner's order.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    m_outline->setSortingEnabled(true);
    m_outline->viewport()->installEventFilter(this);
    return m_outline;
}

QWidget *ExportPanel::makeBottomRow()
{
    auto *row = new QWidget(this);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 6, 0, 0);
    layout->setSpacing(10);
    m_save = bottomButton(QStringLiteral("Save Export Filter"), 0, row);
    m_save->setToolTip(QStringLiteral("Save current settings to .vesk-export-filter"));
    connect(m_save, &QPushButton::clicked, this, &ExportPanel::saveExplicitly);

    auto *lines = new QVBoxLayout;
    lines->setSpacing(1);
    m_status = secondaryLabel(row);
    m_size = secondaryLabel(row);
    lines->addWidget(m_status);
    lines->addWidget(m_size);

    m_progress = new QProgressBar(row);
    m_progress->setFixedSize(progressWidth, 14);
    m_progress->setTextVisible(false);
    m_progress->hide();

    m_cancel = bottomButton(QStringLiteral("Cancel"), 70, row);
    m_export = bottomButton(QStringLiteral("Export"), 90, row);
    m_export->setDefault(true);
    m_stop = bottomButton(QStringLiteral("Stop"), 90, row);
    m_stop->hide();
    connect(m_cancel, &QPushButton::clicked, this, &ExportPanel::reject);
    connect(m_export, &QPushButton::clicked, this, &ExportPanel::startExport);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (m_job) {
            m_job->stop();
        }
    });

    layout->addWidget(m_save);
    layout->addLayout(lines, 1);
    layout->addWidget(m_progress);
    layout->addWidget(m_cancel);
    layout->addWidget(m_export);
    layout->addWidget(m_stop);
    return row;
}

QString ExportPanel::summaryText(const ExportTree &tree)
{
    int counts[4] = {0, 0, 0, 0};
    for (const ExportNode *file : allFileNodes(tree)) {
        ++counts[int(file->category)];
    }
    QStringList parts;
    const auto add = [&parts](int count, const QString &prefix, const QString &suffix) {
        if (count > 0) {
            parts.append(prefix + QString::number(count) + suffix);
        }
    };
    add(counts[int(FileCategory::Text)], {}, QStringLiteral(" text"));
    add(counts[int(FileCategory::Image)], {}, QStringLiteral(" image"));
    add(counts[int(FileCategory::Binary)], {}, QStringLiteral(" binary"));
    add(counts[int(FileCategory::Secret)], QStringLiteral("\u26A0 "), QStringLiteral(" private"));
    return parts.join(QStringLiteral("  \u00B7  "));
}

void ExportPanel::updateSummary()
{
    m_summary->setFullText(summaryText(m_selection.tree()));
}

void ExportPanel::updateStatus()
{
    // A filter that cannot be saved (a link, a disk that refuses) is said at once, not found out later.
    const QString selected = QString::number(m_selection.includedPaths().size())
                             + QStringLiteral(" files selected for export");
    m_status->setFullText(m_selection.saveError().isEmpty() ? selected
                                                            : selected + QStringLiteral(" \u2014 ") + m_selection.saveError());
    const QString size = describeSelectionSize(m_sizes.sizeOf(m_selection.includedPaths()));
    m_size->setFullText(size);
    if (!size.isEmpty()) {
        m_size->setToolTip(size + QStringLiteral("\nAbout four bytes of text make one token; images and binaries "
                                                 "are not part of the estimate."));
    }
}

void ExportPanel::checkChanged(const ExportNode *node)
{
    if (!node || isExporting()) {
        return;
    }
    const QString path = node->relativePath;
    const QStringList privateFiles = privateFilesToBeSelected(*node);
    if (privateFiles.isEmpty() || m_privateConfirmed) {
        applyToggle(path, false);
        return;
    }
    askAboutPrivateFiles(privateFiles, node->isDirectory, [this, path](bool include) {
        m_privateConfirmed = include;
        applyToggle(path, !include);
    });
}

// Flips the node at `relativePath`; with `leavePrivateOut` the private files it would select
// stay unselected.
void ExportPanel::applyToggle(const QString &relativePath, bool leavePrivateOut)
{
    const ExportNode *node = m_model->node(m_model->indexOf(relativePath));
    if (!node) {
        return;
    }
    const QStringList privateFiles = leavePrivateOut ? privateFilesToBeSelected(*node) : QStringList();
    if (!node->isDirectory && !privateFiles.isEmpty()) {
        return;
    }
    if (node->isDirectory) {
        m_selection.toggleDir(*node);
    } else {
        m_selection.toggleFile(*node);
    }
    leaveOut(privateFiles);
    m_selection.save();
    m_model->refreshChecks();
    updateStatus();
}

QStringList ExportPanel::privateFilesToBeSelected(const ExportNode &node) const
{
    const QList<const ExportNode *> files = node.allFileNodes();
    const bool allSelected = std::all_of(files.cbegin(), files.cend(), [this](const ExportNode *file) {
        return m_selection.isSelected(file->relativePath);
    });
    QStringList result;
    if (allSelected) {
        return result;  // the flip deselects
    }
    for (const ExportNode *file : files) {
        if (file->category == FileCategory::Secret && !m_selection.isSelected(file->relativePath)) {
            result.append(file->relativePath);
        }
    }
    return result;
}

QStringList ExportPanel::selectedPrivateFiles() const
{
    QStringList result;
    for (const ExportNode *file : allFileNodes(m_selection.tree())) {
        if (file->category == FileCategory::Secret && m_selection.isSelected(file->relativePath)) {
            result.append(file->relativePath);
        }
    }
    return result;
}

void ExportPanel::leaveOut(const QStringList &files)
{
    for (const QString &path : files) {
        const ExportNode *file = m_model->node(m_model->indexOf(path));
        if (file && m_selection.isSelected(path)) {
            m_selection.toggleFile(*file);
        }
    }
}

void ExportPanel::askAboutPrivateFiles(const QStringList &files, bool offerLeaveOut, std::function<void(bool)> decide)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Include private files?"),
                                QStringLiteral("Include private files?"), QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("privateFilesPrompt"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QStringList shown = files.mid(0, privateNamesShown);
    if (files.size() > privateNamesShown) {
        shown.append(QStringLiteral("and %1 more").arg(files.size() - privateNamesShown));
    }
    box->setInformativeText(
        QStringLiteral("%1 may hold passwords, keys or tokens. Anything in the archive is sent to the assistant.\n\n%2")
            .arg(files.size() == 1 ? QStringLiteral("This file") : QStringLiteral("These %1 files").arg(files.size()),
                 shown.join(QLatin1Char('\n'))));
    QPushButton *include = box->addButton(QStringLiteral("Include Private Files"), QMessageBox::AcceptRole);
    QPushButton *leave = offerLeaveOut ? box->addButton(QStringLiteral("Leave Them Out"), QMessageBox::NoRole) : nullptr;
    QPushButton *cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(leave ? leave : cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::buttonClicked, this, [include, leave, decide = std::move(decide)](QAbstractButton *button) {
        if (button == include) {
            decide(true);
        } else if (leave && button == leave) {
            decide(false);
        }
    });
    box->open();
}

void ExportPanel::dirChanged(int index, bool on)
{
    if (isExporting()) {
        return;
    }
    const QStringList expanded = expandedPaths();
    m_selection.dirChanged(index, on);
    afterRescan(expanded);
}

void ExportPanel::rescan()
{
    const QStringList expanded = expandedPaths();
    m_selection.rescan();
    afterRescan(expanded);
}

void ExportPanel::scanDefaults()
{
    const QStringList expanded = expandedPaths();
    m_selection.scanDefaults();
    m_dirs->showChecked(m_selection.filter().includedDirs);
    afterRescan(expanded);
}

void ExportPanel::afterRescan(const QStringList &expanded)
{
    m_sizes.measure(m_selection.repoPath(), m_selection.tree());
    m_model->reload();
    expand(expanded);
    updateSummary();
    updateStatus();
}

void ExportPanel::saveExplicitly()
{
    m_selection.save();
    if (m_onSave) {
        m_onSave();
    }
    m_status->setFullText(m_selection.saveError().isEmpty() ? QStringLiteral("Saved .vesk-export-filter")
                                                            : m_selection.saveError());
}

void ExportPanel::startExport()
{
    if (isExporting()) {
        return;
    }
    const QStringList privateFiles = selectedPrivateFiles();
    if (!privateFiles.isEmpty() && !m_privateConfirmed) {
        // Chosen in an earlier session, or by a filter file that came with the repository.
        askAboutPrivateFiles(privateFiles, true, [this, privateFiles](bool include) {
            if (!include) {
                leaveOut(privateFiles);
                m_selection.save();
                m_model->refreshChecks();
                updateStatus();
            }
            m_privateConfirmed = true;
            startExport();
        });
        return;
    }
    const QStringList paths = m_selection.exportList();
    if (paths.isEmpty()) {
        return;
    }
    m_privateConfirmed = false;  // the next export asks again
    m_selection.save();
    m_progress->setRange(0, int(paths.size()));
    m_progress->setValue(0);
    ExportJob *job = ExportJob::start(m_selection.repoPath(), paths);
    m_job = job;
    connect(job, &ExportJob::progressChanged, m_progress, [this](int done) { m_progress->setValue(done); });
    connect(job, &ExportJob::finished, this, [this, job](const ZipResult &result) { exportFinished(job, result); });
    setExporting(true);
}

void ExportPanel::exportFinished(ExportJob *job, const ZipResult &result)
{
    m_job = nullptr;
    setExporting(false);
    if (!isVisible()) {
        return;  // closed while exporting: the toolbar reports the outcome
    }
    job->markReported();
    switch (result.status) {
    case ZipResult::Status::Success:
        close();
        presentExportedArchive(result, parentWidget());
        break;
    case ZipResult::Status::Failed:
        showExportFailedAlert(this);
        break;
    case ZipResult::Status::Cancelled:
        m_status->setFullText(QStringLiteral("Export cancelled."));
        break;
    }
}

void ExportPanel::setExporting(bool exporting)
{
    m_export->setVisible(!exporting);
    m_stop->setVisible(exporting);
    m_cancel->setEnabled(!exporting);
    m_save->setEnabled(!exporting);
    m_rescan->setEnabled(!exporting);
    m_scanDefaults->setEnabled(!exporting);
    m_progress->setVisible(exporting);
    m_dirs->setEnabled(!exporting);
    m_model->setChecksEnabled(!exporting);
    if (!exporting) {
        updateStatus();
    }
    Q_EMIT exportingChanged(exporting);
}

void ExportPanel::reject()
{
    if (m_cancel->isEnabled()) {
        close();
    }
}

void ExportPanel::closeEvent(QCloseEvent *event)
{
    // A running export goes on without the panel; the toolbar shows it and its outcome.
    m_selection.save();
    event->accept();
}

void ExportPanel::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    m_progress->setFixedWidth(std::clamp(width() - bottomRowFixed, 80, progressWidth));
}

bool ExportPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_outline->viewport() && event->type() == QEvent::Resize) {
        fitColumns();
    }
    return QDialog::eventFilter(watched, event);
}

// The name column gives way to the reason column as the outline narrows, down to its own minimum.
void ExportPanel::fitColumns()
{
    QHeaderView *header = m_outline->header();
    const int room = m_outline->viewport()->width() - typeWidth - includeWidth - reasonMinimum;
    const int name = header->sectionSize(ExportOutlineModel::NameColumn);
    if (name > room) {
        header->resizeSection(ExportOutlineModel::NameColumn, std::max(nameMinimum, room));
    }
}

QStringList ExportPanel::expandedPaths() const
{
    QStringList paths;
    std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
        for (int row = 0, rows = m_model->rowCount(parent); row < rows; ++row) {
            const QModelIndex index = m_model->index(row, 0, parent);
            if (m_outline->isExpanded(index)) {
                paths.append(m_model->node(index)->relativePath);
                walk(index);
            }
        }
    };
    walk({});
    return paths;
}

// The top-level directories, and the directories in `paths` that are still there.
void ExportPanel::expand(const QStringList &paths)
{
    for (int row = 0, rows = m_model->rowCount(); row < rows; ++row) {
        const QModelIndex index = m_model->index(row, 0);
        if (m_model->hasChildren(index)) {
            m_outline->expand(index);
        }
    }
    for (const QString &path : paths) {
        const QModelIndex index = m_model->indexOf(path, 0);
        if (index.isValid()) {
            m_outline->expand(index);
        }
    }
}

void showExportPanel(const QString &repoPath, std::function<void()> onSave)
{
    QWidget *host = QApplication::activeWindow();
    if (ExportPanel *previous = openPanel()) {
        if (host == previous) {
            host = previous->parentWidget();
        }
        previous->close();
    }
    auto *panel = new ExportPanel(repoPath, std::move(onSave), host ? host->window() : nullptr);
    if (host) {
        panel->move(host->window()->frameGeometry().center()
                    - QPoint(ExportPanel::panelWidth / 2, ExportPanel::panelHeight / 2));
    } else {
        panel->move(panel->screen()->availableGeometry().center()
                    - QPoint(ExportPanel::panelWidth / 2, ExportPanel::panelHeight / 2));
    }
    openPanel() = panel;
    panel->show();
    panel->raise();
    panel->activateWindow();
}

ExportPanel *openExportPanel()
{
    return openPanel();
}

} // namespace vesk
