#include "editor_test_util.h"

#include <QSignalSpy>

using namespace vesk;
using namespace vesk::test;

class TestEditorCarets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void moves_data();
    void moves();
    void selectWord_data();
    void selectWord();
    void goToLineClampsAndFlashes();
    void addingCarets_data();
    void addingCarets();
    void cursorIndicesLastFirst();
    void selectAllAndClamp();

private:
    QTemporaryDir m_dir;
};

void TestEditorCarets::moves_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<QString>("ops");  // comma-separated; a trailing "+" extends
    QTest::addColumn<QString>("expected");

    const QString five = QStringLiteral("l0\nl1\n0123456789abcdefghij\nabc\n0123456789abcd");
    QTest::addRow("left at column 0 goes to the end of the line above") << five << "3:0" << "left" << "2:20";
    QTest::addRow("left at the start stays") << five << "0:0" << "left" << "0:0";
    QTest::addRow("right at the end of the text stays") << five << "4:14" << "right" << "4:14";
    QTest::addRow("right at a line end wraps") << five << "3:3" << "right" << "4:0";
    QTest::addRow("no goal column through a short line") << five << "4:12" << "up,up" << "2:3";
    QTest::addRow("up on the first line keeps the column") << five << "0:1" << "up" << "0:1";
    QTest::addRow("down on the last line stays") << five << "4:2" << "down" << "4:2";
    QTest::addRow("line start and end") << five << "2:5 3:1" << "lineEnd" << "2:20 3:3";
    QTest::addRow("word right skips punctuation and spaces") << "foo.bar  baz" << "0:0" << "wordRight" << "0:9";
    QTest::addRow("word left treats the period as part of the word") << "foo.bar  baz" << "0:9" << "wordLeft" << "0:0";
    QTest::addRow("word left at column 0 goes up") << "ab cd\nx" << "1:0" << "wordLeft" << "0:5";
    QTest::addRow("word right at a line end goes down") << "ab\ncd" << "0:2" << "wordRight" << "1:0";
    QTest::addRow("word moves stop at unicode white space")
        << QStringLiteral("ab\u3000cd\u00A0ef") << "0:0" << "wordRight,wordRight" << "0:6";
    QTest::addRow("a family emoji is one character")
        << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467 ab") << "0:0" << "wordRight,right" << "0:3";
    QTest::addRow("caret past the text keeps its anchor on word moves") << "ab" << "5:0[0:1]" << "wordRight"
                                                                         << "5:0[0:1]";
    QTest::addRow("shifted move starts a selection") << "abcd" << "0:1" << "right+" << "0:2[0:1]";
    QTest::addRow("shifted move keeps an existing anchor") << "abcd" << "0:3[0:0]" << "left+,left+" << "0:1[0:0]";
    QTest::addRow("plain move drops the selection without jumping") << "abcd" << "0:3[0:0]" << "left" << "0:2";
    QTest::addRow("carets that meet stay two") << "abcd\nefgh" << "1:1 1:3" << "lineStart" << "1:0 1:0";
}

void TestEditorCarets::moves()
{
    QFETCH(QString, text);
    QFETCH(QString, cursors);
    QFETCH(QString, ops);
    QFETCH(QString, expected);
    EditorViewModel editor;
    openText(editor, m_dir, text);
    editor.setCursors(parseCursors(cursors));
    const QHash<QString, void (EditorViewModel::*)(bool)> moves{
        {"left", &EditorViewModel::moveCursorsLeft},          {"right", &EditorViewModel::moveCursorsRight},
        {"up", &EditorViewModel::moveCursorsUp},              {"down", &EditorViewModel::moveCursorsDown},
        {"lineStart", &EditorViewModel::moveCursorsToLineStart}, {"lineEnd", &EditorViewModel::moveCursorsToLineEnd},
        {"wordLeft", &EditorViewModel::moveCursorsWordLeft},  {"wordRight", &EditorViewModel::moveCursorsWordRight},
    };
    for (QString op : ops.split(u',')) {
        const bool extending = op.endsWith(u'+');
        op.remove(u'+');
        QVERIFY2(moves.contains(op), qPrintable(op));
        (editor.*moves[op])(extending);
    }
    QCOMPARE(describeCursors(editor.cursors()), expected);
}

void TestEditorCarets::selectWord_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("expected");
    QTest::addRow("second of two spaces") << "foo  bar" << 4 << "0:5[0:4]";
    QTest::addRow("first space after a word selects the word") << "foo  bar" << 3 << "0:3[0:0]";
    QTest::addRow("underscore and digits belong to the word") << "x foo_bar1 y" << 6 << "0:10[0:2]";
    QTest::addRow("parenthesis after a call") << "call(x)" << 4 << "0:4[0:0]";
    QTest::addRow("combining accents and other scripts") << QStringLiteral("caf\u0065\u0301 \u65E5\u672C\u8A9E") << 6
                                                         << "0:8[0:5]";
    QTest::addRow("a letter with a combining accent") << QStringLiteral("caf\u0065\u0301!") << 3 << "0:4[0:0]";
    QTest::addRow("column past the end is the last character") << "(ab" << 40 << "0:3[0:1]";
    QTest::addRow("punctuation alone") << "a + b" << 2 << "0:3[0:2]";
    QTest::addRow("empty line selects nothing") << "" << 0 << "0:0";
}

void TestEditorCarets::selectWord()
{
    QFETCH(QString, line);
    QFETCH(int, column);
    QFETCH(QString, expected);
    EditorViewModel editor;
    openText(editor, m_dir, line);
    editor.selectWord(0, column);
    QCOMPARE(describeCursors(editor.cursors()), expected);
    editor.selectWord(3, 0);  // beyond the text: nothing happens
    QCOMPARE(describeCursors(editor.cursors()), expected);
}

void TestEditorCarets::goToLineClampsAndFlashes()
{
    EditorViewModel editor;
    openText(editor, m_dir, QStringLiteral("ab\ncdef\ng"));
    editor.setCursors(parseCursors(QStringLiteral("1:1 2:0[0:0]")));
    editor.goToLine(-3, 5);
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("0:2"));
    QCOMPARE(editor.minimapScrollTarget(), std::optional<qint64>(0));
    QCOMPARE(editor.highlightLine(), std::optional<qint64>(0));
    QTRY_COMPARE(editor.highlightLine(), std::optional<qint64>());

    editor.goToLine(99, 2);
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("2:1"));
    QCOMPARE(editor.highlightLine(), std::optional<qint64>(2));
    QSignalSpy spy(&editor, &EditorViewModel::willChange);
    QTRY_COMPARE(editor.highlightLine(), std::optional<qint64>());
    QVERIFY(spy.count() >= 1);  // the flash ends with an announcement
}

void TestEditorCarets::addingCarets_data()
{
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("expected");
    QTest::addRow("above the topmost, column clamped") << "5:9 3:9" << "above" << "5:9 3:9 2:3";
    QTest::addRow("above line 0 does nothing") << "0:1 4:0" << "above" << "0:1 4:0";
    QTest::addRow("below the bottommost") << "1:2 3:1" << "below" << "1:2 3:1 4:1";
    QTest::addRow("below the last line does nothing") << "6:0" << "below" << "6:0";
    QTest::addRow("adding where a caret is does nothing") << "2:1 2:3" << "at 2:3" << "2:1 2:3";
    QTest::addRow("adding elsewhere appends") << "2:1" << "at 0:0" << "2:1 0:0";
}

void TestEditorCarets::addingCarets()
{
    QFETCH(QString, cursors);
    QFETCH(QString, op);
    QFETCH(QString, expected);
    EditorViewModel editor;
    openText(editor, m_dir, QStringLiteral("0\n1\nabc\n333333333\n4444\n5555555555\n6"));
    editor.setCursors(parseCursors(cursors));
    if (op == u"above") {
        editor.addCursorAbove();
    } else if (op == u"below") {
        editor.addCursorBelow();
    } else {
        const TextCursor at = parseCursors(op.mid(3)).first();
        editor.addCursor(at.line, at.column);
    }
    QCOMPARE(describeCursors(editor.cursors()), expected);
    QVERIFY(editor.cursors().size() < 2 || editor.cursors().first().id != editor.cursors().last().id);
}

void TestEditorCarets::cursorIndicesLastFirst()
{
    EditorViewModel editor;
    editor.setCursors(parseCursors(QStringLiteral("2:4 2:9 0:0 2:9 3:0")));
    QCOMPARE(editor.cursorIndicesLastFirst(), (QList<qsizetype>{4, 1, 3, 0, 2}));
}

void TestEditorCarets::selectAllAndClamp()
{
    EditorViewModel editor;
    editor.selectAll();
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("0:0[0:0]"));
    openText(editor, m_dir, QStringLiteral("ab\ncd\u0301e"));
    editor.selectAll();
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("1:3[0:0]"));
    QCOMPARE(editor.selectedText(), std::optional<QString>(QStringLiteral("ab\ncd\u0301e")));

    editor.setCursors(parseCursors(QStringLiteral("1:3[1:0] 0:1")));
    editor.document()->deleteRange(1, 6);
    editor.clampCursors();
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("0:1[1:0] 0:1"));  // anchors stay
}

QTEST_GUILESS_MAIN(TestEditorCarets)
#include "tst_editor_carets.moc"
