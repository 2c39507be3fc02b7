#include "workspace/file_search.h"
#include "workspace/repository_walker.h"
#include "workspace/search_engine.h"

#include "platform/background.h"
#include "platform/preferences.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using vesk::FileSearch::searchFile;
using vesk::FileSearch::searchRepository;
using vesk::Preferences;
using vesk::SearchEngine;
using vesk::SearchOptions;
using vesk::SearchResult;
namespace t = vesk::test;

namespace {

SearchOptions options(const QString &query, const QString &include = {}, const QString &exclude = {})
{
    SearchOptions o;
    o.query = query;
    o.include = SearchEngine::parseExtensions(include);
    o.exclude = SearchEngine::parseExtensions(exclude);
    return o;
}

QStringList names(const QList<SearchResult> &results)
{
    QStringList list;
    for (const SearchResult &result : results) {
        list.append(result.fileName);
    }
    list.removeDuplicates();
    list.sort();
    return list;
}

QStringList hits(const QList<SearchResult> &results)
{
    QStringList list;
    for (const SearchResult &result : results) {
        list.append(QStringLiteral("%1:%2:%3").arg(result.filePath).arg(result.lineNumber).arg(result.lineContent));
    }
    return list;
}

// A file of lines on which (a+)+$ backtracks to its bound: minutes of work unless cancelled.
void writeSlowFile(const QString &dir)
{
    t::writeFile(dir, "slow/slow.txt", (QByteArray(40, 'a') + "b\n").repeated(200000));
}

} // namespace

class TestSearchEngine : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_repo;
    int m_preferenceFiles = 0;

private Q_SLOTS:
    void initTestCase()
    {
        m_repo = m_dir.filePath(QStringLiteral("repo"));
        for (const char *name : {"a.txt", "README.md", "notes.MD", "data.json", "Makefile", "sub/deep/file.c", ".env",
                                 ".hidden/x.txt", "node_modules/x.txt", "sub/node_modules/y.txt", ".build/z.txt"}) {
            t::writeFile(m_repo, QString::fromLatin1(name), "first\nthe needle here\n");
        }
        t::writeFile(m_repo, "latin1.txt", "needle caf\xe9\n");
        QFile::link(QStringLiteral("sub"), QDir(m_repo).filePath("linkdir"));
        QFile::link(QStringLiteral("a.txt"), QDir(m_repo).filePath("linkfile.txt"));
        QVERIFY(::mkfifo(QFile::encodeName(QDir(m_repo).filePath("pipe.txt")).constData(), 0600) == 0);
        QFile big(t::writeFile(m_repo, "big.txt", "needle\n"));
        QVERIFY(big.resize(vesk::FileSearch::maxFileBytes + 1));  // sparse: costs no disk
    }

    void init()
    {
        Preferences::useFile(m_dir.filePath(QStringLiteral("prefs%1.ini").arg(++m_preferenceFiles)));
    }

    void cleanup() { vesk::waitForBackgroundWork(); }

    void walkAndFilters_data()
    {
        QTest::addColumn<QString>("include");
        QTest::addColumn<QString>("exclude");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"Makefile", "README.md", "a.txt", "data.json", "linkfile.txt", "notes.MD", "sub/deep/file.c"};
        QTest::addRow("everything readable") << "" << "" << all;
        QTest::addRow("star-dot form") << "*.json, *.md" << "" << QStringList{"README.md", "data.json", "notes.MD"};
        QTest::addRow("bare form") << "json,md" << "" << QStringList{"README.md", "data.json", "notes.MD"};
        QTest::addRow("dot without star") << ".json" << "" << QStringList{};
        QTest::addRow("capitals") << "JSON" << "" << QStringList{};
        QTest::addRow("exclude") << "" << "md" << QStringList{"Makefile", "a.txt", "data.json", "linkfile.txt",
                                                              "sub/deep/file.c"};
        QTest::addRow("no extension") << "txt" << "" << QStringList{"a.txt", "linkfile.txt"};
    }

    void walkAndFilters()
    {
        QFETCH(QString, include);
        QFETCH(QString, exclude);
        QFETCH(QStringList, expected);
        for (int threads : {1, 2}) {
            const QList<SearchResult> results = searchRepository(m_repo + "/", options("needle", include, exclude),
                                                                 nullptr, threads);
            QCOMPARE(names(results), expected);
            for (const SearchResult &result : results) {
                QCOMPARE(result.filePath, m_repo + "/" + result.fileName);
                QCOMPARE(result.lineNumber, 2);
                QCOMPARE(result.lineContent, QStringLiteral("the needle here"));
            }
        }
    }

    void extensions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("empty") << "" << QStringList{};
        QTest::addRow("spaces, tabs and empty pieces") << " \t*.a\t, ,,b " << QStringList{"a", "b"};
        QTest::addRow("every star-dot goes") << "*.*.x, x*.y" << QStringList{"x", "xy"};
        QTest::addRow("case and dots kept") << "JSON, .md" << QStringList{".md", "JSON"};
    }

    void extensions()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QStringList actual = SearchEngine::parseExtensions(text).values();
        actual.sort();
        QCOMPARE(actual, expected);
    }

    // A repository that itself lies in a node_modules folder is still searched inside.
    void repositoryBelowExcludedName()
    {
        const QString repo = m_dir.filePath(QStringLiteral("node_modules/pkg"));
        t::writeFile(repo, "index.js", "needle\n");
        QCOMPARE(names(searchRepository(repo, options("needle"))), QStringList{"index.js"});
    }

    // Threads share the files out; the joined result is the one-thread result, in listing order.
    void orderAndLimit()
    {
        const QString repo = m_dir.filePath(QStringLiteral("many"));
        for (int i = 0; i < 60; ++i) {
            t::writeFile(repo, QStringLiteral("d%1/e%2/f%3.txt").arg(i % 3).arg(i % 7).arg(i),
                         QByteArray("hit\nmiss\n").repeated(1 + (i * 7) % 23));
        }
        QStringList listed;
        vesk::RepositoryWalker::walk(repo, [&](const QByteArray &path, QByteArrayView) {
            listed.append(QFile::decodeName(path));
            return true;
        });
        const QStringList sequential = hits(searchRepository(repo, options("hit"), nullptr, 1));
        QCOMPARE(sequential.size(), vesk::FileSearch::hitLimit);
        QVERIFY(sequential.first().startsWith(listed.first() + ":1:"));
        for (int threads : {2, 3, 4}) {
            QCOMPARE(hits(searchRepository(repo, options("hit"), nullptr, threads)), sequential);
        }
        QStringList files;
        for (const QString &hit : sequential) {
            files.append(hit.section(QLatin1Char(':'), 0, 0));
        }
        files.removeDuplicates();
        QCOMPARE(files, listed.mid(0, files.size()));
    }

    void currentFile()
    {
        const QString inside = QDir(m_repo).filePath("node_modules/x.txt");
        QCOMPARE(names(searchFile(inside, m_repo, options("needle", "md"))), QStringList{"node_modules/x.txt"});
        const QString outside = t::writeFile(m_dir.path(), "outside.txt", "needle\n");
        QCOMPARE(names(searchFile(outside, m_repo, options("needle"))), QStringList{outside});
        QVERIFY(searchFile(m_dir.filePath("missing.txt"), m_repo, options("needle")).isEmpty());
        QVERIFY(searchFile(QDir(m_repo).filePath("pipe.txt"), m_repo, options("needle")).isEmpty());
    }

    void engineSearches()
    {
        SearchEngine engine;
        QSignalSpy changes(&engine, &SearchEngine::willChange);
        engine.setQuery(QStringLiteral("  needle"));
        engine.setCurrentFileOnly(true);
        t::writeFile(m_dir.path(), "spaced/a.txt", "needle\nx  needle\n");
        engine.search(m_dir.filePath("spaced"));  // no open file: the whole repository
        QVERIFY(engine.isSearching());
        QTRY_VERIFY_WITH_TIMEOUT(!engine.isSearching(), 60000);
        QCOMPARE(hits(engine.results()), QStringList{m_dir.filePath("spaced/a.txt") + ":2:x  needle"});
        QCOMPARE(engine.searchHistory(), QStringList{"needle"});

        engine.setQuery(QStringLiteral("needle"));
        engine.search(m_repo, QDir(m_repo).filePath("README.md"));
        QTRY_VERIFY_WITH_TIMEOUT(!engine.isSearching(), 60000);
        QCOMPARE(names(engine.results()), QStringList{"README.md"});

        engine.setQuery(QString());
        changes.clear();
        engine.search(m_repo);
        QVERIFY(engine.results().isEmpty());
        QVERIFY(!engine.isSearching());
        QCOMPARE(engine.searchHistory(), QStringList{"needle"});
        QVERIFY(changes.size() >= 2);
    }

    void laterSearchWins()
    {
        const QString repo = m_dir.filePath(QStringLiteral("slowrepo"));
        writeSlowFile(repo);
        t::writeFile(repo, "quick.txt", "aab\n");
        SearchEngine engine;
        engine.setUseRegex(true);
        engine.setQuery(QStringLiteral("(a+)+$"));
        engine.search(repo);
        engine.setQuery(QStringLiteral("^aab"));
        engine.search(repo);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.isSearching(), 60000);
        QCOMPARE(names(engine.results()), QStringList{"quick.txt"});
        QSignalSpy changes(&engine, &SearchEngine::willChange);
        vesk::waitForBackgroundWork();
        QCoreApplication::processEvents();
        QCOMPARE(changes.size(), 0);  // the cancelled job published nothing
    }

    void droppedEngineStopsItsJob()
    {
        const QString repo = m_dir.filePath(QStringLiteral("slowrepo2"));
        writeSlowFile(repo);
        auto engine = std::make_unique<SearchEngine>();
        engine->setUseRegex(true);
        engine->setQuery(QStringLiteral("(a+)+$"));
        engine->search(repo);
        engine.reset();
        vesk::waitForBackgroundWork();  // returns once the job has seen its engine go
        QCoreApplication::processEvents();
    }

    void history()
    {
        SearchEngine first;
        SearchEngine second;
        for (int i = 1; i <= 31; ++i) {
            first.addToHistory(QStringLiteral("q%1").arg(i));
        }
        first.addToHistory(QStringLiteral("\tq20 "));
        first.addToHistory(QStringLiteral(" \t "));
        QCOMPARE(first.searchHistory().size(), SearchEngine::historyLimit);
        QCOMPARE(first.searchHistory().first(), QStringLiteral("q20"));
        QCOMPARE(first.searchHistory().count(QStringLiteral("q20")), 1);
        QVERIFY(!first.searchHistory().contains(QStringLiteral("q1")));
        QCOMPARE(first.searchHistory().at(1), QStringLiteral("q31"));

        second.addToHistory(QStringLiteral("only"));  // the last writer's whole list wins
        QCOMPARE(SearchEngine().searchHistory(), QStringList{"only"});
        first.removeFromHistory(QStringLiteral("q31"));
        QCOMPARE(SearchEngine().searchHistory().size(), SearchEngine::historyLimit - 1);

        first.clearHistory();
        QVERIFY(first.searchHistory().isEmpty());
        QVERIFY(!Preferences::instance().contains(SearchEngine::historyKey()));
        Preferences::instance().setValue(SearchEngine::historyKey(), 42);
        QVERIFY(SearchEngine().searchHistory().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSearchEngine)
#include "tst_search_engine.moc"
