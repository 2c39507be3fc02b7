#include "patch/ui/patch_review_panel.h"

#include "editor/ui/editor_colors.h"
#include "patch/ui/patch_preview_window.h"
#include "patch/ui/patch_review_list.h"
#include "patch/ui/patch_review_model.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace vesk {

namespace {

const int columnWidths[] = {280, 80, 50, 120, 120, 100};

QPointer<PatchReviewPanel> &openPanel()
{
    static QPointer<PatchReviewPanel> panel;
    return panel;
}

void setColor(QWidget *widget, QPalette::ColorRole role, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

QPushButton *button(const QString &title, QWidget *parent)
{
    auto *result = new QPushButton(title, parent);
    result->setMinimumSize(std::max(80, result->sizeHint().width() + 16), 32);
    return result;
}

} // namespace

QString PatchReviewPanel::summaryText(const QList<PatchFileEntry> &entries)
{
    if (entries.isEmpty()) {
        return QStringLiteral("No files found in archive.");
    }
    qsizetype overwrites = 0;
    qsizetype news = 0;
    qsizetype repoNewer = 0;
    for (const PatchFileEntry &entry : entries) {
        (entry.isNew ? news : overwrites) += 1;
        repoNewer += entry.repoNewer ? 1 : 0;
    }
    QStringList parts;
    parts << QString::number(entries.size()) + (entries.size() == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
    if (overwrites > 0) {
        parts << QString::number(overwrites) + QStringLiteral(" overwrite");
    }
    if (news > 0) {
        parts << QString::number(news) + QStringLiteral(" new");
    }
    if (repoNewer > 0) {
        parts << QStringLiteral("\u26A0 ") + QString::number(repoNewer) + QStringLiteral(" where repo file is newer than patch");
    }
    return parts.join(QStringLiteral("  \u00B7  "));
}

PatchReviewPanel::PatchReviewPanel(const PatchAnalysis &analysis, ApplyCallback onApply,
                                   std::function<void()> onCancel, QWidget *parent)
    : QDialog(parent)
    , m_analysis(analysis)
    , m_onApply(std::move(onApply))
    , m_onCancel(std::move(onCancel))
    , m_model(new PatchReviewModel(analysis.entries, this))
    , m_list(new PatchReviewList(this))
    , m_summary(new QLabel(summaryText(analysis.entries), this))
    , m_apply(button(QStringLiteral("Apply Patch"), this))
    , m_cancel(button(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("patchReviewPanel"));
    setProperty("veskPatchPanel", true);  // the main window's key hook leaves the keys to the panel
    setWindowTitle(QStringLiteral("Apply ZIP Patch?"));
    setSizeGripEnabled(true);
    resize(810, 460);
    setMinimumSize(640, 340);

    const bool warn = std::any_of(analysis.entries.cbegin(), analysis.entries.cend(),
                                  [](const PatchFileEntry &entry) { return entry.repoNewer; });
    m_summary->setObjectName(QStringLiteral("patchSummary"));
    QFont summaryFont = m_summary->font();
    summaryFont.setWeight(warn ? QFont::DemiBold : QFont::Normal);
    m_summary->setFont(summaryFont);
    setColor(m_summary, QPalette::WindowText,
             warn ? systemColor(SystemColor::orange, palette()) : labelColor(palette()));

    m_list->setModel(m_model);
    restyleRows();
    for (int column = 0; column < PatchReviewModel::columnCount_; ++column) {
        m_list->horizontalHeader()->resizeSection(column, columnWidths[column]);
    }
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->horizontalHeader()->setSortIndicatorShown(false);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (m_model->sortByColumn(column)) {
            m_list->horizontalHeader()->setSortIndicatorShown(true);
            m_list->horizontalHeader()->setSortIndicator(column, m_model->sortAscending() ? Qt::AscendingOrder
                                                                                          : Qt::DescendingOrder);
        }
    });
    connect(m_list, &PatchReviewList::spacePressed, this, &PatchReviewPanel::togglePreview);
    connect(m_list, &PatchReviewList::rowChosen, this, [this](int row) {
        if (m_previewing >= 0 && isPatchPreviewVisible()) {
            previewRow(row);
        }
    });

    auto *hint = new QLabel(QStringLiteral("Press Space to preview file/patch"), this);
    QFont hintFont = hint->font();
    hintFont.setPointSizeF(hintFont.pointSizeF() * 11 / 13);
    hint->setFont(hintFont);
    setColor(hint, QPalette::WindowText, tertiaryLabelColor(palette()));

    m_apply->setDefault(true);
    m_apply->setEnabled(!analysis.entries.isEmpty());
    m_cancel->setAutoDefault(false);
    connect(m_apply, &QPushButton::clicked, this, &PatchReviewPanel::accept);
    connect(m_cancel, &QPushButton::clicked, this, &PatchReviewPanel::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(hint);
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_apply);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(m_summary);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    m_list->setFocus();
}

void PatchReviewPanel::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        restyleRows();
    }
}

void PatchReviewPanel::restyleRows()
{
    // A light selection keeps the rows' own colours (status, dates, changes, tint) readable.
    m_model->setPalette(palette());
    QPalette rows = m_list->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        rows.setColor(group, QPalette::Highlight, withAlpha(selectedTextBackgroundColor(palette()), 0.25));
        rows.setColor(group, QPalette::HighlightedText, labelColor(palette()));
    }
    m_list->setPalette(rows);
}

void PatchReviewPanel::togglePreview()
{
    const int row = m_list->selectedRow();
    if (row < 0) {
        return;
    }
    if (m_model->entryIndex(row) == m_previewing && isPatchPreviewVisible()) {
        closePatchPreview();
        m_previewing = -1;
        return;
    }
    previewRow(row);
}

void PatchReviewPanel::previewRow(int row)
{
    const qsizetype entry = m_model->entryIndex(row);
    if (entry < 0) {
        return;
    }
    m_previewing = entry;
    PatchPreviewWindow::ListLink link;
    link.list = m_list;
    link.onClosedBySpace = [panel = QPointer<PatchReviewPanel>(this)] {
        if (panel) {
            panel->m_previewing = -1;
            panel->raise();
            panel->activateWindow();
            panel->m_list->setFocus();
        }
    };
    showPatchDiffPreview(m_model->entries()[entry], m_analysis.repoPath, this, std::move(link));
}

void PatchReviewPanel::finish()
{
    closePatchPreview();
    m_previewing = -1;
    if (openPanel() == this) {
        openPanel() = nullptr;
    }
    hide();
    deleteLater();
}

void PatchReviewPanel::accept()
{
    if (m_analysis.entries.isEmpty()) {
        return;
    }
    // Taken out first: the panel answers once, however often the user presses.
    ApplyCallback onApply = std::exchange(m_onApply, nullptr);
    m_onCancel = nullptr;
    const QSet<qsizetype> excluded = m_model->excludedIndices();
    finish();
    QDialog::accept();
    if (onApply) {
        onApply(excluded);
    }
}

void PatchReviewPanel::reject()
{
    std::function<void()> onCancel = std::exchange(m_onCancel, nullptr);
    m_onApply = nullptr;
    finish();
    QDialog::reject();
    if (onCancel) {
        onCancel();
    }
}

void PatchReviewPanel::dismiss()
{
    m_onApply = nullptr;
    m_onCancel = nullptr;
    std::function<void()> onReplaced = std::exchange(m_onReplaced, nullptr);
    finish();
    QDialog::reject();
    if (onReplaced) {
        onReplaced();
    }
}

PatchReviewPanel *showPatchConfirmPanel(const PatchAnalysis &analysis, PatchReviewPanel::ApplyCallback onApply,
                                        std::function<void()> onCancel, QWidget *parent)
{
    if (PatchReviewPanel *previous = openPanel()) {
        previous->dismiss();
    }
    auto *panel = new PatchReviewPanel(analysis, std::move(onApply), std::move(onCancel),
                                       parent ? parent : QApplication::activeWindow());
    openPanel() = panel;
    panel->show();
    panel->raise();
    panel->activateWindow();
    panel->list()->setFocus();
    return panel;
}

PatchReviewPanel *openPatchReviewPanel()
{
    return openPanel();
}

} // namespace vesk
