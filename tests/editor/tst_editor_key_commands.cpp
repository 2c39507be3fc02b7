// The keys every editor has, pressed for real in a standalone window: page and document moves,
// the goal column, Escape, word deletion, indentation kept and changed; the mouse: Shift+click,
// triple click, word drag, the primary selection and the context menu; and what the window shows:
// the unsaved-edits dot, a gutter that stays put, a position that does not jump.

#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_scroll_host.h"
#include "editor/ui/standalone_editor_window.h"
#include "editor/ui/status_bar_view.h"
#include "editor/ui/system_clipboard.h"
#include "view_test_util.h"

#include <QLabel>
#include <QMenu>

using namespace vesk;
using namespace vesk::test;

class TestEditorKeyCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void keys_data();
    void keys();
    void pageMoves();
    void mouse_data();
    void mouse();
    void middleClickPastesPrimarySelection();
    void contextMenuOffersCutAndCopyOnlyForASelection();
    void titleShowsUnsavedEdits();
    void gutterStaysWhileTextScrollsSideways();
    void positionSlotStaysPut();

private:
    StandaloneEditorWindow *open(const QString &text);
    QPoint pointOf(StandaloneEditorWindow &window, qint64 line, qint64 column) const;

    PrivatePreferences m_preferences;
    QTemporaryDir m_dir;
};

void TestEditorKeyCommands::cleanup()
{
    for (StandaloneEditorWindow *window : standaloneWindows()) {
        window->editor()->forceReloadFromDisk();
        window->close();
    }
}

StandaloneEditorWindow *TestEditorKeyCommands::open(const QString &text)
{
    const QString path = writeFile(m_dir.path(), QStringLiteral("keys.txt"), text.toUtf8());
    StandaloneEditorWindow *window = openFileInNewWindow(path);
    if (!window || !QTest::qWaitFor([window] { return window->view()->canvas()->hasFocus(); })) {
        return nullptr;
    }
    return window;
}

QPoint TestEditorKeyCommands::pointOf(StandaloneEditorWindow &window, qint64 line, qint64 column) const
{
    EditorCanvasView *canvas = window.view()->canvas();
    const QPointF place(canvas->xForCol(column, line) + 1, canvas->yForLine(line) + canvas->lineHeight() / 2);
    return (place - canvas->scrollOffset()).toPoint();
}

void TestEditorKeyCommands::keys_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("start");  // carets before the keys
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("carets");

    const QString three = QStringLiteral("alpha beta\nxy\ngamma delta");
    QTest::addRow("ctrl end and ctrl home") << three << "1:1" << "Ctrl+End" << three << "2:11";
    QTest::addRow("ctrl shift home extends") << three << "1:1" << "Ctrl+Shift+Home" << three << "0:0[1:1]";
    QTest::addRow("several carets to the start become one") << three << "1:1 2:3" << "Ctrl+Home" << three << "0:0";
    QTest::addRow("goal column survives a short line") << three << "0:8" << "Down, Down" << three << "2:8";
    QTest::addRow("goal column is dropped by a sideways move") << three << "0:8" << "Down, Left, Down" << three << "2:1";
    QTest::addRow("escape keeps the last caret") << three << "0:1 2:2 1:1" << "Esc" << three << "1:1";
    QTest::addRow("escape collapses a selection") << three << "0:5[0:0]" << "Esc" << three << "0:5";
    QTest::addRow("ctrl backspace deletes a word") << three << "0:10" << "Ctrl+Backspace" << "alpha \nxy\ngamma delta"
                                                   << "0:6";
    QTest::addRow("ctrl backspace at two carets") << three << "0:5 2:5" << "Ctrl+Backspace" << " beta\nxy\n delta"
                                                  << "0:0 2:0";
    QTest::addRow("ctrl delete deletes the word ahead") << three << "0:0" << "Ctrl+Del" << "beta\nxy\ngamma delta"
                                                        << "0:0";
    QTest::addRow("ctrl backspace at a line start joins") << three << "1:0" << "Ctrl+Backspace"
                                                          << "alpha betaxy\ngamma delta" << "0:10";
    QTest::addRow("return keeps the indent") << "\t  if (x)\nend" << "0:9" << "Return, Z" << "\t  if (x)\n\t  z\nend"
                                             << "1:4";
    QTest::addRow("return inside the indent keeps what is before") << "    x" << "0:2" << "Return"
                                                                   << "  \n    x" << "1:2";
    QTest::addRow("tab indents the selected lines")
        << "a\nb\nc" << "2:1[0:0]" << "Tab" << "\ta\n\tb\n\tc" << "2:2[0:0]";
    QTest::addRow("a selection ending at a line start leaves that line")
        << "a\nb\nc" << "2:0[0:1]" << "Tab" << "\ta\n\tb\nc" << "2:0[0:2]";
    QTest::addRow("shift tab outdents a tab or spaces")
        << "\ta\n      b\n  c\nd" << "3:1[0:1]" << "Shift+Tab" << "a\n  b\nc\nd" << "3:1[0:0]";
    QTest::addRow("tab inside one line types a tab") << "ab" << "0:1" << "Tab" << "a\tb" << "0:2";
    QTest::addRow("shift tab outdents the caret's line") << "    ab" << "0:6" << "Shift+Tab" << "ab" << "0:2";
    QTest::addRow("indenting is one undo step") << "a\nb" << "1:1[0:0]" << "Tab, Ctrl+Z" << "a\nb" << "1:1[0:0]";
}

void TestEditorKeyCommands::keys()
{
    QFETCH(QString, text);
    QFETCH(QString, start);
    QFETCH(QString, keys);
    QFETCH(QString, result);
    QFETCH(QString, carets);
    StandaloneEditorWindow *window = open(text);
    QVERIFY(window);
    window->editor()->setCursors(parseCursors(start));
    QTest::keySequence(window->view()->canvas(), QKeySequence(keys));
    QCOMPARE(window->editor()->document()->text(), result);
    QCOMPARE(describeCursors(window->editor()->cursors()), carets);
}

// Page Down moves by what the window shows and brings the caret into view; Shift extends.
void TestEditorKeyCommands::pageMoves()
{
    QStringList lines;
    for (int i = 0; i < 300; ++i) {
        lines.append(QStringLiteral("line %1").arg(i));
    }
    StandaloneEditorWindow *window = open(lines.join(u'\n'));
    QVERIFY(window);
    EditorCanvasView *canvas = window->view()->canvas();
    QTRY_VERIFY(window->editor()->scrollState()->viewportHeight() > 100);
    const qint64 visibleLines = qint64(canvas->visibleRect().height() / canvas->lineHeight());
    QTest::keyClick(canvas, Qt::Key_PageDown);
    const qint64 first = window->editor()->cursors().first().line;
    QVERIFY(first >= visibleLines - 2 && first <= visibleLines);
    QTest::keyClick(canvas, Qt::Key_PageDown, Qt::ShiftModifier);
    QCOMPARE(describeCursors(window->editor()->cursors()), QStringLiteral("%1:0[%2:0]").arg(2 * first).arg(first));
    QTRY_VERIFY(canvas->visibleRect().contains(QPointF(canvas->textX() + 1, canvas->yForLine(2 * first) + 1)));
    QTest::keyClick(canvas, Qt::Key_PageUp);
    QTest::keyClick(canvas, Qt::Key_PageUp);
    QCOMPARE(describeCursors(window->editor()->cursors()), QStringLiteral("0:0"));
}

void TestEditorKeyCommands::mouse_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<QString>("carets");
    QTest::addRow("shift click extends from the caret") << "click 0:2, shift 1:3" << "1:3[0:2]";
    QTest::addRow("shift click extends an existing selection") << "double 0:1, shift 2:2" << "2:2[0:0]";
    QTest::addRow("triple click selects the line") << "triple 1:2" << "2:0[1:0]";
    QTest::addRow("triple click on the last line") << "triple 2:1" << "2:11[2:0]";
    QTest::addRow("drag after a double click goes by words") << "double 0:7, drag 2:2" << "2:5[0:6]";
    QTest::addRow("word drag backwards keeps the word") << "double 2:8, drag 0:2" << "0:0[2:11]";
}

void TestEditorKeyCommands::mouse()
{
    QFETCH(QString, gesture);
    QFETCH(QString, carets);
    StandaloneEditorWindow *window = open(QStringLiteral("alpha beta\nxy zzz\ngamma delta"));
    QVERIFY(window);
    QWidget *canvas = window->view()->canvas();
    for (const QString &step : gesture.split(QStringLiteral(", "))) {
        const QStringList parts = step.split(u' ');
        const TextCursor at = parseCursors(parts[1]).first();
        const QPoint point = pointOf(*window, at.line, at.column);
        if (parts[0] == u"click") {
            QTest::mouseClick(canvas, Qt::LeftButton, {}, point);
        } else if (parts[0] == u"shift") {
            QTest::mouseClick(canvas, Qt::LeftButton, Qt::ShiftModifier, point);
        } else if (parts[0] == u"double" || parts[0] == u"triple") {
            QTest::mouseDClick(canvas, Qt::LeftButton, {}, point);
            if (parts[0] == u"triple") {
                QTest::mouseClick(canvas, Qt::LeftButton, {}, point);
            }
        } else if (parts[0] == u"drag") {
            QMouseEvent move(QEvent::MouseMove, point, canvas->mapToGlobal(point), Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(canvas, &move);
            QTest::mouseRelease(canvas, Qt::LeftButton, {}, point);
        }
    }
    QCOMPARE(describeCursors(window->editor()->cursors()), carets);
}

void TestEditorKeyCommands::middleClickPastesPrimarySelection()
{
#ifdef Q_OS_MACOS
    QSKIP("the primary selection is a Linux convention");
#endif
    StandaloneEditorWindow *window = open(QStringLiteral("alpha beta\nxy"));
    QVERIFY(window);
    QWidget *canvas = window->view()->canvas();
    SystemClipboard().setPlainText(QStringLiteral("CLIPBOARD"));
    QTest::mouseDClick(canvas, Qt::LeftButton, {}, pointOf(*window, 0, 7));
    QTest::mouseClick(canvas, Qt::MiddleButton, {}, pointOf(*window, 1, 1));
    QCOMPARE(window->editor()->document()->text(), QStringLiteral("alpha beta\nxbetay"));
    QCOMPARE(describeCursors(window->editor()->cursors()), QStringLiteral("1:5"));
    QCOMPARE(SystemClipboard().plainText(), std::optional<QString>(QStringLiteral("CLIPBOARD")));
}

void TestEditorKeyCommands::contextMenuOffersCutAndCopyOnlyForASelection()
{
    StandaloneEditorWindow *window = open(QStringLiteral("alpha beta"));
    QVERIFY(window);
    EditorCanvasView *canvas = window->view()->canvas();
    for (const bool selected : {false, true}) {
        window->editor()->setCursors(parseCursors(selected ? QStringLiteral("0:5[0:0]") : QStringLiteral("0:5")));
        const QPoint place = pointOf(*window, 0, 1);
        QContextMenuEvent event(QContextMenuEvent::Mouse, place, canvas->mapToGlobal(place));
        QApplication::sendEvent(canvas, &event);
        QMenu *menu = nullptr;
        QTRY_VERIFY((menu = canvas->findChild<QMenu *>()) != nullptr);
        QMap<QString, bool> enabled;
        for (QAction *action : menu->actions()) {
            enabled.insert(action->text(), action->isEnabled());
        }
        QCOMPARE(enabled.value(QStringLiteral("Cut")), selected);
        QCOMPARE(enabled.value(QStringLiteral("Copy")), selected);
        QCOMPARE(enabled.value(QStringLiteral("Paste")), true);
        delete menu;
    }
}

void TestEditorKeyCommands::titleShowsUnsavedEdits()
{
    StandaloneEditorWindow *window = open(QStringLiteral("alpha"));
    QVERIFY(window);
    QVERIFY(!window->windowTitle().startsWith(QStringLiteral("\u25CF")));
    QTest::keyClicks(window->view()->canvas(), QStringLiteral("x"));
    QTRY_VERIFY(window->windowTitle().startsWith(QStringLiteral("\u25CF ")));
    QTest::keyClick(window->view()->canvas(), Qt::Key_Backspace);
    QTRY_VERIFY(!window->windowTitle().startsWith(QStringLiteral("\u25CF")));
    QTest::keyClicks(window->view()->canvas(), QStringLiteral("y"));
    QTest::keySequence(window->view()->canvas(), QKeySequence(QStringLiteral("Ctrl+S")));
    QTRY_VERIFY(!window->windowTitle().startsWith(QStringLiteral("\u25CF")));
    QCOMPARE(window->windowTitle(), StandaloneEditorWindow::titleFor(window->path()));
}

// Scrolled sideways, the text moves under the gutter and the gutter itself does not move.
void TestEditorKeyCommands::gutterStaysWhileTextScrollsSideways()
{
    StandaloneEditorWindow *window = open(QString(400, u'w') + QStringLiteral("\nshort\n") + QString(300, u'v'));
    QVERIFY(window);
    window->editor()->document()->setOriginal(QStringLiteral("other\nshort"));  // a mark to see
    EditorCanvasView *canvas = window->view()->canvas();
    // The numbers and marks, up to the separator that the scrolled text reaches.
    const int gutter = int(std::floor(canvas->gutterWidth()));
    const int rows = int(canvas->lineHeight() * 3);
    const QImage before = renderOf(*canvas);
    window->view()->scrollHost()->scrollTo(QPointF(300, 0));
    QTRY_COMPARE(canvas->scrollOffset().x(), 300.0);
    const QImage after = renderOf(*canvas);
    QCOMPARE(after.copy(0, 0, gutter, rows), before.copy(0, 0, gutter, rows));
    QVERIFY(after.copy(gutter, 0, 200, rows) != before.copy(gutter, 0, 200, rows));
}

void TestEditorKeyCommands::positionSlotStaysPut()
{
    QStringList lines;
    for (int i = 0; i < 120; ++i) {
        lines.append(QStringLiteral("line"));
    }
    StandaloneEditorWindow *window = open(lines.join(u'\n'));
    QVERIFY(window);
    auto *position = window->view()->statusRow()->findChild<QLabel *>(QStringLiteral("position"));
    QVERIFY(position);
    window->editor()->setCursors(parseCursors(QStringLiteral("8:1")));
    QTRY_COMPARE(position->text(), QStringLiteral("Ln 9, Col 2"));
    const QRect slot = position->geometry();
    window->editor()->setCursors(parseCursors(QStringLiteral("109:3")));
    QTRY_COMPARE(position->text(), QStringLiteral("Ln 110, Col 4"));
    QCOMPARE(position->geometry(), slot);
}

QTEST_MAIN(TestEditorKeyCommands)
#include "tst_editor_key_commands.moc"
