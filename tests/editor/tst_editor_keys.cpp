#include "editor/editor_key_router.h"
#include "editor/ui/key_translation.h"
#include "editor_test_util.h"

#include <QKeyEvent>

using namespace vesk;
using namespace vesk::test;
using namespace vesk::KeyCode;
using namespace vesk::KeyModifier;

namespace {

struct Translation
{
    KeyboardConvention convention;
    int key, modifiers;
    quint32 nativeKey;
    QString text;
    int keyCode;
    quint64 flags;
    QString base;
};

struct Route
{
    // "word": the first word selected; "search": a text field has focus; "patch": the panel shows;
    // "closed": no file open
    QString setup;
    EditorKeyEvent event;
    bool used;
    QString text, clipboard;  // afterwards; the clipboard starts as "CLIP"
};

class MemoryClipboard : public TextClipboard
{
public:
    std::optional<QString> text = QStringLiteral("CLIP");
    std::optional<QString> plainText() const override { return text; }
    void setPlainText(const QString &value) override { text = value; }
};

} // namespace

class TestEditorKeys : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translation_data();
    void translation();
    void routes_data();
    void routes();

private:
    QTemporaryDir m_dir;
};

void TestEditorKeys::translation_data()
{
    QTest::addColumn<Translation>("c");
    const auto mac = KeyboardConvention::Mac;
    const auto other = KeyboardConvention::Other;
    const int ctrl = Qt::ControlModifier;
    const int alt = Qt::AltModifier;
    const int shift = Qt::ShiftModifier;
    const int meta = Qt::MetaModifier;
    using T = Translation;
    QTest::addRow("mac: Qt's Control is Command") << T{mac, Qt::Key_Left, ctrl, 123, "", 123, Command, ""};
    QTest::addRow("mac: Qt's Meta is Control, the base is the letter")
        << T{mac, Qt::Key_A, meta, 0, "\x01", 0, Control, "a"};
    QTest::addRow("mac: option shift and the native code")
        << T{mac, Qt::Key_Down, alt | shift | ctrl, 125, "", 125, Option | Shift | Command, ""};
    QTest::addRow("mac: text passes") << T{mac, Qt::Key_E, alt, 14, "\u00B4", 14, Option, "e"};
    QTest::addRow("return") << T{other, Qt::Key_Return, 0, 0, "\r", Return, 0, ""};
    QTest::addRow("keypad enter") << T{other, Qt::Key_Enter, Qt::KeypadModifier, 0, "\r", KeypadEnter, 0, ""};
    QTest::addRow("shift tab is tab") << T{other, Qt::Key_Backtab, shift, 0, "", Tab, Shift, ""};
    QTest::addRow("backspace") << T{other, Qt::Key_Backspace, 0, 0, "\b", Delete, 0, ""};
    QTest::addRow("delete is forward delete") << T{other, Qt::Key_Delete, 0, 0, "\x7f", ForwardDelete, 0, ""};
    QTest::addRow("ctrl left is a word move") << T{other, Qt::Key_Left, ctrl, 0, "", LeftArrow, Option, ""};
    QTest::addRow("ctrl shift right extends by word")
        << T{other, Qt::Key_Right, ctrl | shift, 0, "", RightArrow, Option | Shift, ""};
    QTest::addRow("home is the line start") << T{other, Qt::Key_Home, alt, 0, "", LeftArrow, Command, ""};
    QTest::addRow("shift end extends to the line end")
        << T{other, Qt::Key_End, shift, 0, "", RightArrow, Command | Shift, ""};
    QTest::addRow("ctrl home is left alone") << T{other, Qt::Key_Home, ctrl, 0, "", Home, Command, ""};
    QTest::addRow("ctrl alt down adds a caret")
        << T{other, Qt::Key_Down, ctrl | alt, 0, "", DownArrow, Command | Option, ""};
    QTest::addRow("super is control") << T{other, Qt::Key_X, meta, 0, "x", Other, Control, "x"};
    QTest::addRow("ctrl shift z reads z") << T{other, Qt::Key_Z, ctrl | shift, 0, "\x1a", Other, Command | Shift, "z"};
    QTest::addRow("shifted letter is lower-cased") << T{other, Qt::Key_V, shift, 0, "V", Other, Shift, "v"};
}

void TestEditorKeys::translation()
{
    QFETCH(Translation, c);
    const QKeyEvent event(QEvent::KeyPress, c.key, Qt::KeyboardModifiers(c.modifiers), 0, c.nativeKey, 0, c.text);
    const EditorKeyEvent translated = editorKeyEvent(event, c.convention);
    QCOMPARE(int(translated.keyCode), c.keyCode);
    QCOMPARE(translated.modifierFlags, c.flags);
    QCOMPARE(translated.characters, c.text);
    QCOMPARE(translated.charactersIgnoringModifiers, c.base);
}

void TestEditorKeys::routes_data()
{
    QTest::addColumn<Route>("c");
    const auto command = [](const char *letter) { return key(Other, Command, QString::fromLatin1(letter)); };
    const EditorKeyEvent q = key(Other, 0, QStringLiteral("q"));
    QTest::addRow("copy selection") << Route{"word", command("c"), true, "hello world", "hello"};
    QTest::addRow("copy without selection keeps clipboard") << Route{"", command("c"), true, "hello world", "CLIP"};
    QTest::addRow("cut") << Route{"word", command("x"), true, " world", "hello"};
    QTest::addRow("paste replaces selection") << Route{"word", command("v"), true, "CLIP world", "CLIP"};
    QTest::addRow("select all") << Route{"", command("a"), true, "hello world", "CLIP"};
    QTest::addRow("menu shortcut passes on") << Route{"", command("s"), false, "hello world", "CLIP"};
    QTest::addRow("typing reaches the editor") << Route{"", q, true, "qhello world", "CLIP"};
    QTest::addRow("search field keeps its keys") << Route{"search", q, false, "hello world", "CLIP"};
    QTest::addRow("search field keeps paste too") << Route{"word search", command("v"), false, "hello world", "CLIP"};
    QTest::addRow("patch panel keeps typing") << Route{"patch", q, false, "hello world", "CLIP"};
    QTest::addRow("patch panel leaves paste") << Route{"patch", command("v"), true, "CLIPhello world", "CLIP"};
    QTest::addRow("no file: typing is not used") << Route{"closed", q, false, "", "CLIP"};
    QTest::addRow("no file: select all is not used") << Route{"closed", command("a"), false, "", "CLIP"};
    QTest::addRow("command arrow moves the caret") << Route{"", key(RightArrow, Command), true, "hello world", "CLIP"};
}

void TestEditorKeys::routes()
{
    QFETCH(Route, c);
    MemoryClipboard board;
    const KeyRoutingContext context{c.setup.contains(u"search"), c.setup.contains(u"patch")};
    QVERIFY(!routeKeyToEditor(c.event, nullptr, context, board));
    EditorViewModel editor;
    if (!c.setup.contains(u"closed")) {
        openText(editor, m_dir, QStringLiteral("hello world"));
    }
    if (c.setup.contains(u"word")) {
        editor.selectWord(0, 1);
    }
    QCOMPARE(routeKeyToEditor(c.event, &editor, context, board), c.used);
    QCOMPARE(editor.document()->text(), c.text);
    QCOMPARE(board.text.value_or(QString()), c.clipboard);
    if (c.event.keyCode == RightArrow) {
        QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("0:11"));
    } else if (c.event.charactersIgnoringModifiers == u"a") {
        QCOMPARE(editor.selectedText().value_or(QString()), c.text);
    }
}

QTEST_MAIN(TestEditorKeys)
#include "tst_editor_keys.moc"
