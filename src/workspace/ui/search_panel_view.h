#pragma once

#include "workspace/ui/search_history_popup.h"
#include "workspace/ui/sidebar_context.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QToolButton;
class QVBoxLayout;

namespace vesk {

class DeferredRefresh;
class SearchEngine;
class SearchResultDelegate;
class SearchResultsModel;

// Find in files: the query with its history, the three option toggles, the include and exclude
// fields, and the hits of the last search. Choosing a hit opens its file at its line. Escape in
// the query field stops a running search.
class SearchPanelView : public QWidget
{
    Q_OBJECT

public:
    SearchPanelView(const SidebarContext &context, QWidget *parent = nullptr);

    QLineEdit *queryField() const { return m_query; }
    QToolButton *historyButton() const { return m_historyButton; }
    QToolButton *caseToggle() const { return m_caseToggle; }
    QToolButton *regexToggle() const { return m_regexToggle; }
    QToolButton *currentFileToggle() const { return m_currentFileToggle; }
    QLineEdit *includeField() const { return m_include; }
    QLineEdit *excludeField() const { return m_exclude; }
    QListView *resultsView() const { return m_results; }
    SearchResultsModel *resultsModel() const { return m_model; }
    // The line under the fields: "Searching…", the count, "No results found", or why the
    // regular expression cannot be used.
    QLabel *statusLabel() const { return m_status; }
    QLabel *moreLabel() const { return m_more; }
    // Names the files where the expression gave up on a line, so a hit there may be missing.
    QLabel *cutShortLabel() const { return m_cutShort; }
    QProgressBar *progress() const { return m_progress; }
    SearchHistoryPopup *historyPopup() const { return m_popup; }

    // Runs the query over the repository, or the open file with "Search Current File Only".
    void doSearch();
    // Stops the running search; the query stays.
    void cancelSearch();
    void showHistory();
    void openHit(const QModelIndex &index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QToolButton *makeToggle(const QString &text, const QString &help);
    void engineChanged();
    static QString cutShortNotice(QStringList files);

    SidebarContext m_context;
    SearchEngine *m_engine;
    QLineEdit *m_query;
    QToolButton *m_historyButton;
    QToolButton *m_caseToggle;
    QToolButton *m_regexToggle;
    QToolButton *m_currentFileToggle;
    QLineEdit *m_include;
    QLineEdit *m_exclude;
    QProgressBar *m_progress;
    QLabel *m_status;
    QLabel *m_more;
    QLabel *m_cutShort;
    QLabel *m_noResultsIcon;
    QListView *m_results;
    QVBoxLayout *m_layout;
    SearchResultsModel *m_model;
    SearchResultDelegate *m_delegate;
    DeferredRefresh *m_refresh;
    QPointer<SearchHistoryPopup> m_popup;
    bool m_searched = false;  // a search ran from here, so an empty list means nothing was found
};

} // namespace vesk
