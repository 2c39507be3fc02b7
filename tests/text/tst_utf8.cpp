#include "text/utf8.h"

#include <QTest>

using namespace vesk;

class TestUtf8 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scan_data();
    void scan();
};

void TestUtf8::scan_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("complete");  // Utf8Kind when the bytes are the whole text
    QTest::addColumn<int>("cut");       // Utf8Kind when they may be cut from a longer text

    const int invalid = int(Utf8Kind::invalid);
    const int ascii = int(Utf8Kind::ascii);
    const int unicode = int(Utf8Kind::unicode);
    QTest::addRow("empty") << QByteArray() << ascii << ascii;
    QTest::addRow("ascii across word boundaries") << QByteArray("0123456789abcdefXYZ") << ascii << ascii;
    QTest::addRow("two, three and four bytes") << QByteArray("\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x91\x8D") << unicode
                                              << unicode;
    QTest::addRow("multi-byte after eight ascii") << QByteArray("abcdefgh\xC3\xA9") << unicode << unicode;
    QTest::addRow("overlong slash") << QByteArray("\xC0\xAF") << invalid << invalid;
    QTest::addRow("overlong three bytes") << QByteArray("\xE0\x80\xAF") << invalid << invalid;
    QTest::addRow("surrogate") << QByteArray("\xED\xA0\x80") << invalid << invalid;
    QTest::addRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << invalid << invalid;
    QTest::addRow("stray continuation") << QByteArray("a\x80") << invalid << invalid;
    QTest::addRow("bad continuation inside") << QByteArray("\xE2\x28\xA1") << invalid << invalid;
    QTest::addRow("cut euro sign") << QByteArray("ab\xE2\x82") << invalid << ascii;
    QTest::addRow("cut after a character") << QByteArray("\xC3\xA9\xF0\x9F") << invalid << unicode;
    QTest::addRow("cut and already wrong") << QByteArray("ab\xE0\x80") << invalid << invalid;
}

void TestUtf8::scan()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, complete);
    QFETCH(int, cut);
    QCOMPARE(int(scanUtf8(bytes)), complete);
    QCOMPARE(int(scanUtf8(bytes, Utf8Ending::mayBeCut)), cut);
    const std::optional<QString> decoded = decodeUtf8(bytes);
    QCOMPARE(decoded.has_value(), complete != int(Utf8Kind::invalid));
    if (decoded) {
        QCOMPARE(decoded->toUtf8(), bytes);
    }
}

QTEST_GUILESS_MAIN(TestUtf8)
#include "tst_utf8.moc"
