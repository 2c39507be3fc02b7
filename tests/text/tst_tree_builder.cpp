// Trees built from UTF-8 arriving in pieces, as a file is read: the text, its clusters and lines
// come out exactly as from the whole string, whatever the piece and leaf sizes; leaves are cut
// only at true cluster boundaries and keep the compact forms; bad UTF-8 anywhere fails.

#include "text/tree_builder.h"
#include "text_reference.h"

#include <QTest>

using namespace vesk;
using namespace vesk::test;

namespace {

VeskNodePtr buildInPieces(const QByteArray &utf8, qsizetype leafBytes, qsizetype pieceBytes, bool *appended = nullptr)
{
    TreeBuilder builder(leafBytes);
    bool ok = true;
    for (qsizetype at = 0; at < utf8.size(); at += pieceBytes) {
        ok = builder.append(QByteArrayView(utf8).sliced(at, std::min(pieceBytes, utf8.size() - at))) && ok;
    }
    if (appended) {
        *appended = ok;
    }
    return builder.finish();
}

QString repeated(const QString &s, int times)
{
    return s.repeated(times);
}

} // namespace

class TestTreeBuilder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesWholeText_data();
    void matchesWholeText();
    void leafForms_data();
    void leafForms();
    void refusesBadUtf8_data();
    void refusesBadUtf8();
    void builtSoFarIsAPrefix();
};

void TestTreeBuilder::matchesWholeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("empty") << QString();
    QTest::addRow("short lines") << repeated(QStringLiteral("int x = 1;\n"), 300);
    QTest::addRow("one long ASCII line") << QString(5000, u'q');
    QTest::addRow("CR LF everywhere") << repeated(QStringLiteral("\r\n"), 3000);
    QTest::addRow("CR LF in long lines") << repeated(QStringLiteral("abc\r\ndefgh\r"), 700);
    QTest::addRow("lone CRs") << repeated(QStringLiteral("\r"), 2000) + u'\n';
    QTest::addRow("combining marks after ASCII") << repeated(QStringLiteral("e\u0301\u0323x"), 1200);
    QTest::addRow("Latin-1 without breaks") << repeated(QStringLiteral("café\u00a0ÿ\u0085"), 900);
    QTest::addRow("Latin-1 then combining") << repeated(QStringLiteral("é\u0301ü"), 900);
    QTest::addRow("CJK without breaks") << repeated(QStringLiteral("漢字かな交じり文"), 700);
    QTest::addRow("flags without breaks") << repeated(QStringLiteral("🇫🇷🇩🇪🇫"), 500);
    QTest::addRow("emoji ZWJ sequences") << repeated(QStringLiteral("👨\u200D👩\u200D👧👍🏽"), 500);
    QTest::addRow("Hangul jamo") << repeated(QStringLiteral("\u1100\u1161\u11A8"), 1500);
    QTest::addRow("one giant cluster") << QStringLiteral("a") + QString(6000, QChar(0x0301)) + QStringLiteral("b\n");
    QTest::addRow("all four breaks") << repeated(QStringLiteral("a\u2028b\u2029c\r\nd\n"), 600);
    QTest::addRow("mixed lines")
        << repeated(QStringLiteral("漢字 café e\u0301 👍🏽 👨\u200D👩\u200D👧 🇫🇷 한국어\r\nASCII code line;\r\n"), 150);
}

void TestTreeBuilder::matchesWholeText()
{
    QFETCH(QString, text);
    const QByteArray utf8 = text.toUtf8();
    const ReferenceLines lines = referenceLines(text);
    const qint64 length = referenceLength(text);
    const QList<qsizetype> boundaries = referenceBoundaries(text);
    for (const qsizetype leafBytes : {4, 7, 64, 4096}) {
        for (const qsizetype pieceBytes : {1, 5, 333, 1 << 20}) {
            const VeskNodePtr root = buildInPieces(utf8, leafBytes, pieceBytes);
            const QByteArray where = QByteArray::number(leafBytes) + '/' + QByteArray::number(pieceBytes);
            QVERIFY2(root, where);
            QCOMPARE(root->text(), text);
            QCOMPARE(root->length(), length);
            QCOMPARE(root->toUtf8(), utf8);
            QCOMPARE(treeProblem(root), QString());
            QCOMPARE(root->lines(), qint64(lines.lines.size()));
            qsizetype unit = 0;
            bool oversized = false;
            forEachLeaf(root, [&](const VeskNode &leaf) {
                unit += leaf.chunk().unitCount();
                QVERIFY2(boundaries.contains(unit), where);
                // Only a single cluster longer than a leaf may make one longer.
                oversized |= leaf.length() > 1 && leaf.toUtf8().size() > leafBytes + 4;
            });
            QVERIFY2(!oversized, where);
            for (qsizetype i = 0; i < lines.lines.size(); i += 1 + lines.lines.size() / 40) {
                const VeskNode::LineInfo info = root->lineInfo(i);
                QCOMPARE(info.content, lines.lines[i]);
                QCOMPARE(info.offset, lines.offsets[i]);
                QCOMPARE(root->lineOfOffset(info.offset), i);
            }
        }
    }
}

void TestTreeBuilder::leafForms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("form");
    QTest::addRow("ASCII") << repeated(QStringLiteral("plain code;\n"), 50) << int(TextChunk::Form::ascii);
    QTest::addRow("Latin-1") << repeated(QStringLiteral("Grüße, café.\n"), 50) << int(TextChunk::Form::latin1);
    QTest::addRow("CJK") << repeated(QStringLiteral("漢字かな\n"), 50) << int(TextChunk::Form::utf16);
}

void TestTreeBuilder::leafForms()
{
    QFETCH(QString, text);
    QFETCH(int, form);
    const VeskNodePtr root = buildInPieces(text.toUtf8(), 64, 100);
    QVERIFY(root);
    forEachLeaf(root, [&](const VeskNode &leaf) {
        QCOMPARE(int(leaf.chunk().form()), form);
        const qsizetype perUnit = form == int(TextChunk::Form::utf16) ? 2 : 1;
        QCOMPARE(leaf.chunk().storedBytes(), leaf.chunk().unitCount() * perUnit);
    });
}

void TestTreeBuilder::refusesBadUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = repeated(QStringLiteral("line café 漢字\n"), 400).toUtf8();
    QTest::addRow("bad byte first") << QByteArray("\xff") + good;
    QTest::addRow("bad byte in the middle") << good.left(3000) + '\x80' + good.mid(3000);
    QTest::addRow("bad byte last") << good + '\xfe';
    QTest::addRow("cut character at the end") << good + QByteArray("\xe6\xbc");
    QTest::addRow("overlong slash") << good + QByteArray("\xc0\xaf") + good;
    QTest::addRow("surrogate") << good + QByteArray("\xed\xa0\x80") + good;
}

void TestTreeBuilder::refusesBadUtf8()
{
    QFETCH(QByteArray, bytes);
    for (const qsizetype pieceBytes : {1, 7, 1000, 1 << 20}) {
        QVERIFY(!buildInPieces(bytes, 64, pieceBytes));
    }
}

void TestTreeBuilder::builtSoFarIsAPrefix()
{
    const QString text = repeated(QStringLiteral("e\u0301 🇫🇷 a\r\nb "), 400);
    const QByteArray utf8 = text.toUtf8();
    const QList<qsizetype> boundaries = referenceBoundaries(text);
    TreeBuilder builder(32);
    qint64 grew = 0;
    qsizetype lastUnits = 0;
    for (qsizetype at = 0; at < utf8.size(); at += 97) {
        QVERIFY(builder.append(QByteArrayView(utf8).sliced(at, std::min<qsizetype>(97, utf8.size() - at))));
        const VeskNodePtr prefix = builder.builtSoFar();
        const QString soFar = prefix->text();
        QVERIFY(text.startsWith(soFar));
        QVERIFY(boundaries.contains(soFar.size()));
        QCOMPARE(prefix->length(), qint64(boundaries.indexOf(soFar.size())));
        QVERIFY(soFar.size() >= lastUnits);
        grew += soFar.size() > lastUnits ? 1 : 0;
        lastUnits = soFar.size();
    }
    QVERIFY(grew > 10);
    QCOMPARE(builder.finish()->text(), text);
}

QTEST_GUILESS_MAIN(TestTreeBuilder)
#include "tst_tree_builder.moc"
