#include "sidebar_test_util.h"
#include "workspace/search_engine.h"
#include "workspace/ui/search_history_popup.h"
#include "workspace/ui/search_panel_view.h"
#include "workspace/ui/search_results_model.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

using namespace vesk;
namespace t = vesk::test;

namespace {

// Submits `query` the way a user does: typed into the field, then Return.
void submit(SearchPanelView *panel, const QString &query)
{
    panel->queryField()->selectAll();
    if (query.isEmpty()) {
        QTest::keyClick(panel->queryField(), Qt::Key_Backspace);
    }
    QTest::keyClicks(panel->queryField(), query);
    QTest::keyClick(panel->queryField(), Qt::Key_Return);
}

// The hits on show as "path:line".
QStringList hits(SearchPanelView *panel)
{
    QStringList list;
    const SearchResultsModel *model = panel->resultsModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row);
        list.append(index.data(SearchResultsModel::FileNameRole).toString() + ':'
                    + QString::number(index.data(SearchResultsModel::LineNumberRole).toLongLong()));
    }
    return list;
}

// What the line under the fields says, or "" when it is hidden.
QString status(SearchPanelView *panel)
{
    return panel->statusLabel()->isVisible() ? panel->statusLabel()->text() : QString();
}

void clickRow(QListView *view, int row, bool onRemoveMark = false)
{
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    const QPoint at = onRemoveMark ? SearchHistoryList::removeRect(rect).center() : rect.center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class TestSidebarSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { t::settle(); }

    void fieldsAndToggles();
    void results_data();
    void results();
    void moreResultsNotice();
    void expressionTrouble_data();
    void expressionTrouble();
    void newSearchCancelsRunning();
    void escapeCancels();
    void hitOpensAtLine_data();
    void hitOpensAtLine();
    void history_data();
    void history();
};

// The fields carry their texts; toggles and fields change the options without searching.
void TestSidebarSearch::fieldsAndToggles()
{
    t::SidebarFixture f("printf 'needle\\n' > a.md; printf 'needle\\n' > b.json");
    f.sidebar->setSelectedTab(SidebarTab::search);
    SearchPanelView *panel = f.sidebar->searchPanel();
    QCOMPARE(panel->queryField()->placeholderText(), "Search in files…");
    QCOMPARE(panel->historyButton()->toolTip(), "Search History");
    QCOMPARE(panel->caseToggle()->toolTip(), "Match Case");
    QCOMPARE(panel->regexToggle()->toolTip(), "Use Regular Expression");
    QCOMPARE(panel->currentFileToggle()->toolTip(), "Search Current File Only");
    QCOMPARE(panel->includeField()->placeholderText(), "e.g. *.swift, *.go");
    QCOMPARE(panel->includeField()->toolTip(), "Only search files matching these extensions (comma-separated)");
    QCOMPARE(panel->excludeField()->placeholderText(), "e.g. *.json, *.md");
    QCOMPARE(panel->excludeField()->toolTip(), "Skip files matching these extensions (comma-separated)");

    SearchEngine *engine = f.state->search();
    QTest::mouseClick(panel->caseToggle(), Qt::LeftButton);
    QTest::mouseClick(panel->regexToggle(), Qt::LeftButton);
    QTest::keyClicks(panel->includeField(), "*.md");
    t::settle();
    QVERIFY(engine->caseSensitive() && engine->useRegex() && !engine->currentFileOnly());
    QCOMPARE(engine->filesToInclude(), "*.md");
    QVERIFY(!engine->isSearching());
    QCOMPARE(status(panel), QString());
    submit(panel, "need+le");
    t::settle();
    QCOMPARE(hits(panel), QStringList{"a.md:1"});
    QCOMPARE(status(panel), "1 results");
}

void TestSidebarSearch::results_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expectedHits");
    QTest::addColumn<QString>("expectedStatus");
    QTest::addColumn<bool>("noResultsShown");

    QTest::addRow("hits") << "needle" << QStringList{"sub/b.txt:3"} << "1 results" << false;
    QTest::addRow("ignoring case") << "NEEDLE" << QStringList{"sub/b.txt:3"} << "1 results" << false;
    QTest::addRow("nothing found") << "haystack" << QStringList{} << "No results found" << true;
    QTest::addRow("empty query clears") << "" << QStringList{} << "" << false;
}

void TestSidebarSearch::results()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expectedHits);
    QFETCH(QString, expectedStatus);
    QFETCH(bool, noResultsShown);
    t::SidebarFixture f("mkdir sub; printf 'one\\ntwo\\n  the needle\\n' > sub/b.txt");
    f.sidebar->setSelectedTab(SidebarTab::search);
    SearchPanelView *panel = f.sidebar->searchPanel();
    submit(panel, "two");
    t::settle();
    QCOMPARE(hits(panel), QStringList{"sub/b.txt:2"});
    submit(panel, query);
    if (!query.isEmpty()) {
        QCOMPARE(status(panel), "Searching…");
        QVERIFY(panel->progress()->isVisible());
    }
    t::settle();
    QCOMPARE(hits(panel), expectedHits);
    QCOMPARE(status(panel), expectedStatus);
    QVERIFY(!panel->progress()->isVisible());
    QVERIFY(!panel->moreLabel()->isVisible());
    QCOMPARE(panel->resultsView()->isVisible(), !noResultsShown);
}

// A search that stopped at its limit says there is more.
void TestSidebarSearch::moreResultsNotice()
{
    t::SidebarFixture f("for i in $(seq 1 600); do echo needle; done > many.txt");
    SearchPanelView *panel = f.sidebar->searchPanel();
    f.sidebar->setSelectedTab(SidebarTab::search);
    submit(panel, "needle");
    t::settle();
    QCOMPARE(hits(panel).size(), 501);
    QCOMPARE(status(panel), "501 results");
    QVERIFY(panel->moreLabel()->isVisible());
    QVERIFY(panel->moreLabel()->text().contains("there are more"));
    submit(panel, "needles");
    t::settle();
    QVERIFY(!panel->moreLabel()->isVisible());
}

void TestSidebarSearch::expressionTrouble_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("statusStart");
    QTest::addColumn<QString>("cutShortNames");  // "" when the notice must stay hidden
    QTest::addColumn<int>("hitCount");

    QTest::addRow("unbalanced group") << "(a+" << "Invalid regular expression: " << "" << 0;
    QTest::addRow("unknown character name") << "\\N{NO SUCH CHARACTER}" << "Invalid regular expression: " << ""
                                            << 0;
    QTest::addRow("runaway backtracking") << "(a+)+$" << "2 results" << "runaway.txt" << 2;
    QTest::addRow("runaway in many files") << "(b+)+$" << "No results found" << "b1.txt, b2.txt, b3.txt and 1 more" << 0;
}

// An expression that cannot be used says why instead of "No results found"; a search that gave
// up on some lines says which files may hold more; the next plain search clears both.
void TestSidebarSearch::expressionTrouble()
{
    QFETCH(QString, query);
    QFETCH(QString, statusStart);
    QFETCH(QString, cutShortNames);
    QFETCH(int, hitCount);
    t::SidebarFixture f("printf '%040d!\\nxaa\\n' 0 | tr 0 a > runaway.txt; printf 'aaa\\n' > plain.txt;"
                        "for i in 1 2 3 4; do printf '%040d!\\n' 0 | tr 0 b > b$i.txt; done");
    f.sidebar->setSelectedTab(SidebarTab::search);
    SearchPanelView *panel = f.sidebar->searchPanel();
    QTest::mouseClick(panel->caseToggle(), Qt::LeftButton);
    QTest::mouseClick(panel->regexToggle(), Qt::LeftButton);
    submit(panel, query);
    QTRY_VERIFY_WITH_TIMEOUT(!f.state->search()->isSearching(), 60000);
    t::settle();
    QVERIFY2(status(panel).startsWith(statusStart), qPrintable(status(panel)));
    QCOMPARE(hits(panel).size(), hitCount);
    QCOMPARE(panel->cutShortLabel()->isVisible(), !cutShortNames.isEmpty());
    if (!cutShortNames.isEmpty()) {
        QVERIFY2(panel->cutShortLabel()->text().contains(cutShortNames), qPrintable(panel->cutShortLabel()->text()));
    }

    submit(panel, "xaa");
    t::settle();
    QCOMPARE(status(panel), "1 results");
    QVERIFY(!panel->cutShortLabel()->isVisible());
}

// Submitting again while a search runs shows only the newer search's hits.
void TestSidebarSearch::newSearchCancelsRunning()
{
    t::SidebarFixture f("for i in $(seq 1 300); do printf 'alpha\\nbeta\\n' > f$i.txt; done");
    f.sidebar->setSelectedTab(SidebarTab::search);
    SearchPanelView *panel = f.sidebar->searchPanel();
    submit(panel, "alpha");
    submit(panel, "beta");
    t::settle();
    const QStringList shown = hits(panel);
    QCOMPARE(shown.size(), 300);
    QVERIFY(std::all_of(shown.cbegin(), shown.cend(), [](const QString &hit) { return hit.endsWith(":2"); }));
    QCOMPARE(f.state->search()->searchHistory(), (QStringList{"beta", "alpha"}));
}

// Escape stops the search: it publishes nothing and the query stays.
void TestSidebarSearch::escapeCancels()
{
    t::SidebarFixture f("for i in $(seq 1 50); do echo needle > f$i.txt; done");
    f.sidebar->setSelectedTab(SidebarTab::search);
    SearchPanelView *panel = f.sidebar->searchPanel();
    submit(panel, "needle");
    QVERIFY(f.state->search()->isSearching());
    QTest::keyClick(panel->queryField(), Qt::Key_Escape);
    QVERIFY(!f.state->search()->isSearching());
    t::settle();
    QCOMPARE(hits(panel), QStringList{});
    QCOMPARE(status(panel), QString());
    QCOMPARE(panel->queryField()->text(), "needle");
    submit(panel, "needle");
    t::settle();
    QCOMPARE(hits(panel).size(), 50);
}

void TestSidebarSearch::hitOpensAtLine_data()
{
    QTest::addColumn<QString>("openBefore");
    QTest::addColumn<bool>("edited");

    QTest::addRow("another file opens") << "a.txt" << false;
    QTest::addRow("the open file keeps its edits") << "b.txt" << true;
}

void TestSidebarSearch::hitOpensAtLine()
{
    QFETCH(QString, openBefore);
    QFETCH(bool, edited);
    t::SidebarFixture f("printf 'x\\n' > a.txt; printf 'one\\ntwo\\nthree needle\\nfour\\n' > b.txt");
    f.sidebar->selectFile(f.path(openBefore));
    if (edited) {
        f.state->editor()->insertAtCursors("typed ");
    }
    f.sidebar->setSelectedTab(SidebarTab::search);
    SearchPanelView *panel = f.sidebar->searchPanel();
    submit(panel, "needle");
    t::settle();
    QCOMPARE(hits(panel), QStringList{"b.txt:3"});
    clickRow(panel->resultsView(), 0);
    t::settle();
    QCOMPARE(f.openFile(), "b.txt");
    QCOMPARE(f.state->editor()->cursors().size(), 1);
    QCOMPARE(f.state->editor()->cursors().first().line, 2);
    QCOMPARE(f.state->editor()->cursors().first().column, 0);
    QCOMPARE(f.state->editor()->document()->text().startsWith("typed "), edited);
}

void TestSidebarSearch::history_data()
{
    QTest::addColumn<QString>("action");  // "remove beta", "choose alpha", "Clear All", "" (just look)
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("queryAfter");

    const QStringList three{"gamma", "beta", "alpha"};
    QTest::addRow("remove one") << "remove beta" << three << QStringList{"gamma", "alpha"} << "gamma";
    QTest::addRow("choose one searches again") << "choose alpha" << three << QStringList{"alpha", "gamma", "beta"}
                                               << "alpha";
    QTest::addRow("clear all") << "Clear All" << three << QStringList{} << "gamma";
    QTest::addRow("no history") << "" << QStringList{} << QStringList{} << "";
}

void TestSidebarSearch::history()
{
    QFETCH(QString, action);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(QString, queryAfter);
    t::SidebarFixture f("printf 'alpha\\nbeta\\ngamma\\n' > a.txt");
    f.sidebar->setSelectedTab(SidebarTab::search);
    SearchPanelView *panel = f.sidebar->searchPanel();
    for (auto it = before.crbegin(); it != before.crend(); ++it) {
        submit(panel, *it);
    }
    t::settle();
    QCOMPARE(f.state->search()->searchHistory(), before);

    QTest::mouseClick(panel->historyButton(), Qt::LeftButton);
    QPointer<SearchHistoryPopup> popup = panel->historyPopup();
    QVERIFY(popup && popup->isVisible());
    QCOMPARE(popup->emptyLabel()->isVisible(), before.isEmpty());
    QCOMPARE(popup->emptyLabel()->text(), "No search history");
    QCOMPARE(popup->clearAllButton()->isVisible(), !before.isEmpty());
    if (action.startsWith("remove ") || action.startsWith("choose ")) {
        const int row = int(before.indexOf(action.mid(7)));
        clickRow(popup->list(), row, action.startsWith("remove "));
    } else if (action == "Clear All") {
        QTest::mouseClick(popup->clearAllButton(), Qt::LeftButton);
    }
    t::settle();
    QCOMPARE(f.state->search()->searchHistory(), after);
    QCOMPARE(Preferences::instance().contains(SearchEngine::historyKey()), !after.isEmpty());
    QCOMPARE(Preferences::instance().stringListValue(SearchEngine::historyKey()), after);
    QCOMPARE(panel->queryField()->text(), queryAfter);
    if (action.startsWith("choose ")) {
        QVERIFY(!popup);
        QCOMPARE(hits(panel), QStringList{"a.txt:1"});
    } else {
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->emptyLabel()->isVisible(), after.isEmpty());
        QCOMPARE(popup->list()->model()->rowCount(), after.size());
        popup->close();
    }
}

QTEST_MAIN(TestSidebarSearch)
#include "tst_sidebar_search.moc"
