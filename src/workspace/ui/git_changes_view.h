#pragma once

#include "workspace/ui/sidebar_context.h"

#include <QWidget>

#include <optional>

class QLabel;
class QListView;
class QMenu;
class QStackedLayout;

namespace vesk {

class ChangesListModel;
class DeferredRefresh;

// The changes panel: the favorites and git's changed paths, or "Working tree clean" when there
// are neither. Choosing a row opens its file; the open file's row is kept in view.
class GitChangesView : public QWidget
{
    Q_OBJECT

public:
    GitChangesView(const SidebarContext &context, QWidget *parent = nullptr);

    QListView *listView() const { return m_list; }
    ChangesListModel *model() const { return m_model; }
    QWidget *cleanView() const { return m_clean; }
    // Above the list: why git's status could not be read, hidden when it could.
    QLabel *refreshErrorLabel() const { return m_refreshError; }
    // The row menu of `index`, or null for a header; the caller owns it.
    QMenu *contextMenuFor(const QModelIndex &index);
    void open(const QModelIndex &index);

private:
    void stateChanged();
    void showOpenFile();

    SidebarContext m_context;
    ChangesListModel *m_model;
    QListView *m_list;
    QWidget *m_clean;
    QLabel *m_notRepo;
    QWidget *m_cleanNote;  // "Working tree clean" with its symbol
    QLabel *m_refreshError;
    QStackedLayout *m_stack;
    DeferredRefresh *m_refresh;
    std::optional<QString> m_shownFile;
};

} // namespace vesk
