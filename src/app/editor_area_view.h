#pragma once

#include "editor/editor_view_model.h"

#include <QPointer>
#include <QWidget>

class QStackedWidget;

namespace vesk {

class DiffHeaderView;
class EditorPaneView;
class RepositoryState;
class StatusBarView;

// The right-hand side of a repository view: the diff header above the editor pane, or "Select a
// file to edit" while no file is open, and the status bar below.
class EditorAreaView : public QWidget
{
    Q_OBJECT

public:
    explicit EditorAreaView(RepositoryState &state, QWidget *parent = nullptr);

    EditorPaneView *pane() const { return m_pane; }
    DiffHeaderView *diffHeader() const { return m_diffHeader; }
    StatusBarView *statusBar() const { return m_statusBar; }
    QWidget *placeholder() const { return m_placeholder; }
    // True while the editor pane (not the placeholder) is on show.
    bool showsEditor() const;

private:
    void sync();

    QPointer<EditorViewModel> m_editor;
    QStackedWidget *m_stack = nullptr;
    QWidget *m_placeholder = nullptr;
    QWidget *m_editorColumn = nullptr;
    DiffHeaderView *m_diffHeader = nullptr;
    EditorPaneView *m_pane = nullptr;
    StatusBarView *m_statusBar = nullptr;
};

} // namespace vesk
