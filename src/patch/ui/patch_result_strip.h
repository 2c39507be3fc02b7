#pragma once

#include "patch/patch_analysis.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QToolButton;

namespace vesk {

// What the last patch did, in the toolbar: "%lld applied", "%lld skipped", "%lld errors" with
// their symbols, and a button that hides the strip. The errors are readable in full: in the
// tooltip of their count, and in a list that a click on the count opens.
class PatchResultStrip : public QWidget
{
    Q_OBJECT

public:
    explicit PatchResultStrip(QWidget *parent = nullptr);

    void setResult(const PatchApplyResult &result);
    const PatchApplyResult &result() const { return m_result; }

    QLabel *appliedLabel() const { return m_applied; }
    QLabel *skippedLabel() const { return m_skipped; }
    QToolButton *errorsButton() const { return m_errors; }
    QToolButton *hideButton() const { return m_hide; }
    // The list of errors a click on their count opened, while it is open.
    QWidget *errorList() const;

    void showErrorList();

protected:
    void changeEvent(QEvent *event) override;

private:
    void restyle();

    PatchApplyResult m_result;
    QLabel *m_appliedIcon;
    QLabel *m_applied;
    QLabel *m_skippedIcon;
    QLabel *m_skipped;
    QToolButton *m_errors;
    QToolButton *m_hide;
    QPointer<QWidget> m_errorList;
};

} // namespace vesk
