#pragma once

#include "workspace/repository_state.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QToolButton;

namespace vesk {

class AppState;

// The row above a repository's sidebar and editor: the branch (when the folder is a git
// repository), the patch drop target, the export control, "Save" and "Refresh". Under the row
// sits the patch result strip, hidden until a patch has been applied.
class RepositoryToolbar : public QWidget
{
    Q_OBJECT

public:
    RepositoryToolbar(AppState &app, RepositoryState &state, QWidget *parent = nullptr);

    QLabel *branchLabel() const { return m_branch; }
    QToolButton *refreshButton() const { return m_refresh; }
    QToolButton *saveButton() const { return m_save; }
    QWidget *exportPlace() const { return m_export; }
    QWidget *dropTarget() const { return m_dropTarget; }
    QWidget *resultStrip() const { return m_resultStrip; }

    // The toolbar's save: the editor's save(), then a refresh of the repository.
    static void saveAndRefresh(RepositoryState &state);

protected:
    void changeEvent(QEvent *event) override;

private:
    void sync();

    QPointer<RepositoryState> m_state;
    QLabel *m_branchIcon = nullptr;
    QLabel *m_branch = nullptr;
    QToolButton *m_refresh = nullptr;
    QToolButton *m_save = nullptr;
    QWidget *m_export = nullptr;
    QWidget *m_dropTarget = nullptr;
    QWidget *m_resultStrip = nullptr;
};

} // namespace vesk
