#include "workspace/regex_pattern.h"
#include "workspace/search_matcher.h"

#include "text/text_lines.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>
#include <QTextBoundaryFinder>

using vesk::ByteFinder;
using vesk::LineHit;
using vesk::SearchMatcher;
namespace regex_pattern = vesk::regex_pattern;

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

} // namespace

class TestSearchMatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QTest::addRow("overlong UTF-8") << QByteArray("foo \xc0\xaf") << "foo" << true << false << "";
        QTest::addRow("UTF-16 surrogate in UTF-8") << QByteArray("foo \xed\xa0\x80") << "foo" << true << false << "";
        QTest::addRow("truncated sequence") << QByteArray("foo \xe2\x82") << "foo" << true << false << "";
        QTest::addRow("Latin-1 text") << QByteArray("caf\xe9 foo") << "foo" << true << false << "";
        QTest::addRow("past U+10FFFF") << QByteArray("foo \xf4\x90\x80\x80") << "foo" << true << false << "";
        QTest::addRow("stray byte after ASCII") << QByteArray("foo foo \x80") << "foo" << true << false << "";
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

    void hitLimit()
    {
        const QByteArray file = QByteArray("match\n").repeated(10000);
        const QList<LineHit> hits = SearchMatcher(QStringLiteral("MATCH"), false, false).scan(file, 501);
        QCOMPARE(hits.size(), 501);
        QCOMPARE(hits.last().lineNumber, 501);
    }

    // Nested repetition on a long run of a's backtracks exponentially without a bound.
    void pathologicalPatternEnds()
    {
        const QByteArray file = (QByteArray(40, 'a') + "b\n").repeated(500);
        SearchMatcher matcher(QStringLiteral("(a+)+$"), true, true);
        QVERIFY(matcher.scan(file, 501).isEmpty());
        // The bound does not cost matches on long ordinary lines.
        const QByteArray longLine = QByteArray("ab cd,ef;g").repeated(20000) + " foo_suspend";
        QCOMPARE(SearchMatcher(QStringLiteral("[a-z]+_SUSPEND"), false, true).scan(longLine, 501).size(), 1);
    }

    void requiredLiteral_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("literal");
        const char *rows[][2] = {
            {"[A-Z]+_SUSPEND", "_SUSPEND"}, {"foo|bar", ""},          {"colou?r", "colo"},
            {"a{0,3}bcd", "bcd"},           {"ab+c", "ab"},           {"ab*", "a"},
            {"x(?i)abc", ""},               {"(*UCP)abc", ""},        {"\\Qa.b\\E", ""},
            {"(foo|bar)bazz", "bazz"},      {"[ab|]cd", "cd"},        {"\\.txt$", ".txt"},
            {"a\\d+bc", "bc"},              {"ab{x|yz}", ""}  ,        {"\\p{Lu}xy", "xy"},
            {"(?:ab)?cd", "cd"},            {"ab(?=c)", "ab"},        {"a+?bc", "bc"},
        };
        for (const auto &row : rows) {
            QTest::addRow("%s", row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1]);
        }
    }

    void requiredLiteral()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, literal);
        QCOMPARE(regex_pattern::requiredLiteral(pattern), literal);
    }

    void lowercasedPattern_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("lowered");
        QTest::addRow("literals") << "ABC[A-Z]" << "abc[a-z]";
        QTest::addRow("class escapes") << "\\D\\S\\W\\B" << "\\D\\S\\W\\B";
        QTest::addRow("braced names") << "\\p{Lu}\\x{41}\\N{LATIN SMALL LETTER A}X" << "\\p{Lu}\\x{41}\\N{LATIN SMALL LETTER A}x";
        QTest::addRow("quoted text") << "\\QAB\\EC" << "\\Qab\\Ec";
        QTest::addRow("escaped punctuation") << "\\.A" << "\\.a";
    }

    void lowercasedPattern()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, lowered);
        QCOMPARE(regex_pattern::lowercased(pattern), lowered);
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
                                "b\r", "\rb", "AB", "_x", "a b"};
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
            if (actual != expected) {
                qWarning("seed %u round %d: text %s query %s cs %d regex %d chunk %lld", seed, round,
                         bytes.toPercentEncoding().constData(), qPrintable(query), caseSensitive, regex,
                         qlonglong(chunk));
            }
            QCOMPARE(actual, expected);
        }
    }

    void byteFinderMatchesNaiveSearch()
    {
        QRandomGenerator random(7);
        for (int round = 0; round < 3000; ++round) {
            QByteArray text;
            QByteArray needle;
            for (int i = random.bounded(300); i > 0; --i) {
                text += "aAbB_"[random.bounded(round % 2 ? 2 : 5)];
            }
            for (int i = 1 + random.bounded(8); i > 0; --i) {
                needle += "aAbB_"[random.bounded(round % 2 ? 2 : 5)];
            }
            const bool ignoreCase = random.bounded(2) == 1;
            const ByteFinder finder(needle, ignoreCase);
            const qsizetype from = random.bounded(text.size() + 1);
            const QByteArray hay = ignoreCase ? text.toLower() : text;
            QCOMPARE(finder.find(text.constData(), text.size(), from),
                     hay.indexOf(ignoreCase ? needle.toLower() : needle, from));
        }
        // Repetitive text sends the finder to its fallback; answers stay the same.
        const QByteArray runs = QByteArray("ab").repeated(10000) + "c";
        for (bool ignoreCase : {false, true}) {
            const ByteFinder found(QByteArray(ignoreCase ? "AB" : "ab").repeated(50) + "c", ignoreCase);
            QCOMPARE(found.find(runs.constData(), runs.size(), 1), 19900);
            const ByteFinder missing(QByteArray("ab").repeated(50) + "d", ignoreCase);
            QCOMPARE(missing.find(runs.constData(), runs.size(), 0), -1);
        }
    }
};

QTEST_GUILESS_MAIN(TestSearchMatcher)
#include "tst_search_matcher.moc"
