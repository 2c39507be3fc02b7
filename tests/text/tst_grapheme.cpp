#include "test_support.h"
#include "text/grapheme.h"

#include <QFile>
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
};

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
