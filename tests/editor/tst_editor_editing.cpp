#include "editor_test_util.h"

using namespace vesk;
using namespace vesk::test;

namespace {

EditorKeyEvent key(quint16 code, quint64 modifiers = 0, const QString &characters = {})
{
    return EditorKeyEvent{code, modifiers, characters, characters.toLower()};
}

} // namespace

class TestEditorEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editsAtCarets_data();
    void editsAtCarets();
    void keyTable_data();
    void keyTable();
    void selections_data();
    void selections();
    void keysNeedAnOpenFile();
    void typingMarksOnlyEditedLines();

private:
    QTemporaryDir m_dir;
};

void TestEditorEditing::editsAtCarets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("expectedCursors");
    QTest::addColumn<QList<qint64>>("edited");

    QTest::addRow("typing at two carets, last first") << "l0\nl1\nabcdef" << "2:4 2:1" << "type:x" << "l0\nl1\naxbcdxef"
                                                      << "2:6 2:2" << QList<qint64>{2};
    QTest::addRow("two carets at one place type twice") << "ab" << "0:1 0:1" << "type:x" << "axxb" << "0:3 0:3"
                                                        << QList<qint64>{0};
    QTest::addRow("paste of three lines") << "0\n1\n2\n3\n4\nabcdef\n6" << "5:3" << "type:a\nb\nc"
                                          << "0\n1\n2\n3\n4\nabca\nb\ncdef\n6" << "7:1" << QList<qint64>{5, 6, 7};
    QTest::addRow("paste moves carets on later lines down")
        << "ab\ncd\nef" << "0:1 2:1" << "type:X\nY" << "aX\nYb\ncd\neX\nYf" << "1:1 4:1" << QList<qint64>{0, 1, 2, 3};
    QTest::addRow("paste with CR LF breaks") << "ab" << "0:1" << "type:1\r\n2" << "a1\r\n2b" << "1:1"
                                             << QList<qint64>{0, 1};
    QTest::addRow("backspace joins a line, the other caret follows")
        << "x\nabc\nhello world" << "2:5 2:0" << "backspace" << "x\nabchell world" << "1:7 1:3" << QList<qint64>{1, 2};
    QTest::addRow("backspace at the start does nothing") << "abc" << "0:0" << "backspace" << "abc" << "0:0"
                                                         << QList<qint64>{};
    QTest::addRow("backspace removes CR LF as one character") << "ab\r\ncd" << "1:0" << "backspace" << "abcd"
                                                              << "0:2" << QList<qint64>{0, 1};
    QTest::addRow("backspace removes a whole emoji")
        << QStringLiteral("a\U0001F44D\U0001F3FDb") << "0:2" << "backspace" << "ab" << "0:1" << QList<qint64>{0};
    QTest::addRow("backspace on a caret past its line end") << "abc\nd" << "0:9" << "backspace" << "ab\nd" << "0:2"
                                                            << QList<qint64>{0};
    QTest::addRow("forward delete joins the next line") << "abc\nde\nfgh" << "0:3 1:1" << "delete" << "abcd\nfgh"
                                                        << "0:3 0:4" << QList<qint64>{0, 1};
    QTest::addRow("forward delete at the end does nothing") << "ab\ncd" << "1:2" << "delete" << "ab\ncd" << "1:2"
                                                            << QList<qint64>{};
    QTest::addRow("forward delete shifts a caret behind it") << "abcd" << "0:3 0:1" << "delete" << "ac" << "0:2 0:1"
                                                             << QList<qint64>{0};
    QTest::addRow("carets on missing lines are skipped") << "ab" << "4:0 0:1" << "type:z" << "azb" << "4:0 0:2"
                                                         << QList<qint64>{0};
}

void TestEditorEditing::editsAtCarets()
{
    QFETCH(QString, text);
    QFETCH(QString, cursors);
    QFETCH(QString, action);
    QFETCH(QString, expectedText);
    QFETCH(QString, expectedCursors);
    QFETCH(QList<qint64>, edited);
    EditorViewModel editor;
    openText(editor, m_dir, text);
    editor.setCursors(parseCursors(cursors));
    const qsizetype undoBefore = editor.document()->undoStack().size();
    if (action.startsWith(u"type:")) {
        editor.insertAtCursors(action.mid(5));
    } else if (action == u"backspace") {
        editor.deleteAtCursors();
    } else {
        editor.deleteForwardAtCursors();
    }
    QCOMPARE(editor.document()->text(), expectedText);
    QCOMPARE(describeCursors(editor.cursors()), expectedCursors);
    QCOMPARE(sortedLines(editor.document()->userEditedLines()), edited);
    // One undo step per edited caret; undoing them all restores the text.
    while (qsizetype(editor.document()->undoStack().size()) > undoBefore) {
        editor.document()->undo();
    }
    QCOMPARE(editor.document()->text(), text);
}

void TestEditorEditing::keyTable_data()
{
    using namespace KeyCode;
    using namespace KeyModifier;
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<EditorKeyEvent>("event");
    QTest::addColumn<bool>("handled");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("expectedCursors");

    const QString text = QStringLiteral("hello world\r\nsecond line");
    QTest::addRow("return replaces the selection") << "0:4[0:1]" << key(Return) << true << "h\no world\r\nsecond line"
                                                   << "1:0";
    QTest::addRow("return with an empty selection only drops it")
        << "0:5[0:5]" << key(KeypadEnter, Shift) << true << "hello\n world\r\nsecond line" << "1:0";
    QTest::addRow("tab inserts one tab") << "1:0" << key(Tab, Command) << true << "hello world\r\n\tsecond line" << "1:1";
    QTest::addRow("backspace with a selection removes only it")
        << "0:3[0:1]" << key(Delete) << true << "hlo world\r\nsecond line" << "0:1";
    QTest::addRow("forward delete without a selection") << "0:0" << key(ForwardDelete) << true
                                                        << "ello world\r\nsecond line" << "0:0";
    QTest::addRow("option left moves by word, shift extends") << "1:9" << key(LeftArrow, Option | Shift) << true << text
                                                              << "1:7[1:9]";
    QTest::addRow("command left goes to the line start") << "1:9" << key(LeftArrow, Command) << true << text << "1:0";
    QTest::addRow("command right goes to the line end") << "0:2" << key(RightArrow, Command | Shift) << true << text
                                                        << "0:11[0:2]";
    QTest::addRow("option right wins over command") << "0:0" << key(RightArrow, Command | Option) << true << text
                                                    << "0:6";
    QTest::addRow("command option down adds a caret") << "0:3" << key(DownArrow, Command | Option) << true << text
                                                      << "0:3 1:3";
    QTest::addRow("option up alone moves") << "1:3" << key(UpArrow, Option) << true << text << "0:3";
    QTest::addRow("typing replaces the selection") << "0:11[0:6]" << key(Other, 0, QStringLiteral("é")) << true
                                                   << "hello é\r\nsecond line" << "0:7";
    QTest::addRow("option letters are text") << "0:0" << key(Other, Option, QStringLiteral("\u00B4")) << true
                                             << "\u00B4hello world\r\nsecond line" << "0:1";
    QTest::addRow("command letters are not ours") << "0:3[0:0]" << key(Other, Command, "z") << false << text
                                                  << "0:3[0:0]";
    QTest::addRow("control letters are not ours") << "0:0" << key(Other, Control, "a") << false << text << "0:0";
    QTest::addRow("escape is not text") << "0:0" << key(Escape, 0, "\x1b") << false << text << "0:0";
    QTest::addRow("function keys are not text") << "0:0" << key(Other, 0, QStringLiteral("\uF704")) << false << text
                                                << "0:0";
    QTest::addRow("delete character is not text") << "0:0" << key(Other, 0, "\x7f") << false << text << "0:0";
    QTest::addRow("a key without text") << "0:0" << key(Home) << false << text << "0:0";
}

void TestEditorEditing::keyTable()
{
    QFETCH(QString, cursors);
    QFETCH(EditorKeyEvent, event);
    QFETCH(bool, handled);
    QFETCH(QString, expectedText);
    QFETCH(QString, expectedCursors);
    EditorViewModel editor;
    openText(editor, m_dir, QStringLiteral("hello world\r\nsecond line"));
    editor.setCursors(parseCursors(cursors));
    QCOMPARE(editor.handleKeyEvent(event), handled);
    QCOMPARE(editor.document()->text(), expectedText);
    QCOMPARE(describeCursors(editor.cursors()), expectedCursors);
}

void TestEditorEditing::selections_data()
{
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<std::optional<QString>>("selected");
    QTest::addColumn<QString>("afterDelete");
    QTest::addColumn<QString>("caretAfter");

    QTest::addRow("caret before the anchor") << "0:1[0:4] 1:1" << std::optional<QString>("bcd") << "ae\r\nfg\u2028hi"
                                             << "0:1";
    QTest::addRow("breaks come out as line feeds") << "2:1[0:3]" << std::optional<QString>("de\nfg\nh") << "abci"
                                                   << "0:3";
    QTest::addRow("ends past a line are clamped") << "1:40[0:9]" << std::optional<QString>("\nfg") << "abcde\u2028hi"
                                                  << "0:5";
    QTest::addRow("ending at a line start") << "1:0[0:2]" << std::optional<QString>("cde\n") << "abfg\u2028hi"
                                            << "0:2";
    QTest::addRow("anchor past the text") << "0:0[7:0]" << std::optional<QString>() << "abcde\r\nfg\u2028hi"
                                          << "0:0[7:0]";
    QTest::addRow("no anchor") << "1:1" << std::optional<QString>() << "abcde\r\nfg\u2028hi" << "1:1";
    QTest::addRow("other carets' selections do not count") << "0:0 0:1[0:3]" << std::optional<QString>()
                                                           << "abcde\r\nfg\u2028hi" << "0:0 0:1[0:3]";
}

void TestEditorEditing::selections()
{
    QFETCH(QString, cursors);
    QFETCH(std::optional<QString>, selected);
    QFETCH(QString, afterDelete);
    QFETCH(QString, caretAfter);
    EditorViewModel editor;
    openText(editor, m_dir, QStringLiteral("abcde\r\nfg\u2028hi"));
    editor.setCursors(parseCursors(cursors));
    QCOMPARE(editor.selectedText(), selected);
    QCOMPARE(editor.deleteSelection(), selected);
    QCOMPARE(editor.document()->text(), afterDelete);
    QCOMPARE(describeCursors(editor.cursors()), caretAfter);
}

void TestEditorEditing::keysNeedAnOpenFile()
{
    EditorViewModel editor;
    QVERIFY(!editor.handleKeyEvent(key(KeyCode::Other, 0, "x")));
    QVERIFY(!editor.handleKeyEvent(key(KeyCode::Return)));
    QCOMPARE(editor.document()->text(), QString());
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("0:0"));
}

void TestEditorEditing::typingMarksOnlyEditedLines()
{
    QString text;
    for (int i = 0; i < 50; ++i) {
        text += QStringLiteral("line %1\n").arg(i);
    }
    EditorViewModel editor;
    openText(editor, m_dir, text);
    editor.setCursors(parseCursors(QStringLiteral("3:0 10:2 40:6")));
    editor.insertAtCursors(QStringLiteral("x"));
    QCOMPARE(sortedLines(editor.document()->modifiedLines()), (QList<qint64>{3, 10, 40}));
    editor.deleteAtCursors();
    QCOMPARE(editor.document()->text(), text);
    QCOMPARE(sortedLines(editor.document()->modifiedLines()), QList<qint64>{});
}

QTEST_GUILESS_MAIN(TestEditorEditing)
#include "tst_editor_editing.moc"
