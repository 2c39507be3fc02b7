#include "editor_test_util.h"

#include <QSignalSpy>

using namespace vesk;
using namespace vesk::test;
using namespace vesk::KeyCode;
using namespace vesk::KeyModifier;

namespace {

struct Carets
{
    QString text, cursors;
    QString ops;  // comma-separated: a move ("+" extends), "above", "below", "all", "add L:C" or "word L:C"
    QString expected;
};
struct Edit
{
    QString text, cursors, action, textAfter, cursorsAfter;
    QList<qint64> edited;
};
struct Key
{
    QString cursors;
    EditorKeyEvent event;
    bool handled;
    QString textAfter, cursorsAfter;
};
struct Selection
{
    QString cursors;
    std::optional<QString> selected;
    QString textAfterDelete, cursorsAfter;
};

} // namespace

class TestEditorEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void carets_data();
    void carets();
    void goToLineClampsAndFlashes();
    void editsAtCarets_data();
    void editsAtCarets();
    void keyTable_data();
    void keyTable();
    void selections_data();
    void selections();

private:
    QTemporaryDir m_dir;
};

void TestEditorEditing::carets_data()
{
    QTest::addColumn<Carets>("c");
    const QString five = QStringLiteral("l0\nl1\n0123456789abcdefghij\nabc\n0123456789abcd");
    QTest::addRow("left at column 0 goes to the end of the line above") << Carets{five, "3:0", "left", "2:20"};
    QTest::addRow("left at the start stays") << Carets{five, "0:0", "left", "0:0"};
    QTest::addRow("right at the end of the text stays") << Carets{five, "4:14", "right", "4:14"};
    QTest::addRow("right at a line end wraps") << Carets{five, "3:3", "right", "4:0"};
    QTest::addRow("goal column through a short line") << Carets{five, "4:12", "up,up", "2:12"};
    QTest::addRow("up on the first line keeps the column") << Carets{five, "0:1", "up", "0:1"};
    QTest::addRow("down on the last line stays") << Carets{five, "4:2", "down", "4:2"};
    QTest::addRow("line end") << Carets{five, "2:5 3:1", "lineEnd", "2:20 3:3"};
    QTest::addRow("word right skips punctuation and spaces") << Carets{"foo.bar  baz", "0:0", "wordRight", "0:9"};
    QTest::addRow("word left keeps the period in the word") << Carets{"foo.bar  baz", "0:9", "wordLeft", "0:0"};
    QTest::addRow("word left at column 0 goes up") << Carets{"ab cd\nx", "1:0", "wordLeft", "0:5"};
    QTest::addRow("word right at a line end goes down") << Carets{"ab\ncd", "0:2", "wordRight", "1:0"};
    QTest::addRow("word moves stop at unicode white space")
        << Carets{"ab\u3000cd\u00A0ef", "0:0", "wordRight,wordRight", "0:6"};
    QTest::addRow("a family emoji is one character")
        << Carets{"\U0001F468\u200D\U0001F469\u200D\U0001F467 ab", "0:0", "wordRight,right", "0:3"};
    QTest::addRow("a caret past the text keeps its anchor") << Carets{"ab", "5:0[0:1]", "wordRight", "5:0[0:1]"};
    QTest::addRow("shifted move starts a selection") << Carets{"abcd", "0:1", "right+", "0:2[0:1]"};
    QTest::addRow("shifted move keeps an existing anchor") << Carets{"abcd", "0:3[0:0]", "left+,left+", "0:1[0:0]"};
    QTest::addRow("plain move drops the selection without jumping") << Carets{"abcd", "0:3[0:0]", "left", "0:2"};
    QTest::addRow("select all ends after the last character") << Carets{"ab\ncd\u0301e", "1:0 0:1", "all", "1:3[0:0]"};
    QTest::addRow("carets that meet stay two") << Carets{"abcd\nefgh", "1:1 1:3", "lineStart", "1:0 1:0"};
    QTest::addRow("word: second of two spaces") << Carets{"foo  bar", "0:0", "word 0:4", "0:5[0:4]"};
    QTest::addRow("word: a space after a word selects it") << Carets{"foo  bar", "0:0", "word 0:3", "0:3[0:0]"};
    QTest::addRow("word: underscore and digits belong to it") << Carets{"x foo_bar1 y", "0:0", "word 0:6", "0:10[0:2]"};
    QTest::addRow("word: parenthesis after a call") << Carets{"call(x)", "0:0", "word 0:4", "0:4[0:0]"};
    QTest::addRow("word: columns count characters")
        << Carets{"caf\u0065\u0301 \u65E5\u672C\u8A9E", "0:0", "word 0:6", "0:8[0:5]"};
    QTest::addRow("word: an accented letter") << Carets{"caf\u0065\u0301!", "0:0", "word 0:3", "0:4[0:0]"};
    QTest::addRow("word: column past the end is the last character") << Carets{"(ab", "0:0", "word 0:40", "0:3[0:1]"};
    QTest::addRow("word: punctuation alone") << Carets{"a + b", "0:0", "word 0:2", "0:3[0:2]"};
    QTest::addRow("word: empty line selects nothing") << Carets{"", "0:0", "word 0:0", "0:0"};
    QTest::addRow("word: beyond the text does nothing") << Carets{"foo", "0:3[0:0]", "word 3:0", "0:3[0:0]"};
    const QString ladder = QStringLiteral("0\n1\nabc\n333333333\n4444\n5555555555\n6");
    QTest::addRow("add above the topmost, column clamped") << Carets{ladder, "5:9 3:9", "above", "5:9 3:9 2:3"};
    QTest::addRow("add above line 0 does nothing") << Carets{ladder, "0:1 4:0", "above", "0:1 4:0"};
    QTest::addRow("add below the bottommost") << Carets{ladder, "1:2 3:1", "below", "1:2 3:1 4:1"};
    QTest::addRow("add below the last line does nothing") << Carets{ladder, "6:0", "below", "6:0"};
    QTest::addRow("adding where a caret is does nothing") << Carets{ladder, "2:1 2:3", "add 2:3", "2:1 2:3"};
    QTest::addRow("adding elsewhere appends") << Carets{ladder, "2:1", "add 0:0", "2:1 0:0"};
}

void TestEditorEditing::carets()
{
    QFETCH(Carets, c);
    EditorViewModel editor;
    openText(editor, m_dir, c.text);
    editor.setCursors(parseCursors(c.cursors));
    const QHash<QString, void (EditorViewModel::*)(bool)> moves{
        {"left", &EditorViewModel::moveCursorsLeft},          {"right", &EditorViewModel::moveCursorsRight},
        {"up", &EditorViewModel::moveCursorsUp},              {"down", &EditorViewModel::moveCursorsDown},
        {"lineStart", &EditorViewModel::moveCursorsToLineStart}, {"lineEnd", &EditorViewModel::moveCursorsToLineEnd},
        {"wordLeft", &EditorViewModel::moveCursorsWordLeft},  {"wordRight", &EditorViewModel::moveCursorsWordRight},
    };
    for (QString op : c.ops.split(u',')) {
        const TextCursor at = parseCursors(op.section(u' ', 1)).value(0);
        if (op.startsWith(u"word ")) {
            editor.selectWord(at.line, at.column);
        } else if (op.startsWith(u"add ")) {
            editor.addCursor(at.line, at.column);
        } else if (op == u"all") {
            editor.selectAll();
        } else if (op == u"above" || op == u"below") {
            op == u"above" ? editor.addCursorAbove() : editor.addCursorBelow();
        } else {
            const bool extending = op.endsWith(u'+');
            op.remove(u'+');
            QVERIFY2(moves.contains(op), qPrintable(op));
            (editor.*moves[op])(extending);
        }
    }
    QCOMPARE(describeCursors(editor.cursors()), c.expected);
    QSet<QUuid> ids;
    for (const TextCursor &cursor : editor.cursors()) {
        ids.insert(cursor.id);
    }
    QCOMPARE(ids.size(), editor.cursors().size());
}

void TestEditorEditing::goToLineClampsAndFlashes()
{
    EditorViewModel editor;
    openText(editor, m_dir, QStringLiteral("ab\ncdef\ng"));
    editor.setCursors(parseCursors(QStringLiteral("1:1 2:0[0:0]")));
    editor.goToLine(99, 2);
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("2:1"));
    QCOMPARE(editor.minimapScrollTarget(), std::optional<qint64>(2));
    QCOMPARE(editor.highlightLine(), std::optional<qint64>(2));
    QSignalSpy spy(&editor, &EditorViewModel::willChange);
    QTRY_COMPARE(editor.highlightLine(), std::optional<qint64>());
    QVERIFY(spy.count() >= 1);  // the flash ends with an announcement
}

void TestEditorEditing::editsAtCarets_data()
{
    QTest::addColumn<Edit>("c");
    using L = QList<qint64>;
    QTest::addRow("typing at two carets, last first") << Edit{"l0\nl1\nabcdef", "2:4 2:1", "type:x", "l0\nl1\naxbcdxef",
                                                              "2:6 2:2", L{2}};
    QTest::addRow("two carets at one place type twice") << Edit{"ab", "0:1 0:1", "type:x", "axxb", "0:3 0:3", L{0}};
    QTest::addRow("paste of three lines") << Edit{"0\n1\n2\n3\n4\nabcdef\n6", "5:3", "type:a\nb\nc",
                                                  "0\n1\n2\n3\n4\nabca\nb\ncdef\n6", "7:1", L{5, 6, 7}};
    QTest::addRow("paste moves carets on later lines down")
        << Edit{"ab\ncd\nef", "0:1 2:1", "type:X\nY", "aX\nYb\ncd\neX\nYf", "1:1 4:1", L{0, 1, 2, 3}};
    QTest::addRow("paste with CR LF breaks") << Edit{"ab", "0:1", "type:1\r\n2", "a1\r\n2b", "1:1", L{0, 1}};
    QTest::addRow("backspace joins a line, the other caret follows")
        << Edit{"x\nabc\nhello world", "2:5 2:0", "backspace", "x\nabchell world", "1:7 1:3", L{1, 2}};
    QTest::addRow("backspace at the start does nothing") << Edit{"abc", "0:0", "backspace", "abc", "0:0", L{}};
    QTest::addRow("backspace removes CR LF as one character") << Edit{"ab\r\ncd", "1:0", "backspace", "abcd", "0:2",
                                                                      L{0, 1}};
    QTest::addRow("backspace removes a whole emoji")
        << Edit{"a\U0001F44D\U0001F3FDb", "0:2", "backspace", "ab", "0:1", L{0}};
    QTest::addRow("backspace on a caret past its line end") << Edit{"abc\nd", "0:9", "backspace", "ab\nd", "0:2", L{0}};
    QTest::addRow("forward delete joins the next line")
        << Edit{"abc\nde\nfgh", "0:3 1:1", "delete", "abcd\nfgh", "0:3 0:4", L{0, 1}};
    QTest::addRow("forward delete at the end does nothing") << Edit{"ab\ncd", "1:2", "delete", "ab\ncd", "1:2", L{}};
    QTest::addRow("forward delete shifts a later caret") << Edit{"abcd", "0:3 0:1", "delete", "ac", "0:2 0:1", L{0}};
    QTest::addRow("carets on missing lines are skipped") << Edit{"ab", "4:0 0:1", "type:z", "azb", "4:0 0:2", L{0}};
}

void TestEditorEditing::editsAtCarets()
{
    QFETCH(Edit, c);
    EditorViewModel editor;
    openText(editor, m_dir, c.text);
    editor.setCursors(parseCursors(c.cursors));
    const qsizetype undoBefore = editor.document()->undoStack().size();
    if (c.action.startsWith(u"type:")) {
        editor.insertAtCursors(c.action.mid(5));
    } else if (c.action == u"backspace") {
        editor.deleteAtCursors();
    } else {
        editor.deleteForwardAtCursors();
    }
    QCOMPARE(editor.document()->text(), c.textAfter);
    QCOMPARE(describeCursors(editor.cursors()), c.cursorsAfter);
    QCOMPARE(sortedLines(editor.document()->userEditedLines()), c.edited);
    // One undo step per edited caret; undoing them all restores the text.
    while (qsizetype(editor.document()->undoStack().size()) > undoBefore) {
        editor.document()->undo();
    }
    QCOMPARE(editor.document()->text(), c.text);
}

void TestEditorEditing::keyTable_data()
{
    QTest::addColumn<Key>("c");
    const QString text = QStringLiteral("hello world\r\nsecond line");
    QTest::addRow("return replaces the selection")
        << Key{"0:4[0:1]", key(Return), true, "h\no world\r\nsecond line", "1:0"};
    QTest::addRow("return with an empty selection only drops it")
        << Key{"0:5[0:5]", key(KeypadEnter, Shift), true, "hello\n world\r\nsecond line", "1:0"};
    QTest::addRow("tab inserts one tab") << Key{"1:0", key(Tab, Command), true, "hello world\r\n\tsecond line", "1:1"};
    QTest::addRow("backspace with a selection removes only it")
        << Key{"0:3[0:1]", key(Delete), true, "hlo world\r\nsecond line", "0:1"};
    QTest::addRow("forward delete without a selection")
        << Key{"0:0", key(ForwardDelete), true, "ello world\r\nsecond line", "0:0"};
    QTest::addRow("option left moves by word, shift extends") << Key{"1:9", key(LeftArrow, Option | Shift), true, text,
                                                                     "1:7[1:9]"};
    QTest::addRow("command left goes to the line start") << Key{"1:9", key(LeftArrow, Command), true, text, "1:0"};
    QTest::addRow("command right goes to the line end")
        << Key{"0:2", key(RightArrow, Command | Shift), true, text, "0:11[0:2]"};
    QTest::addRow("option right wins over command") << Key{"0:0", key(RightArrow, Command | Option), true, text, "0:6"};
    QTest::addRow("command option down adds a caret") << Key{"0:3", key(DownArrow, Command | Option), true, text,
                                                             "0:3 1:3"};
    QTest::addRow("option up alone moves") << Key{"1:3", key(UpArrow, Option), true, text, "0:3"};
    QTest::addRow("typing replaces the selection")
        << Key{"0:11[0:6]", key(Other, 0, "é"), true, "hello é\r\nsecond line", "0:7"};
    QTest::addRow("option letters are text")
        << Key{"0:0", key(Other, Option, "\u00B4"), true, "\u00B4hello world\r\nsecond line", "0:1"};
    QTest::addRow("command letters are not ours") << Key{"0:3[0:0]", key(Other, Command, "z"), false, text, "0:3[0:0]"};
    QTest::addRow("control letters are not ours") << Key{"0:0", key(Other, Control, "a"), false, text, "0:0"};
    QTest::addRow("escape is not text") << Key{"0:0", key(Escape, 0, "\x1b"), false, text, "0:0"};
    QTest::addRow("function keys are not text") << Key{"0:0", key(Other, 0, "\uF704"), false, text, "0:0"};
    QTest::addRow("delete character is not text") << Key{"0:0", key(Other, 0, "\x7f"), false, text, "0:0"};
    QTest::addRow("a key without text") << Key{"0:0", key(Other), false, text, "0:0"};
    QTest::addRow("escape with one caret and no selection is not ours") << Key{"0:4", key(Escape), false, text, "0:4"};
    QTest::addRow("home goes to the document start") << Key{"1:4", key(Home), true, text, "0:0"};
    QTest::addRow("return at a line start adds an empty line") << Key{"1:0", key(Return), true, "hello world\r\n\nsecond line", "2:0"};
}

void TestEditorEditing::keyTable()
{
    QFETCH(Key, c);
    EditorViewModel editor;
    openText(editor, m_dir, QStringLiteral("hello world\r\nsecond line"));
    editor.setCursors(parseCursors(c.cursors));
    QCOMPARE(editor.handleKeyEvent(c.event), c.handled);
    QCOMPARE(editor.document()->text(), c.textAfter);
    QCOMPARE(describeCursors(editor.cursors()), c.cursorsAfter);
}

void TestEditorEditing::selections_data()
{
    QTest::addColumn<Selection>("c");
    const QString text = QStringLiteral("abcde\r\nfg\u2028hi");
    QTest::addRow("caret before the anchor") << Selection{"0:1[0:4] 1:1", "bcd", "ae\r\nfg\u2028hi", "0:1"};
    QTest::addRow("breaks come out as line feeds") << Selection{"2:1[0:3]", "de\nfg\nh", "abci", "0:3"};
    QTest::addRow("ends past a line are clamped") << Selection{"1:40[0:9]", "\nfg", "abcde\u2028hi", "0:5"};
    QTest::addRow("ending at a line start") << Selection{"1:0[0:2]", "cde\n", "abfg\u2028hi", "0:2"};
    QTest::addRow("anchor past the text") << Selection{"0:0[7:0]", {}, text, "0:0[7:0]"};
    QTest::addRow("no anchor") << Selection{"1:1", {}, text, "1:1"};
    QTest::addRow("other carets' selections do not count") << Selection{"0:0 0:1[0:3]", {}, text, "0:0 0:1[0:3]"};
}

void TestEditorEditing::selections()
{
    QFETCH(Selection, c);
    EditorViewModel editor;
    openText(editor, m_dir, QStringLiteral("abcde\r\nfg\u2028hi"));
    editor.setCursors(parseCursors(c.cursors));
    QCOMPARE(editor.selectedText(), c.selected);
    QCOMPARE(editor.deleteSelection(), c.selected);
    QCOMPARE(editor.document()->text(), c.textAfterDelete);
    QCOMPARE(describeCursors(editor.cursors()), c.cursorsAfter);
}

QTEST_GUILESS_MAIN(TestEditorEditing)
#include "tst_editor_editing.moc"
