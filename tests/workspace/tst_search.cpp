#include "workspace/file_search.h"
#include "workspace/regex_pattern.h"
#include "workspace/repository_walker.h"
#include "workspace/search_engine.h"
#include "workspace/search_matcher.h"

#include "platform/background.h"
#include "platform/preferences.h"
#include "test_support.h"
#include "text/text_lines.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBoundaryFinder>

#include <sys/stat.h>

using vesk::FileSearch::searchFile;
using vesk::FileSearch::searchRepository;
using vesk::LineHit;
using vesk::Preferences;
using vesk::SearchEngine;
using vesk::SearchMatcher;
using vesk::SearchOptions;
using vesk::SearchResult;
namespace regex_pattern = vesk::regex_pattern;
namespace t = vesk::test;

namespace {

QList<qsizetype> clusterBounds(const QString &text)
{
    QList<qsizetype> bounds{0};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype b = finder.toNextBoundary(); b > 0; b = finder.toNextBoundary()) {
        bounds.append(b);
    }
    return bounds;
}

// The rules read literally: decode, split into lines, lower-case, then compare normalized
// text character by character, or run the expression on the line.
QList<LineHit> reference(const QByteArray &bytes, const QString &query, bool caseSensitive, bool regex,
                         qsizetype maxHits)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return {};
    }
    const QRegularExpression expression(caseSensitive ? query : regex_pattern::lowercased(query),
                                        QRegularExpression::UseUnicodePropertiesOption);
    const QString needle = (caseSensitive ? query : query.toLower()).normalized(QString::NormalizationForm_C);
    QList<LineHit> hits;
    const QStringList lines = vesk::splitLines(text).lines;
    for (qsizetype i = 0; i < lines.size() && hits.size() < maxHits; ++i) {
        const QString work = caseSensitive ? lines[i] : lines[i].toLower();
        bool match = false;
        if (regex) {
            match = expression.isValid() && expression.match(work).hasMatch();
        } else {
            const QString normalized = work.normalized(QString::NormalizationForm_C);
            const QList<qsizetype> bounds = clusterBounds(normalized);
            for (qsizetype b : bounds) {
                match = match
                        || (QStringView(normalized).sliced(b).startsWith(needle) && bounds.contains(b + needle.size()));
            }
        }
        if (match) {
            const QList<qsizetype> bounds = clusterBounds(lines[i]);
            hits.append({i + 1, lines[i].left(bounds.value(SearchMatcher::lineContentLength, lines[i].size()))});
        }
    }
    return hits;
}

QString describe(const QList<LineHit> &hits)
{
    QStringList parts;
    for (const LineHit &hit : hits) {
        parts.append(QString::number(hit.lineNumber) + ':' + hit.lineContent);
    }
    return parts.join(QStringLiteral(" | "));
}

QString scanned(const QByteArray &bytes, const QString &query, bool caseSensitive, bool regex,
                qsizetype maxHits = 501, qsizetype chunkBytes = 0)
{
    SearchMatcher matcher(query, caseSensitive, regex);
    if (chunkBytes > 0) {
        matcher.setChunkBytes(chunkBytes);
    }
    return describe(matcher.scan(bytes, maxHits));
}

SearchOptions options(const QString &query, const QString &include = {}, const QString &exclude = {})
{
    return {query, false, false, SearchEngine::parseExtensions(include), SearchEngine::parseExtensions(exclude)};
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

} // namespace

// Find in files: the line test of one file against a literal reading of the rules, then the
// walk, the filters and the engine that runs searches in the background.
class TestSearch : public QObject
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

    void init() { Preferences::useFile(m_dir.filePath(QStringLiteral("prefs%1.ini").arg(++m_preferenceFiles))); }

    void cleanup() { vesk::waitForBackgroundWork(); }

    void lines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<QString>("expected");
        const QByteArray mixed("one\r\ntwo\rx\n\xe2\x80\xa8three\xe2\x80\xa9" "four\n");
        QTest::addRow("ignoring case finds every case") << QByteArray("foo\nFOO\nFoo\nbar") << "foo" << false << false
                                                        << "1:foo | 2:FOO | 3:Foo";
        QTest::addRow("matching case") << QByteArray("foo\nFOO\nFoo") << "foo" << true << false << "1:foo";
        QTest::addRow("one hit per line") << QByteArray("a\nb\nfoo foo\n") << "foo" << true << false << "3:foo foo";
        QTest::addRow("editor's line breaks") << mixed << "x" << true << false << "2:two\rx";
        QTest::addRow("CR of CR LF is no text") << mixed << "one\r" << true << false << "";
        QTest::addRow("final break gives an empty line") << QByteArray("a\n") << "^$" << true << true << "2:";
        QTest::addRow("separators end lines") << mixed << "^(three|four|)$" << true << true << "3: | 4:three | 5:four | 6:";
        QTest::addRow("precomposed query, decomposed text") << QByteArray("cafe\xcc\x81\n") << "caf\u00e9" << true
                                                            << false << "1:cafe\u0301";
        QTest::addRow("decomposed query, precomposed text") << QByteArray("caf\xc3\xa9") << "cafe\u0301" << true
                                                            << false << "1:caf\u00e9";
        QTest::addRow("a letter is not its accented form") << QByteArray("caf\xc3\xa9\ncafe\xcc\x81") << "cafe" << true
                                                           << false << "";
        QTest::addRow("kelvin sign is K") << QByteArray("\xe2\x84\xaa\n") << "K" << true << false << "1:\u212a";
        QTest::addRow("kelvin sign lower-cases to k") << QByteArray("x\xe2\x84\xaa") << "xk" << false << false
                                                      << "1:x\u212a";
        QTest::addRow("no half of an emoji sequence") << QByteArray("\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb")
                                                      << "\U0001F469" << true << false << "";
        QTest::addRow("pattern lower-cased") << QByteArray("ABC_X\nabc") << "[A-Z]+_X" << false << true << "1:ABC_X";
        QTest::addRow("escapes keep their sense") << QByteArray("abc\n123") << "^\\D+$" << false << true << "1:abc";
        QTest::addRow("invalid pattern") << QByteArray("[abc\n") << "[abc" << false << true << "";
        QTest::addRow("empty file, expression") << QByteArray() << "^$" << true << true << "1:";
        QTest::addRow("empty file, text") << QByteArray() << "a" << false << false << "";
        QTest::addRow("empty file, kelvin sign") << QByteArray() << "k" << false << false << "";
        // Overlong, surrogate, truncated, Latin-1, past U+10FFFF, a stray byte after ASCII.
        for (const char *bad : {"foo \xc0\xaf", "foo \xed\xa0\x80", "foo \xe2\x82", "caf\xe9 foo",
                                "foo \xf4\x90\x80\x80", "foo foo \x80"}) {
            QTest::addRow("invalid UTF-8 %s", QByteArray(bad).toPercentEncoding().constData())
                << QByteArray(bad) << "foo" << true << false << "";
        }
        // Long near misses send the byte search to its fallback; answers stay the same.
        const QByteArray runs = QByteArray("ab").repeated(10000) + "c";
        QTest::addRow("long near misses") << runs << QString("AB").repeated(50) + "c" << false << false
                                          << "1:" + QString("ab").repeated(100);
        QTest::addRow("long near misses, none found") << runs << QString("ab").repeated(50) + "d" << true << false << "";
        QTest::addRow("highest code point") << QByteArray("foo \xf4\x8f\xbf\xbf") << "foo" << true << false
                                            << "1:foo \U0010FFFF";
        QTest::addRow("200 characters kept") << QByteArray(300, 'a') << "a" << true << false
                                             << "1:" + QString(200, 'a');
        const QString clusters = QString(QStringLiteral("e\u0301")).repeated(300);
        QTest::addRow("200 clusters kept") << clusters.toUtf8() << "\u00e9" << true << false << "1:" + clusters.left(400);
    }

    void lines()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, query);
        QFETCH(bool, caseSensitive);
        QFETCH(bool, regex);
        QFETCH(QString, expected);
        QCOMPARE(scanned(file, query, caseSensitive, regex), expected);
        QCOMPARE(scanned(file, query, caseSensitive, regex, 501, 1), expected);
        QCOMPARE(describe(reference(file, query, caseSensitive, regex, 501)), expected);
    }

    // The 501st hit ends the scan; nested repetition on long runs of a's, which backtracks
    // exponentially without a bound, matches nothing; the bound costs no match on long lines.
    void limits()
    {
        const QByteArray many = QByteArray("match\n").repeated(10000);
        const QList<LineHit> hits = SearchMatcher(QStringLiteral("MATCH"), false, false).scan(many, 501);
        QCOMPARE(hits.size(), 501);
        QCOMPARE(hits.last().lineNumber, 501);
        const QByteArray runs = (QByteArray(40, 'a') + "b\n").repeated(500);
        QVERIFY(SearchMatcher(QStringLiteral("(a+)+$"), true, true).scan(runs, 501).isEmpty());
        const QByteArray longLine = QByteArray("ab cd,ef;g").repeated(20000) + " foo_suspend";
        QCOMPARE(SearchMatcher(QStringLiteral("[a-z]+_SUSPEND"), false, true).scan(longLine, 501).size(), 1);
    }

    // Lower-casing keeps escapes and braced names; the required literal errs towards less.
    void patternReading_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("lowered");
        QTest::addColumn<QString>("literal");
        const char *rows[][3] = {
            {"[A-Z]+_SUSPEND", "[a-z]+_suspend", "_SUSPEND"}, {"foo|bar", "foo|bar", ""},
            {"colou?r", "colou?r", "colo"}, {"a{0,3}bcd", "a{0,3}bcd", "bcd"}, {"ab+c", "ab+c", "ab"},
            {"ab*", "ab*", "a"}, {"x(?i)abc", "x(?i)abc", ""}, {"(*UCP)abc", "(*UCP)abc", ""}, {"(*UCP)X(*CR)", "(*UCP)x(*CR)", ""},
            {"\\QA.b\\EC", "\\Qa.b\\Ec", "A.bC"}, {"(foo|bar)bazz", "(foo|bar)bazz", "bazz"},
            {"[ab|]cd", "[ab|]cd", "cd"}, {"\\.TXT$", "\\.txt$", ".TXT"}, {"a\\d+bc", "a\\d+bc", "bc"},
            {"ab{x|yz}", "ab{x|yz}", ""}, {"\\p{Lu}XY", "\\p{Lu}xy", "XY"}, {"(?:ab)?cd", "(?:ab)?cd", "cd"},
            {"ab(?=c)", "ab(?=c)", "ab"}, {"a+?bc", "a+?bc", "bc"}, {"\\D\\S\\W\\B", "\\D\\S\\W\\B", ""},
            {"\\x{41}\\N{LATIN SMALL LETTER A}X", "\\x{41}\\N{LATIN SMALL LETTER A}x", "X"},
        };
        for (const auto &row : rows) {
            QTest::addRow("%s", row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1])
                                        << QString::fromUtf8(row[2]);
        }
    }

    void patternReading()
    {
        QFETCH(QString, pattern);
        QTEST(regex_pattern::lowercased(pattern), "lowered");
        QTEST(regex_pattern::requiredLiteral(pattern), "literal");
    }

    // The scanner against the literal reading of the rules, on text built from the characters
    // that make the rules hard: line breaks of every kind, combining marks, characters that
    // lower-case or normalize into ASCII, and emoji sequences. VESK_SEED replays a run.
    void matchesReference()
    {
        const quint32 seed = qEnvironmentVariableIsSet("VESK_SEED") ? quint32(qEnvironmentVariableIntValue("VESK_SEED"))
                                                                    : 20240611u;
        QRandomGenerator random(seed);
        const QStringList pieces{"a", "b", "A", "B", "k", "K", "\u212a", "\u0130", "i", "e", "\u0301", "\u00e9",
                                 "\r", "\n", "\r\n", "\u2028", "\u2029", ";", "\u037e", "`", "\u1fef", " ",
                                 "\U0001F469", "\u200d", "\U0001F4BB", "ab", "_x"};
        const QStringList plain{"a", "ab", "k", "K", "\u00e9", "e\u0301", "e", ";", "`", "i", "\u0130", "\U0001F469",
                                "b\r", "\rb", "AB", "_x", "a b", "abab", "aBa_x", "bAbAb", "_xab"};
        const QStringList patterns{"a+b", "^a", "a$", "^$", "k", "[a-z]b", "\\bab", "\u00e9", "i\u0307", "a.b",
                                   "(ab|ba)", "\\Dk", "_X", "[;`]", "\\w+\\s"};
        for (int round = 0; round < 4000; ++round) {
            QString text;
            const int length = random.bounded(40);
            for (int i = 0; i < length; ++i) {
                text += pieces[random.bounded(pieces.size())];
            }
            QByteArray bytes = text.toUtf8();
            if (random.bounded(20) == 0) {
                bytes.insert(random.bounded(bytes.size() + 1), '\xff');
            }
            const bool regex = random.bounded(2) == 1;
            const QString query = regex ? patterns[random.bounded(patterns.size())] : plain[random.bounded(plain.size())];
            const bool caseSensitive = random.bounded(2) == 1;
            const qsizetype maxHits = 1 + random.bounded(4);
            const qsizetype chunk = QList<qsizetype>{1, 3, 7, 1 << 20}[random.bounded(4)];
            const QString expected = describe(reference(bytes, query, caseSensitive, regex, maxHits));
            const QString actual = scanned(bytes, query, caseSensitive, regex, maxHits, chunk);
            // One multi-argument arg(): the percent-encoded text must not be read as placeholders.
            QVERIFY2(actual == expected,
                     qPrintable(QStringLiteral("seed %1 round %2: text %3 query %4 cs %5 regex %6 chunk %7: got '%8', "
                                               "want '%9'")
                                    .arg(QString::number(seed), QString::number(round),
                                         QString::fromLatin1(bytes.toPercentEncoding()), query,
                                         QString::number(caseSensitive), QString::number(regex),
                                         QString::number(chunk), actual, expected)));
        }
    }

    void walkAndFilters_data()
    {
        QTest::addColumn<QString>("include");
        QTest::addColumn<QString>("exclude");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("everything readable") << "" << ""
                                             << QStringList{"Makefile", "README.md", "a.txt", "data.json",
                                                            "linkfile.txt", "notes.MD", "sub/deep/file.c"};
        const QStringList jsonAndMd{"README.md", "data.json", "notes.MD"};
        QTest::addRow("star-dot form, spaces, tabs, empty pieces") << " \t*.json\t, ,,*.md " << "" << jsonAndMd;
        QTest::addRow("bare form") << "json,md" << "" << jsonAndMd;
        QTest::addRow("every star-dot goes") << "*.*.js*.on" << "" << QStringList{"data.json"};
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
        const QList<SearchResult> results = searchRepository(m_repo + "/", options("needle", include, exclude));
        QCOMPARE(names(results), expected);
        for (const SearchResult &result : results) {
            QCOMPARE(result.filePath, m_repo + "/" + result.fileName);
            QCOMPARE(result.lineNumber, 2);
            QCOMPARE(result.lineContent, QStringLiteral("the needle here"));
        }
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

    // The current file is searched wherever it lies; a repository below an excluded name is
    // searched inside.
    void searchRoots()
    {
        const QString inside = QDir(m_repo).filePath("node_modules/x.txt");
        QCOMPARE(names(searchFile(inside, m_repo, options("needle", "md"))), QStringList{"node_modules/x.txt"});
        const QString outside = t::writeFile(m_dir.path(), "outside.txt", "needle\n");
        QCOMPARE(names(searchFile(outside, m_repo, options("needle"))), QStringList{outside});
        QVERIFY(searchFile(m_dir.filePath("missing.txt"), m_repo, options("needle")).isEmpty());
        QVERIFY(searchFile(QDir(m_repo).filePath("pipe.txt"), m_repo, options("needle")).isEmpty());
        const QString below = m_dir.filePath(QStringLiteral("node_modules/pkg"));
        t::writeFile(below, "index.js", "needle\n");
        QCOMPARE(names(searchRepository(below, options("needle"))), QStringList{"index.js"});
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

    // An expression that cannot be used is said to be invalid, with the reason; a file where the
    // expression backtracked past its bound is named, and the other hits are still listed; the
    // next search starts clean.
    void engineReportsExpressionState()
    {
        const QString repo = m_dir.filePath("expressions");
        t::writeFile(repo, "runaway.txt", QByteArray(40, 'a') + "!\nxaa\n");
        t::writeFile(repo, "plain.txt", "aaa\n");
        SearchEngine engine;
        engine.setUseRegex(true);
        engine.setCaseSensitive(true);
        const auto searchFor = [&](const QString &query) {
            engine.setQuery(query);
            engine.search(repo);
            QTRY_VERIFY_WITH_TIMEOUT(!engine.isSearching(), 60000);
        };
        searchFor(QStringLiteral("(a+"));
        QVERIFY(engine.results().isEmpty());
        QVERIFY2(engine.expressionError().startsWith(QStringLiteral("Invalid regular expression: ")),
                 qPrintable(engine.expressionError()));
        searchFor(QStringLiteral("\\N{NO SUCH CHARACTER}"));
        QVERIFY(engine.expressionError().contains(QStringLiteral("NO SUCH CHARACTER")));

        searchFor(QStringLiteral("(a+)+$"));
        QVERIFY(engine.expressionError().isEmpty());
        QCOMPARE(engine.cutShortFiles(), QStringList{"runaway.txt"});
        QStringList found = hits(engine.results());
        found.sort();
        QCOMPARE(found, (QStringList{repo + "/plain.txt:1:aaa", repo + "/runaway.txt:2:xaa"}));

        searchFor(QStringLiteral("xaa"));
        QVERIFY(engine.cutShortFiles().isEmpty());
        QCOMPARE(engine.results().size(), 1);
    }

    // A later search cancels the running one, which then publishes nothing; an engine dropped
    // mid-search stops its job (waitForBackgroundWork would otherwise wait for minutes).
    void cancellation()
    {
        const QString repo = m_dir.filePath(QStringLiteral("slowrepo"));
        t::writeFile(repo, "slow/slow.txt", (QByteArray(40, 'a') + "b\n").repeated(200000));
        t::writeFile(repo, "quick.txt", "aab\n");
        auto engine = std::make_unique<SearchEngine>();
        engine->setUseRegex(true);
        engine->setQuery(QStringLiteral("(a+)+$"));
        engine->search(repo);
        engine->setQuery(QStringLiteral("^aab"));
        engine->search(repo);
        QTRY_VERIFY_WITH_TIMEOUT(!engine->isSearching(), 60000);
        QCOMPARE(names(engine->results()), QStringList{"quick.txt"});
        QSignalSpy changes(engine.get(), &SearchEngine::willChange);
        vesk::waitForBackgroundWork();
        QCoreApplication::processEvents();
        QCOMPARE(changes.size(), 0);

        engine->setQuery(QStringLiteral("(a+)+$"));
        engine->search(repo);
        engine.reset();
        vesk::waitForBackgroundWork();
        QCoreApplication::processEvents();
    }

    // Trimmed, unique, at most 30, most recent first; shared through the preferences, where the
    // last writer's whole list wins.
    void history()
    {
        SearchEngine first, second;
        for (int i = 1; i <= 31; ++i) {
            first.addToHistory(QStringLiteral("q%1").arg(i));
        }
        first.addToHistory(QStringLiteral("\tq20 "));
        first.addToHistory(QStringLiteral(" \t "));
        QCOMPARE(first.searchHistory().size(), SearchEngine::historyLimit);
        QCOMPARE(first.searchHistory().mid(0, 2), QStringList({"q20", "q31"}));
        QCOMPARE(first.searchHistory().count(QStringLiteral("q20")), 1);
        QCOMPARE(first.searchHistory().last(), QStringLiteral("q2"));

        second.addToHistory(QStringLiteral("only"));
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

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
