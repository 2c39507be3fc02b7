#include "test_support.h"
#include "text/grapheme.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

using namespace vesk;

class TestGrapheme : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unicodeConformance();
    void clusters_data();
    void clusters();
    void unitOffset_data();
    void unitOffset();
    void runsOfStandaloneCharacters_data();
    void runsOfStandaloneCharacters();
};

namespace {

// Boundaries found by feeding every code point to the segmenter, with no shortcut for runs.
QList<qsizetype> stepwiseBoundaries(QStringView text)
{
    QList<qsizetype> result{0};
    const auto *s = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    if (n == 0) {
        return result;
    }
    grapheme::Segmenter segmenter;
    qsizetype length = 0;
    segmenter.start(grapheme::propertyOf(grapheme::codePointAt(s, n, 0, length)));
    for (qsizetype i = length; i < n; i += length) {
        if (segmenter.next(grapheme::propertyOf(grapheme::codePointAt(s, n, i, length)))) {
            result.append(i);
        }
    }
    result.append(n);
    return result;
}

// Pieces that sit at the edges of runs of standalone characters: what may join the next
// character (prefixes, leading jamo), what joins the one before (marks, trailing jamo, ZWJ),
// the halves of surrogate pairs and the characters with state (regional indicators, emoji).
const QStringList runEdgePieces{
    QStringLiteral("a"),      QStringLiteral("漢"),      QStringLiteral("\uAC00"), QStringLiteral("\uAC01"),
    QStringLiteral("\u1100"), QStringLiteral("\u1161"), QStringLiteral("\u11A8"), QStringLiteral("\u0600"),
    QStringLiteral("\u0301"), QStringLiteral("\u0903"), QStringLiteral("\u200D"), QStringLiteral("👍"),
    QStringLiteral("🏽"),     QStringLiteral("🇫"),     QStringLiteral("\r"),     QStringLiteral("\n"),
    QString(QChar(0xD83D)),   QString(QChar(0xDE00)),   QStringLiteral("\u00E9"), QStringLiteral("\u2029"),
};

} // namespace

void TestGrapheme::runsOfStandaloneCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("prefix before a letter run") << QStringLiteral("\u0600abc");
    QTest::addRow("leading jamo before syllables") << QStringLiteral("\u1100\uAC00\uAC01x");
    QTest::addRow("syllable then trailing jamo") << QStringLiteral("ab\uAC00\u11A8c");
    QTest::addRow("letter run then a mark") << QStringLiteral("abc\u0301d");
    QTest::addRow("pair split across a run's end") << QStringLiteral("ab") + QChar(0xD83D) + QChar(0xDE00) + "c";
    QTest::addRow("lone high surrogate inside a run") << QStringLiteral("ab") + QChar(0xD83D) + "cd";
    QTest::addRow("flags after letters") << QStringLiteral("ab🇫🇷🇫🇷c");
    QTest::addRow("emoji sequence then CJK") << QStringLiteral("👨\u200D👩漢字");
    QTest::addRow("ZWJ then letters") << QStringLiteral("👍\u200Dab");
    // Random mixtures, reproducible: each row a fixed seed.
    for (int seed = 1; seed <= 40; ++seed) {
        QRandomGenerator random{quint32(seed)};
        QString text;
        for (int i = 0; i < 300; ++i) {
            text += runEdgePieces.at(random.bounded(int(runEdgePieces.size())));
        }
        QTest::addRow("random mixture %d", seed) << text;
    }
}

void TestGrapheme::runsOfStandaloneCharacters()
{
    QFETCH(QString, text);
    const QList<qsizetype> expected = stepwiseBoundaries(text);
    QCOMPARE(grapheme::boundaries(text), expected);
    QCOMPARE(grapheme::count(text), expected.size() - 1);
}

// Every line of Unicode's GraphemeBreakTest.txt: code points separated by "÷" (boundary) or
// "×" (no boundary).
void TestGrapheme::unicodeConformance()
{
    QFile file(test::dataDir() + QStringLiteral("/GraphemeBreakTest.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    int cases = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).section(u'#', 0, 0).trimmed();
        if (line.isEmpty()) {
            continue;
        }
        QString text;
        QList<qsizetype> expected{0};
        const QStringList tokens = line.split(u' ', Qt::SkipEmptyParts);
        for (qsizetype i = 1; i < tokens.size(); i += 2) {
            const char32_t cp = tokens[i].toUInt(nullptr, 16);
            text += QString::fromUcs4(&cp, 1);
            if (tokens[i + 1] == QStringLiteral("÷")) {
                expected.append(text.size());
            }
        }
        QVERIFY2(grapheme::boundaries(text) == expected, qPrintable(line));
        ++cases;
    }
    QVERIFY(cases > 500);
}

void TestGrapheme::clusters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("count");

    QTest::addRow("flag after emoji") << QStringLiteral("👍🇫🇷") << qsizetype(2);
    QTest::addRow("three regional indicators") << QStringLiteral("🇫🇷🇪") << qsizetype(2);
    QTest::addRow("family") << QStringLiteral("👨\u200D👩\u200D👧") << qsizetype(1);
    QTest::addRow("ZWJ without emoji before") << QStringLiteral("a\u200D👩") << qsizetype(2);
    QTest::addRow("CR LF then mark") << QStringLiteral("\r\n\u0301") << qsizetype(2);
    QTest::addRow("lone surrogates") << QStringLiteral("a") + QChar(0xD800) + QChar(0xDC00).unicode()
                                     << qsizetype(2);
    QTest::addRow("Hangul syllable from jamo") << QStringLiteral("\u1100\u1161\u11A8") << qsizetype(1);
}

void TestGrapheme::clusters()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, count);
    QCOMPARE(grapheme::count(text), count);
}

void TestGrapheme::unitOffset_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("cluster");
    QTest::addColumn<qsizetype>("unit");

    QTest::addRow("plain") << QStringLiteral("abc") << qsizetype(2) << qsizetype(2);
    QTest::addRow("before combining mark") << QStringLiteral("abe\u0301x") << qsizetype(3) << qsizetype(4);
    QTest::addRow("letter before its mark") << QStringLiteral("abe\u0301x") << qsizetype(2) << qsizetype(2);
    QTest::addRow("after CR LF") << QStringLiteral("a\r\nb") << qsizetype(2) << qsizetype(3);
    QTest::addRow("past the end") << QStringLiteral("ab") << qsizetype(9) << qsizetype(2);
    QTest::addRow("negative") << QStringLiteral("ab") << qsizetype(-1) << qsizetype(0);
}

void TestGrapheme::unitOffset()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, cluster);
    QFETCH(qsizetype, unit);
    QCOMPARE(grapheme::unitOffset(text, cluster), unit);
}

QTEST_GUILESS_MAIN(TestGrapheme)
#include "tst_grapheme.moc"
