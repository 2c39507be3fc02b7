#include "editor/editor_key_router.h"
#include "editor/editor_view_model.h"
#include "test_support.h"

#include <QTemporaryDir>
#include <QTest>

using namespace vesk;

namespace {

class MemoryClipboard : public TextClipboard
{
public:
    std::optional<QString> text;
    std::optional<QString> plainText() const override { return text; }
    void setPlainText(const QString &value) override { text = value; }
};

EditorKeyEvent key(const QString &base, quint64 modifiers = 0, quint16 code = KeyCode::Other)
{
    EditorKeyEvent event;
    event.keyCode = code;
    event.modifierFlags = modifiers;
    event.charactersIgnoringModifiers = base;
    event.characters = modifiers & KeyModifier::Command ? QString() : base;
    return event;
}

} // namespace

Q_DECLARE_METATYPE(vesk::EditorKeyEvent)

class TestEditorKeyRouter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void routes_data();
    void routes();
    void undoAndRedoClampCarets();
    void nothingWithoutEditorOrFile();

private:
    QTemporaryDir m_dir;
};

void TestEditorKeyRouter::routes_data()
{
    QTest::addColumn<EditorKeyEvent>("event");
    QTest::addColumn<bool>("selectFirstWord");
    QTest::addColumn<bool>("inputFocused");
    QTest::addColumn<bool>("patchPanel");
    QTest::addColumn<bool>("consumed");
    QTest::addColumn<QString>("text");       // the document afterwards
    QTest::addColumn<QString>("clipboard");  // afterwards; the clipboard starts as "CLIP"

    const quint64 cmd = KeyModifier::Command;
    QTest::addRow("copy selection") << key("c", cmd) << true << false << false << true << "hello world"
                                    << "hello";
    QTest::addRow("copy without selection keeps clipboard")
        << key("c", cmd) << false << false << false << true << "hello world" << "CLIP";
    QTest::addRow("cut") << key("x", cmd) << true << false << false << true << " world" << "hello";
    QTest::addRow("paste replaces selection") << key("v", cmd) << true << false << false << true
                                              << "CLIP world" << "CLIP";
    QTest::addRow("select all then type") << key("a", cmd) << false << false << false << true << "hello world"
                                          << "CLIP";
    QTest::addRow("menu shortcut passes on") << key("s", cmd) << false << false << false << false << "hello world"
                                             << "CLIP";
    QTest::addRow("typing reaches the editor") << key("q") << false << false << false << true << "qhello world"
                                               << "CLIP";
    QTest::addRow("search field keeps its keys") << key("q") << false << true << false << false << "hello world"
                                                 << "CLIP";
    QTest::addRow("search field keeps paste too") << key("v", cmd) << true << true << false << false
                                                  << "hello world" << "CLIP";
    QTest::addRow("patch panel keeps typing") << key("q") << false << false << true << false << "hello world"
                                              << "CLIP";
    QTest::addRow("patch panel leaves paste") << key("v", cmd) << false << false << true << true
                                              << "CLIPhello world" << "CLIP";
    QTest::addRow("command arrow moves the caret")
        << key({}, cmd, KeyCode::RightArrow) << false << false << false << true << "hello world" << "CLIP";
}

void TestEditorKeyRouter::routes()
{
    QFETCH(EditorKeyEvent, event);
    QFETCH(bool, selectFirstWord);
    QFETCH(bool, inputFocused);
    QFETCH(bool, patchPanel);
    QFETCH(bool, consumed);
    QFETCH(QString, text);
    QFETCH(QString, clipboard);

    EditorViewModel editor;
    editor.openFile(test::writeFile(m_dir.path(), QStringLiteral("routes.txt"), "hello world"));
    if (selectFirstWord) {
        editor.selectWord(0, 1);
    }
    MemoryClipboard board;
    board.text = QStringLiteral("CLIP");
    const bool used = routeKeyToEditor(event, &editor, {inputFocused, patchPanel}, board);
    QCOMPARE(used, consumed);
    QCOMPARE(editor.document()->text(), text);
    QCOMPARE(board.text.value_or(QString()), clipboard);
    if (event.keyCode == KeyCode::RightArrow) {
        QCOMPARE(editor.cursors().first().column, 11);
    }
    if (event.charactersIgnoringModifiers == u"a") {
        QCOMPARE(editor.selectedText(), std::optional<QString>(QStringLiteral("hello world")));
    }
}

void TestEditorKeyRouter::undoAndRedoClampCarets()
{
    EditorViewModel editor;
    editor.openFile(test::writeFile(m_dir.path(), QStringLiteral("undo.txt"), "ab"));
    MemoryClipboard board;
    editor.goToLine(0, 2);
    QVERIFY(routeKeyToEditor(key("\n", 0, KeyCode::Return), &editor, {}, board));
    QVERIFY(routeKeyToEditor(key("c"), &editor, {}, board));
    QCOMPARE(editor.document()->text(), QStringLiteral("ab\nc"));
    QCOMPARE(editor.cursors().first().line, 1);

    QVERIFY(routeKeyToEditor(key("z", KeyModifier::Command), &editor, {}, board));
    QVERIFY(routeKeyToEditor(key("z", KeyModifier::Command), &editor, {}, board));
    QCOMPARE(editor.document()->text(), QStringLiteral("ab"));
    QCOMPARE(editor.cursors().first().line, 0);  // clamped into the restored text
    QVERIFY(routeKeyToEditor(key("z", KeyModifier::Command | KeyModifier::Shift), &editor, {}, board));
    QCOMPARE(editor.document()->text(), QStringLiteral("ab\n"));
    // Nothing left to undo: still used up, nothing changes.
    QVERIFY(routeKeyToEditor(key("z", KeyModifier::Command), &editor, {}, board));
    QVERIFY(routeKeyToEditor(key("z", KeyModifier::Command), &editor, {}, board));
    QCOMPARE(editor.document()->text(), QStringLiteral("ab"));
}

void TestEditorKeyRouter::nothingWithoutEditorOrFile()
{
    MemoryClipboard board;
    QVERIFY(!routeKeyToEditor(key("q"), nullptr, {}, board));
    EditorViewModel editor;  // no file open: Command rows do not apply, other keys still go in
    QVERIFY(!routeKeyToEditor(key("a", KeyModifier::Command), &editor, {}, board));
    QVERIFY(!editor.selectedText());
}

QTEST_GUILESS_MAIN(TestEditorKeyRouter)
#include "tst_editor_key_router.moc"
