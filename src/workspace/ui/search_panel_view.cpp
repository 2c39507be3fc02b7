#include "workspace/ui/search_panel_view.h"

#include "editor/editor_view_model.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "workspace/repository_state.h"
#include "workspace/search_engine.h"
#include "workspace/ui/search_history_popup.h"
#include "workspace/ui/search_results_model.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesk {

SearchPanelView::SearchPanelView(const SidebarContext &context, QWidget *parent)
    : QWidget(parent)
    , m_context(context)
    , m_engine(context.state.search())
    , m_query(new QLineEdit(this))
    , m_historyButton(new QToolButton(this))
    , m_include(new QLineEdit(this))
    , m_exclude(new QLineEdit(this))
    , m_progress(new QProgressBar(this))
    , m_status(new QLabel(this))
    , m_more(new QLabel(this))
    , m_cutShort(new QLabel(this))
    , m_noResultsIcon(new QLabel(this))
    , m_results(new QListView(this))
    , m_model(new SearchResultsModel(this))
    , m_delegate(new SearchResultDelegate(this))
    , m_refresh(new DeferredRefresh(this, [this] { engineChanged(); }))
{
    const QPalette &pal = palette();
    m_query->setObjectName(QStringLiteral("searchQuery"));
    m_query->setPlaceholderText(QStringLiteral("Search in files…"));
    m_query->addAction(symbolIcon(QStringLiteral("magnifyingglass"), secondaryLabelColor(pal)),
                       QLineEdit::LeadingPosition);
    m_query->setClearButtonEnabled(true);
    m_query->setText(m_engine->query());
    m_query->installEventFilter(this);
    m_historyButton->setIcon(symbolIcon(QStringLiteral("clock.arrow.circlepath"), secondaryLabelColor(pal)));
    m_historyButton->setToolTip(QStringLiteral("Search History"));
    m_historyButton->setAutoRaise(true);

    m_caseToggle = makeToggle(QStringLiteral("Aa"), QStringLiteral("Match Case"));
    m_regexToggle = makeToggle(QStringLiteral(".*"), QStringLiteral("Use Regular Expression"));
    m_currentFileToggle = makeToggle(QString(), QStringLiteral("Search Current File Only"));
    m_currentFileToggle->setIcon(symbolIcon(QStringLiteral("doc.text.magnifyingglass"), labelColor(pal)));

    m_include->setPlaceholderText(QStringLiteral("e.g. *.swift, *.go"));
    m_include->setToolTip(QStringLiteral("Only search files matching these extensions (comma-separated)"));
    m_include->setText(m_engine->filesToInclude());
    m_exclude->setPlaceholderText(QStringLiteral("e.g. *.json, *.md"));
    m_exclude->setToolTip(QStringLiteral("Skip files matching these extensions (comma-separated)"));
    m_exclude->setText(m_engine->filesToExclude());

    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setMaximumSize(60, 8);
    m_noResultsIcon->setPixmap(symbolIcon(QStringLiteral("magnifyingglass"), secondaryLabelColor(pal)).pixmap(28, 28));
    m_noResultsIcon->setAlignment(Qt::AlignCenter);
    QPalette dim = m_status->palette();
    dim.setColor(QPalette::WindowText, secondaryLabelColor(dim));
    m_status->setPalette(dim);
    m_status->setObjectName(QStringLiteral("searchStatus"));
    m_more->setPalette(dim);
    m_more->setWordWrap(true);
    m_more->setText(QStringLiteral("The search stopped at %1 results; there are more. Narrow it down to see them all.")
                        .arg(FileSearch::hitLimit));
    m_cutShort->setPalette(dim);
    m_cutShort->setWordWrap(true);
    m_cutShort->setObjectName(QStringLiteral("searchCutShort"));

    m_results->setModel(m_model);
    m_results->setItemDelegate(m_delegate);
    m_results->setUniformItemSizes(true);
    m_results->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_results->setFrameShape(QFrame::NoFrame);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->setObjectName(QStringLiteral("searchResults"));

    auto *queryRow = new QHBoxLayout;
    queryRow->addWidget(m_query, 1);
    queryRow->addWidget(m_historyButton);
    auto *toggles = new QHBoxLayout;
    toggles->addWidget(m_caseToggle);
    toggles->addWidget(m_regexToggle);
    toggles->addWidget(m_currentFileToggle);
    toggles->addStretch(1);
    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Include:"), m_include);
    fields->addRow(QStringLiteral("Exclude:"), m_exclude);
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(m_progress);
    statusRow->addWidget(m_status, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->setSpacing(6);
    layout->addLayout(queryRow);
    layout->addLayout(toggles);
    layout->addLayout(fields);
    layout->addStretch(0);  // with nothing found, these two spaces centre the symbol and its text
    layout->addWidget(m_noResultsIcon);
    layout->addLayout(statusRow);
    layout->addWidget(m_more);
    layout->addWidget(m_cutShort);
    layout->addWidget(m_results, 1);
    layout->addStretch(0);
    m_layout = layout;

    connect(m_query, &QLineEdit::textEdited, m_engine, &SearchEngine::setQuery);
    connect(m_query, &QLineEdit::returnPressed, this, &SearchPanelView::doSearch);
    connect(m_historyButton, &QToolButton::clicked, this, &SearchPanelView::showHistory);
    connect(m_caseToggle, &QToolButton::toggled, m_engine, &SearchEngine::setCaseSensitive);
    connect(m_regexToggle, &QToolButton::toggled, m_engine, &SearchEngine::setUseRegex);
    connect(m_currentFileToggle, &QToolButton::toggled, m_engine, &SearchEngine::setCurrentFileOnly);
    connect(m_include, &QLineEdit::textEdited, m_engine, &SearchEngine::setFilesToInclude);
    connect(m_exclude, &QLineEdit::textEdited, m_engine, &SearchEngine::setFilesToExclude);
    connect(m_results, &QAbstractItemView::clicked, this, &SearchPanelView::openHit);
    connect(m_results, &QAbstractItemView::activated, this, &SearchPanelView::openHit);
    m_refresh->watch(m_engine, &SearchEngine::willChange);
    engineChanged();
}

QToolButton *SearchPanelView::makeToggle(const QString &text, const QString &help)
{
    auto *toggle = new QToolButton(this);
    toggle->setText(text);
    toggle->setToolTip(help);
    toggle->setCheckable(true);
    toggle->setAutoRaise(true);
    return toggle;
}

void SearchPanelView::engineChanged()
{
    if (m_query->text() != m_engine->query()) {
        m_query->setText(m_engine->query());
    }
    m_caseToggle->setChecked(m_engine->caseSensitive());
    m_regexToggle->setChecked(m_engine->useRegex());
    m_currentFileToggle->setChecked(m_engine->currentFileOnly());

    const QList<SearchResult> &results = m_engine->results();
    const bool searching = m_engine->isSearching();
    const QString &invalid = searching ? QString() : m_engine->expressionError();
    m_model->setResults(results);
    const bool noResults = !searching && invalid.isEmpty() && results.isEmpty() && m_searched
                           && !m_engine->query().isEmpty();
    m_progress->setVisible(searching);
    m_status->setVisible(searching || !results.isEmpty() || noResults || !invalid.isEmpty());
    m_status->setText(searching            ? QStringLiteral("Searching…")
                      : !invalid.isEmpty() ? invalid
                      : noResults          ? QStringLiteral("No results found")
                                           : QString::number(results.size()) + QStringLiteral(" results"));
    m_status->setWordWrap(!invalid.isEmpty());
    m_status->setAlignment(noResults ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    QPalette statusPalette = m_status->palette();
    statusPalette.setColor(QPalette::WindowText, invalid.isEmpty() ? secondaryLabelColor(palette())
                                                                   : systemColor(SystemColor::red, palette()));
    m_status->setPalette(statusPalette);
    m_noResultsIcon->setVisible(noResults);
    m_more->setVisible(!searching && results.size() >= FileSearch::hitLimit);
    const QStringList &cutShort = m_engine->cutShortFiles();
    m_cutShort->setVisible(!searching && !cutShort.isEmpty());
    m_cutShort->setText(cutShortNotice(cutShort));
    m_results->setVisible(!noResults);
    m_layout->setStretch(m_layout->indexOf(m_noResultsIcon) - 1, noResults ? 1 : 0);
    m_layout->setStretch(m_layout->count() - 1, noResults ? 2 : 0);
}

QString SearchPanelView::cutShortNotice(QStringList files)
{
    constexpr qsizetype named = 3;
    files.sort();
    QString list = files.mid(0, named).join(QStringLiteral(", "));
    if (files.size() > named) {
        list += QStringLiteral(" and %1 more").arg(files.size() - named);
    }
    return QStringLiteral("This expression was too complex for some lines, which may hold hits that are not "
                          "listed: %1.")
        .arg(list);
}

void SearchPanelView::doSearch()
{
    m_engine->setQuery(m_query->text());
    m_searched = true;
    m_delegate->setHighlighter(SearchHighlighter(m_engine->query(), m_engine->caseSensitive(), m_engine->useRegex()));
    m_engine->search(m_context.repoPath(), m_context.state.editor()->currentFilePath().value_or(QString()));
    engineChanged();  // "Searching…" at once, not a turn later
}

void SearchPanelView::cancelSearch()
{
    if (!m_engine->isSearching()) {
        return;
    }
    // A search with no query cancels the running one and publishes nothing else.
    const QString query = m_engine->query();
    m_engine->setQuery(QString());
    m_engine->search(m_context.repoPath());
    m_engine->setQuery(query);
    m_searched = false;
    engineChanged();
}

void SearchPanelView::showHistory()
{
    if (m_popup) {
        m_popup->close();
    }
    m_popup = new SearchHistoryPopup(
        m_engine,
        [this](const QString &entry) {
            m_engine->setQuery(entry);
            m_query->setText(entry);
            doSearch();
        },
        this);
    m_popup->showBelow(m_historyButton);
}

void SearchPanelView::openHit(const QModelIndex &index)
{
    if (!index.isValid()) {
        return;
    }
    const QString path = index.data(SearchResultsModel::FilePathRole).toString();
    EditorViewModel *editor = m_context.state.editor();
    if (editor->currentFilePath() != path && m_context.onSelectFile) {
        m_context.onSelectFile(path);
    }
    if (editor->currentFilePath() == path) {
        editor->goToLine(index.data(SearchResultsModel::LineNumberRole).toLongLong() - 1, 0);
    }
}

bool SearchPanelView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_query && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && m_engine->isSearching()) {
        cancelSearch();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace vesk
