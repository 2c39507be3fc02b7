#pragma once

#include "patch/patch_analysis.h"

#include <QDialog>
#include <QSet>

#include <functional>

class QLabel;
class QPushButton;

namespace vesk {

class PatchReviewList;
class PatchReviewModel;

// "Apply ZIP Patch?": every file of an analysed patch with its status, apply checkbox, dates
// and size of change. Reports only through its callbacks: Apply hands on the indices of the
// unchecked entries; Cancel, Escape and the close control cancel. Space previews the selected
// file beside the panel.
class PatchReviewPanel : public QDialog
{
    Q_OBJECT

public:
    using ApplyCallback = std::function<void(const QSet<qsizetype> &excludedIndices)>;

    PatchReviewPanel(const PatchAnalysis &analysis, ApplyCallback onApply, std::function<void()> onCancel,
                     QWidget *parent = nullptr);

    const PatchAnalysis &analysis() const { return m_analysis; }
    PatchReviewModel *model() const { return m_model; }
    PatchReviewList *list() const { return m_list; }
    QLabel *summary() const { return m_summary; }
    QPushButton *applyButton() const { return m_apply; }
    QPushButton *cancelButton() const { return m_cancel; }
    // The entry whose preview is showing, -1 for none.
    qsizetype previewingEntry() const { return m_previewing; }

    // Called instead of either callback when a newer panel takes this one's place, so whoever
    // owns the analysis can let it go.
    void setOnReplaced(std::function<void()> onReplaced) { m_onReplaced = std::move(onReplaced); }
    // Closes the panel without calling onApply or onCancel.
    void dismiss();

    // "3 files  ·  2 overwrite  ·  1 new", or "No files found in archive."
    static QString summaryText(const QList<PatchFileEntry> &entries);

public Q_SLOTS:
    void accept() override;
    void reject() override;

protected:
    void changeEvent(QEvent *event) override;

private:
    void restyleRows();
    void togglePreview();
    void previewRow(int row);
    void finish();

    PatchAnalysis m_analysis;
    ApplyCallback m_onApply;
    std::function<void()> m_onCancel;
    std::function<void()> m_onReplaced;
    PatchReviewModel *m_model;
    PatchReviewList *m_list;
    QLabel *m_summary;
    QPushButton *m_apply;
    QPushButton *m_cancel;
    qsizetype m_previewing = -1;
};

// Opens the review panel for `analysis`, closing one already open without calling its
// callbacks. Not for an analysis with errors.
PatchReviewPanel *showPatchConfirmPanel(const PatchAnalysis &analysis, PatchReviewPanel::ApplyCallback onApply,
                                        std::function<void()> onCancel, QWidget *parent = nullptr);

// The panel open now, if any.
PatchReviewPanel *openPatchReviewPanel();

} // namespace vesk
