#include "text/vesk_document.h"

#include <QSignalSpy>
#include <QTest>

using namespace vesk;

class TestVeskDocument : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void undoKeepsTwoHundredSnapshots();
    void redoAndNewEdits_data();
    void redoAndNewEdits();
    void undoOnFreshDocumentIsSilent();
    void emptyEditsStillRecordUndoSteps_data();
    void emptyEditsStillRecordUndoSteps();
    void announcesBeforeStoring();
    void deleteJoinsCarriageReturnAndLineFeed();
    void deleteRangeOutsideText_data();
    void deleteRangeOutsideText();
    void splitLines_data();
    void splitLines();
};

void TestVeskDocument::undoKeepsTwoHundredSnapshots()
{
    VeskDocument doc;
    QStringList texts{QString()};
    for (int i = 0; i < 250; ++i) {
        doc.insert(QString(QChar(u'a' + i % 26)), doc.length());
        texts.append(doc.text());
    }
    QCOMPARE(qsizetype(doc.undoStack().size()), 200);
    for (int i = 0; i < 200; ++i) {
        doc.undo();
    }
    QCOMPARE(doc.text(), texts[50]);
    QSignalSpy spy(&doc, &VeskDocument::willChange);
    doc.undo();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(doc.text(), texts[50]);
    QCOMPARE(qsizetype(doc.redoStack().size()), 200);
}

void TestVeskDocument::redoAndNewEdits_data()
{
    QTest::addColumn<bool>("editAfterUndo");
    QTest::addRow("undo then redo restores") << false;
    QTest::addRow("undo then insert empties redo") << true;
}

void TestVeskDocument::redoAndNewEdits()
{
    QFETCH(bool, editAfterUndo);
    VeskDocument doc(QStringLiteral("start"));
    doc.insert(QStringLiteral("X"), 2);
    doc.insert(QStringLiteral("Y"), 0);
    const QString edited = doc.text();
    doc.undo();
    QCOMPARE(doc.text(), QStringLiteral("stXart"));
    if (editAfterUndo) {
        doc.insert(QStringLiteral("Z"), 6);
        QVERIFY(doc.redoStack().empty());
        QCOMPARE(doc.text(), QStringLiteral("stXartZ"));
        doc.redo();
        QCOMPARE(doc.text(), QStringLiteral("stXartZ"));
    } else {
        doc.redo();
        QCOMPARE(doc.text(), edited);
        QCOMPARE(qsizetype(doc.undoStack().size()), 2);
        QVERIFY(doc.redoStack().empty());
    }
}

void TestVeskDocument::undoOnFreshDocumentIsSilent()
{
    VeskDocument doc(QStringLiteral("abc"));
    QSignalSpy spy(&doc, &VeskDocument::willChange);
    doc.undo();
    doc.redo();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(doc.text(), QStringLiteral("abc"));
}

void TestVeskDocument::emptyEditsStillRecordUndoSteps_data()
{
    QTest::addColumn<bool>("insert");
    QTest::addRow("delete from 5 to 5") << false;
    QTest::addRow("insert nothing at 3") << true;
}

void TestVeskDocument::emptyEditsStillRecordUndoSteps()
{
    QFETCH(bool, insert);
    VeskDocument doc(QStringLiteral("hello world"));
    if (insert) {
        doc.insert(QString(), 3);
    } else {
        doc.deleteRange(5, 5);
    }
    QCOMPARE(doc.text(), QStringLiteral("hello world"));
    QCOMPARE(qsizetype(doc.undoStack().size()), 1);
}

void TestVeskDocument::announcesBeforeStoring()
{
    VeskDocument doc(QStringLiteral("one\ntwo"));
    QStringList seenTexts;
    connect(&doc, &VeskDocument::willChange, this, [&] { seenTexts.append(doc.text()); });
    doc.addUserEditedLine(0);
    doc.insert(QStringLiteral("!"), 3);
    // Root, then the modified lines (the removal marks stay as they were): each announced while
    // the old value stands.
    QCOMPARE(seenTexts.size(), 2);
    QCOMPARE(seenTexts[0], QStringLiteral("one\ntwo"));
    QCOMPARE(seenTexts[1], QStringLiteral("one!\ntwo"));
    QCOMPARE(doc.modifiedLines(), QSet<qint64>{0});
}

void TestVeskDocument::deleteJoinsCarriageReturnAndLineFeed()
{
    VeskDocument doc(QStringLiteral("a\rX\nb"));
    QCOMPARE(doc.length(), 5);
    QCOMPARE(doc.lineCount(), 2);
    doc.deleteRange(2, 3);
    QCOMPARE(doc.text(), QStringLiteral("a\r\nb"));
    QCOMPARE(doc.length(), 3);
    QCOMPARE(doc.lineCount(), 2);
    QCOMPARE(doc.lineInfo(1).offset, 2);
    doc.undo();
    QCOMPARE(doc.length(), 5);
    QCOMPARE(doc.line(0), QStringLiteral("a\rX"));
}

void TestVeskDocument::deleteRangeOutsideText_data()
{
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<QString>("expected");

    QTest::addRow("inverted range") << 4LL << 2LL << QStringLiteral("abcdef");
    QTest::addRow("starts before the text") << -5LL << 2LL << QStringLiteral("cdef");
    QTest::addRow("ends past the text") << 4LL << 99LL << QStringLiteral("abcd");
    QTest::addRow("wholly past the text") << 10LL << 12LL << QStringLiteral("abcdef");
}

void TestVeskDocument::deleteRangeOutsideText()
{
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(QString, expected);
    VeskDocument doc(QStringLiteral("abcdef"));
    doc.deleteRange(from, to);
    QCOMPARE(doc.text(), expected);
}

void TestVeskDocument::splitLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<qint64>>("paragraphBreaks");

    QTest::addRow("empty text is one empty line") << QString() << QStringList{QString()} << QList<qint64>{};
    QTest::addRow("ends in paragraph separator")
        << QStringLiteral("a\u2029") << QStringList{QStringLiteral("a"), QString()} << QList<qint64>{0};
    QTest::addRow("all four breaks")
        << QStringLiteral("a\nb\r\nc\u2028d\u2029e")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                       QStringLiteral("e")}
        << QList<qint64>{3};
    QTest::addRow("lone CR stays") << QStringLiteral("\r\r\n\r")
                                   << QStringList{QStringLiteral("\r"), QStringLiteral("\r")} << QList<qint64>{};
}

void TestVeskDocument::splitLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QFETCH(QList<qint64>, paragraphBreaks);

    const SplitLines split = VeskDocument::splitLines(text);
    QCOMPARE(split.lines, lines);
    QCOMPARE(split.paragraphBreaks, QSet<qint64>(paragraphBreaks.begin(), paragraphBreaks.end()));

    VeskDocument doc(text);
    QCOMPARE(doc.cachedLines(), lines);
    QCOMPARE(doc.paragraphBreaks(), split.paragraphBreaks);
    for (qint64 line = 0; line <= lines.size(); ++line) {
        const qint64 before = std::count_if(paragraphBreaks.begin(), paragraphBreaks.end(),
                                            [line](qint64 p) { return p < line; });
        QCOMPARE(doc.paragraphBreaksBefore(line), before);
    }
}

QTEST_GUILESS_MAIN(TestVeskDocument)
#include "tst_vesk_document.moc"
