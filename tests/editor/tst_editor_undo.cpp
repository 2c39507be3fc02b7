// Undo and redo as the user meets them: real key presses in a standalone window, one undo step
// per user action, typing joined until a pause, a caret move, a new line or a switch to deleting.

#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_scroll_host.h"
#include "editor/ui/standalone_editor_window.h"
#include "editor/ui/system_clipboard.h"
#include "view_test_util.h"

using namespace vesk;
using namespace vesk::test;

class TestEditorUndo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void steps_data();
    void steps();
    void boundCountsSteps();
    void undoScrollsToTheCarets();

private:
    StandaloneEditorWindow *open(const QString &text);
    // Items separated by ", ": a key sequence; "pause" (two seconds pass); "type:TEXT";
    // "paste:TEXT" (on the clipboard, then Ctrl+V).
    void play(StandaloneEditorWindow &window, const QString &script);

    PrivatePreferences m_preferences;
    QTemporaryDir m_dir;
    qint64 m_now = 1'000'000;
};

void TestEditorUndo::cleanup()
{
    for (StandaloneEditorWindow *window : standaloneWindows()) {
        window->editor()->forceReloadFromDisk();
        window->close();
    }
}

StandaloneEditorWindow *TestEditorUndo::open(const QString &text)
{
    const QString path = writeFile(m_dir.path(), QStringLiteral("undo.txt"), text.toUtf8());
    StandaloneEditorWindow *window = openFileInNewWindow(path);
    if (!window || !QTest::qWaitFor([window] { return window->view()->canvas()->hasFocus(); })) {
        return nullptr;
    }
    window->editor()->setClock([this] { return m_now; });
    return window;
}

void TestEditorUndo::play(StandaloneEditorWindow &window, const QString &script)
{
    EditorCanvasView *canvas = window.view()->canvas();
    for (const QString &item : script.split(QStringLiteral(", "), Qt::SkipEmptyParts)) {
        if (item == u"pause") {
            m_now += 2000;
        } else if (item.startsWith(u"type:")) {
            QTest::keyClicks(canvas, item.mid(5));
        } else if (item.startsWith(u"paste:")) {
            SystemClipboard().setPlainText(item.mid(6).replace(u'|', u'\n'));
            QTest::keySequence(canvas, QKeySequence(QStringLiteral("Ctrl+V")));
        } else {
            QTest::keySequence(canvas, QKeySequence(item));
        }
        m_now += 10;
    }
}

void TestEditorUndo::steps_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("carets");

    QTest::addRow("a word at three carets is one step")
        << "Ctrl+Alt+Down, Ctrl+Alt+Down, type:abc, Ctrl+Z" << "one\ntwo\nthree" << "0:0 1:0 2:0";
    QTest::addRow("210 characters are one step") << QStringLiteral("type:%1, Ctrl+Z").arg(QString(210, u'q'))
                                                 << "one\ntwo\nthree" << "0:0";
    QTest::addRow("typing over a selection is one step, selection comes back")
        << "Shift+End, type:xy, Ctrl+Z" << "one\ntwo\nthree" << "0:3[0:0]";
    QTest::addRow("a pause starts a new step") << "A, pause, B, Ctrl+Z" << "aone\ntwo\nthree" << "0:1";
    QTest::addRow("a caret move starts a new step") << "A, Right, Left, B, Ctrl+Z" << "aone\ntwo\nthree" << "0:1";
    QTest::addRow("a new line is a step of its own")
        << "A, Return, B, Ctrl+Z, Ctrl+Z" << "aone\ntwo\nthree" << "0:1";
    QTest::addRow("typing then deleting are two steps") << "A, B, Backspace, Ctrl+Z" << "abone\ntwo\nthree" << "0:2";
    QTest::addRow("a run of backspaces is one step")
        << "End, Backspace, Backspace, Ctrl+Z" << "one\ntwo\nthree" << "0:3";
    QTest::addRow("a line join at two carets is one step")
        << "Down, Ctrl+Alt+Down, Backspace, Ctrl+Z" << "one\ntwo\nthree" << "1:0 2:0";
    QTest::addRow("redo brings the carets after the step")
        << "A, B, Ctrl+Z, Ctrl+Shift+Z" << "abone\ntwo\nthree" << "0:2";
    QTest::addRow("a paste at two carets is one step")
        << "Ctrl+Alt+Down, paste:p|q, Ctrl+Z" << "one\ntwo\nthree" << "0:0 1:0";
    QTest::addRow("a paste is not joined to the typing before it")
        << "A, paste:zz, Ctrl+Z" << "aone\ntwo\nthree" << "0:1";
    QTest::addRow("typing goes on after an undo as a new step")
        << "A, B, Ctrl+Z, C, Ctrl+Z" << "one\ntwo\nthree" << "0:0";
}

void TestEditorUndo::steps()
{
    QFETCH(QString, script);
    QFETCH(QString, text);
    QFETCH(QString, carets);
    StandaloneEditorWindow *window = open(QStringLiteral("one\ntwo\nthree"));
    QVERIFY(window);
    play(*window, script);
    QCOMPARE(window->editor()->document()->text(), text);
    QCOMPARE(describeCursors(window->editor()->cursors()), carets);
}

// The 200 steps of history are user actions, however many characters each holds.
void TestEditorUndo::boundCountsSteps()
{
    StandaloneEditorWindow *window = open(QString());
    QVERIFY(window);
    for (int i = 0; i < 210; ++i) {
        play(*window, QStringLiteral("type:ab, pause"));
    }
    QCOMPARE(qsizetype(window->editor()->document()->undoStack().size()), VeskDocument::maxUndoSnapshots);
    for (int i = 0; i < 205; ++i) {
        play(*window, QStringLiteral("Ctrl+Z"));
    }
    QCOMPARE(window->editor()->document()->text(), QStringLiteral("ab").repeated(10));
}

void TestEditorUndo::undoScrollsToTheCarets()
{
    QStringList lines;
    for (int i = 0; i < 400; ++i) {
        lines.append(QStringLiteral("line %1").arg(i));
    }
    StandaloneEditorWindow *window = open(lines.join(u'\n'));
    QVERIFY(window);
    window->editor()->goToLine(350, 0);
    play(*window, QStringLiteral("type:xyz"));
    EditorScrollHost *host = window->view()->scrollHost();
    host->scrollTo(QPointF(0, 0));
    QTRY_COMPARE(host->canvas()->visibleRect().top(), 0.0);
    play(*window, QStringLiteral("Ctrl+Z"));
    const double caretTop = host->canvas()->yForLine(350);
    QTRY_VERIFY(host->canvas()->visibleRect().contains(QPointF(host->canvas()->textX() + 1, caretTop + 1)));
    QCOMPARE(describeCursors(window->editor()->cursors()), QStringLiteral("350:0"));
}

QTEST_MAIN(TestEditorUndo)
#include "tst_editor_undo.moc"
