#pragma once

#include "workspace/repository_state.h"

#include <QPointer>
#include <QWidget>

namespace vesk {

class AppState;
class EditorAreaView;
class RepositoryToolbar;
class SidebarSplitter;

// One repository tab's workspace: the toolbar, a divider, and under them the sidebar, the
// splitter and the editor area side by side.
class RepositoryView : public QWidget
{
    Q_OBJECT

public:
    RepositoryView(AppState &app, RepositoryState &state, QWidget *parent = nullptr);

    RepositoryState *state() const { return m_state; }
    RepositoryToolbar *toolbar() const { return m_toolbar; }
    QWidget *sidebar() const { return m_sidebar; }
    SidebarSplitter *splitter() const { return m_splitter; }
    EditorAreaView *editorArea() const { return m_editorArea; }

    double sidebarWidth() const;
    void setSidebarWidth(double width);

Q_SIGNALS:
    // The user finished dragging the splitter; the width is already stored.
    void sidebarWidthChosen(double width);

private:
    QPointer<RepositoryState> m_state;
    RepositoryToolbar *m_toolbar = nullptr;
    QWidget *m_sidebar = nullptr;
    SidebarSplitter *m_splitter = nullptr;
    EditorAreaView *m_editorArea = nullptr;
};

// A one-point horizontal line in the separator colour.
QWidget *makeHorizontalDivider(QWidget *parent);

} // namespace vesk
