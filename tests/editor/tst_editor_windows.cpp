#include "editor/ui/conflict_panel.h"
#include "editor/ui/diff_header_view.h"
#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/elided_label.h"
#include "editor/ui/go_to_line_panel.h"
#include "editor/ui/standalone_editor_window.h"
#include "editor/ui/status_bar_view.h"
#include "editor/ui/symbol_icons.h"
#include "view_test_util.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

using namespace vesk;
using namespace vesk::test;

namespace {

// The texts of the row's visible labels, in reading order.
QString visibleTexts(QWidget &row)
{
    QStringList texts;
    for (const char *name : {"place", "error", "position", "cursors", "separator", "changes", "branch", "path",
                             "modified", "lineCount"}) {
        auto *label = row.findChild<QLabel *>(QLatin1String(name));
        if (label && label->isVisibleTo(&row)) {
            auto *elided = qobject_cast<ElidedLabel *>(label);
            texts.append(elided ? elided->fullText() : label->text());
        }
    }
    return texts.join(QStringLiteral(" | "));
}

// Takes the focus away to another window and gives it back, as a user switching windows does.
void leaveAndReturn(QWidget &window)
{
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QTRY_VERIFY(!window.isActiveWindow());
    window.activateWindow();
    // The window may hand activation straight on to a panel it raises on return.
    QTRY_VERIFY(window.isActiveWindow() || (openConflictPanel() && openConflictPanel()->isVisible()));
}

void closeAllWindows()
{
    if (ConflictPanel *panel = openConflictPanel()) {
        panel->close();
    }
    for (StandaloneEditorWindow *window : standaloneWindows()) {
        window->editor()->forceReloadFromDisk();  // a test's unsaved edits are not kept
        window->close();
    }
    QTRY_VERIFY(standaloneWindows().isEmpty());
    if (GoToLinePanel *panel = openGoToLinePanel()) {
        panel->close();
    }
}

struct Header
{
    QString file;  // relative to the test folder; "@" stands for it
    QString repo, edit, symbol, shown;
};

// Opens `path` in a window of its own and waits until its canvas takes the keys; null on failure.
StandaloneEditorWindow *openFocused(const QString &path)
{
    StandaloneEditorWindow *window = openFileInNewWindow(path);
    return window && QTest::qWaitFor([window] { return window->view()->canvas()->hasFocus(); }) ? window : nullptr;
}

} // namespace

class TestEditorWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { closeAllWindows(); }
    void statusBar_data();
    void statusBar();
    void diffHeader_data();
    void diffHeader();
    void symbolIcons_data();
    void symbolIcons();
    void goToLine_data();
    void goToLine();
    void standaloneWindowRegistry();
    void standaloneKeys_data();
    void standaloneKeys();
    void conflictEndToEnd_data();
    void conflictEndToEnd();
    void unsavableEditsAreNotClosedAway_data();
    void unsavableEditsAreNotClosedAway();
    void keepingEditsThatCannotBeWritten();

private:
    PrivatePreferences m_preferences;
    QTemporaryDir m_dir;
};

void TestEditorWindows::statusBar_data()
{
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<int>("changes");  // changed files of the repository; -1: not a repository
    QTest::addColumn<QString>("shown");  // "@": the repository's folder
    QTest::addRow("one caret, no repository") << "2:6" << -1 << "@ | Ln 3, Col 7";
    QTest::addRow("three carets") << "0:0 1:1 1:3" << -1 << "@ | Ln 1, Col 1 | 3 cursors";
    QTest::addRow("no carets") << "" << -1 << "@";
    QTest::addRow("repository with changes") << "0:1" << 2 << "@ | Ln 1, Col 2 | · | 2 | main";
    QTest::addRow("clean repository") << "0:1" << 0 << "@ | Ln 1, Col 2 | · | main";
}

// The folder, carets and repository status; an open failure is shown where the user looks.
void TestEditorWindows::statusBar()
{
    QFETCH(QString, cursors);
    QFETCH(int, changes);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("a.txt"), "one\ntwo\nthree");
    GitManager git;
    if (changes >= 0) {
        initGitRepo(dir.path());
        for (int i = 0; i < changes; ++i) {
            writeFile(dir.path(), QStringLiteral("f%1").arg(i), "old\n");
        }
        commitAll(dir.path());
        for (int i = 0; i < changes; ++i) {
            writeFile(dir.path(), QStringLiteral("f%1").arg(i), "new\n");
        }
        git.apply(GitManager::collectStatus(dir.path()));
    }
    EditorViewModel editor;
    editor.openFile(path);
    StatusBarView bar(&editor, dir.path(), &git);
    editor.setCursors(parseCursors(cursors));
    QTRY_COMPARE(visibleTexts(bar), QString(shown).replace(u'@', dir.path()));
    editor.openFile(writeFile(dir.path(), QStringLiteral("latin1.txt"), "caf\xe9\n"));
    QVERIFY(editor.openError());
    QTRY_VERIFY(visibleTexts(bar).contains(*editor.openError()));
}

void TestEditorWindows::diffHeader_data()
{
    QTest::addColumn<Header>("c");
    QTest::addRow("modified file, unedited")
        << Header{"r/src/main.c", "r", "", "pencil.circle.fill", "src/main.c | 3 lines"};
    QTest::addRow("edited lines counted")
        << Header{"r/src/main.c", "r", "X", "pencil.circle.fill", "src/main.c | 1 lines modified | 3 lines"};
    QTest::addRow("untracked") << Header{"r/new.txt", "r", "", "questionmark.circle.fill", "new.txt | 3 lines"};
    QTest::addRow("outside the repository keeps its path")
        << Header{"elsewhere/f.txt", "r", "", "circle", "@/elsewhere/f.txt | 3 lines"};
    QTest::addRow("only the leading repository path is taken off")
        << Header{"r/x@/r/y.txt", "r", "", "circle", "x@/r/y.txt | 3 lines"};
}

void TestEditorWindows::diffHeader()
{
    QFETCH(Header, c);
    const QString root = m_dir.filePath(QStringLiteral("header"));
    QDir().mkpath(root);
    const QString path = writeFile(root, QString(c.file).replace(u'@', root), "one\ntwo\nthree");
    GitManager git;
    git.apply(RefreshResult{true, QStringLiteral("main"),
                            {GitStatusEntry{QUuid::createUuid(), QStringLiteral("src/main.c"), ChangeStatus::modified, {}},
                             GitStatusEntry{QUuid::createUuid(), QStringLiteral("new.txt"), ChangeStatus::untracked, {}}}});
    EditorViewModel editor;
    editor.openFile(path);
    editor.insertAtCursors(c.edit);
    DiffHeaderView header(&editor, root + u'/' + c.repo, &git);
    QTRY_COMPARE(visibleTexts(header), QString(c.shown).replace(u'@', root));
    QCOMPARE(header.findChild<QLabel *>(QStringLiteral("statusIcon"))->property("symbol").toString(), c.symbol);
}

void TestEditorWindows::symbolIcons_data()
{
    QTest::addColumn<QString>("name");
    for (const ChangeStatus status : allChangeStatuses()) {
        QTest::addRow("%s", qPrintable(symbolName(status))) << symbolName(status);
    }
    for (const char *name : {"folder.fill", "doc.fill", "pencil.circle", "paintbrush", "folder",
                             "chevron.left.forwardslash.chevron.right"}) {
        QTest::addRow("%s", name) << QString::fromLatin1(name);
    }
}

// Every symbol the views name is drawn, in the colour asked for, at any size and pixel density.
void TestEditorWindows::symbolIcons()
{
    QFETCH(QString, name);
    QVERIFY(symbolNames().contains(name));
    const QColor purple(175, 82, 222);
    for (const qreal ratio : {1.0, 2.0}) {
        const QImage image = symbolIcon(name, purple).pixmap(QSize(16, 16), ratio).toImage();
        QCOMPARE(image.size(), QSize(16, 16) * ratio);
        int coloured = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                coloured += pixel.alpha() == 255 && closeTo(pixel, purple, 10) ? 1 : 0;
            }
        }
        QVERIFY2(coloured > 4 * ratio * ratio, qPrintable(QString::number(coloured)));
    }
    QVERIFY(symbolIcon(QStringLiteral("no.such.symbol"), purple).isNull());
}

void TestEditorWindows::goToLine_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("key");  // "Cancel": the button
    QTest::addColumn<QString>("cursors");
    QTest::addRow("a line") << "12" << "Return" << "11:0";
    QTest::addRow("plus sign") << "+7" << "Return" << "6:0";
    QTest::addRow("first line") << "1" << "Enter" << "0:0";
    QTest::addRow("beyond the end goes to the last line") << "99999" << "Return" << "119:0";
    QTest::addRow("zero") << "0" << "Return" << "5:3";
    QTest::addRow("negative") << "-3" << "Return" << "5:3";
    QTest::addRow("leading space") << " 12" << "Return" << "5:3";
    QTest::addRow("empty") << "" << "Return" << "5:3";
    QTest::addRow("not decimal") << "1e3" << "Return" << "5:3";
    QTest::addRow("other digits") << "\u0661\u0662" << "Return" << "5:3";
    QTest::addRow("too large for a number") << "99999999999999999999999" << "Return" << "5:3";
    QTest::addRow("escape") << "12" << "Esc" << "5:3";
    QTest::addRow("cancel button") << "12" << "Cancel" << "5:3";
}

void TestEditorWindows::goToLine()
{
    QFETCH(QString, typed);
    QFETCH(QString, key);
    QFETCH(QString, cursors);
    showGoToLinePanel(nullptr);
    QVERIFY(!openGoToLinePanel());
    EditorViewModel editor;
    openText(editor, m_dir, QStringList(120, QStringLiteral("text")).join(u'\n'));
    editor.setCursors({TextCursor::at(5, 3)});
    showGoToLinePanel(&editor);
    QPointer<GoToLinePanel> replaced = openGoToLinePanel();
    showGoToLinePanel(&editor);  // one panel at a time
    QTRY_VERIFY(!replaced);
    QPointer<GoToLinePanel> panel = openGoToLinePanel();
    QVERIFY(panel);
    QCOMPARE(panel->windowTitle(), QStringLiteral("Go to Line"));
    QCOMPARE(panel->label()->text(), QStringLiteral("Line (1\u2013120):"));
    QCOMPARE(panel->field()->placeholderText(), QStringLiteral("1"));
    QTRY_VERIFY(panel->field()->hasFocus());
    panel->field()->insert(typed);
    if (key == u"Cancel") {
        QTest::mouseClick(panel->cancelButton(), Qt::LeftButton);
    } else {
        QTest::keySequence(panel->field(), QKeySequence(key));
    }
    QTRY_VERIFY(!panel);
    QCOMPARE(describeCursors(editor.cursors()), cursors);
}

void TestEditorWindows::standaloneWindowRegistry()
{
    const QString path = writeFile(m_dir.path(), QStringLiteral("src/main.c"), "int main;\n");
    QPointer<StandaloneEditorWindow> window = openFocused(path);
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("main.c \u2014 src"));
    QCOMPARE(window->size(), QSize(800, 600));
    QCOMPARE(openFileInNewWindow(path), window.data());  // one window per path
    QCOMPARE(standaloneWindows().size(), 1);
    QTRY_COMPARE(visibleTexts(*window->view()->statusRow()), path + QStringLiteral(" | Ln 1, Col 1"));
    window->close();
    QTRY_VERIFY(!window);
    QVERIFY(!standaloneWindow(path));
    StandaloneEditorWindow *again = openFileInNewWindow(path);
    QVERIFY(again);
    QCOMPARE(standaloneWindow(path), again);

    QVERIFY(!openFileInNewWindow(m_dir.filePath(QStringLiteral("missing.c"))));
    const QString binary = writeFile(m_dir.path(), QStringLiteral("image.bin"), QByteArray("\xff\xfe\x00", 3));
    QVERIFY(!openFileInNewWindow(binary));
    QCOMPARE(standaloneWindows().size(), 1);
}

void TestEditorWindows::standaloneKeys_data()
{
    QTest::addColumn<QString>("keys");  // a key sequence, as the menus write shortcuts
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("onDisk");
    QTest::addRow("typing") << "A, B" << "abone\ntwo" << "one\ntwo";
    QTest::addRow("command s saves") << "X, Ctrl+S" << "xone\ntwo" << "xone\ntwo";
    QTest::addRow("command shift s, escape, F5: nothing") << "X, Ctrl+Shift+S, Esc, F5" << "xone\ntwo" << "one\ntwo";
    QTest::addRow("undo") << "X, Y, Ctrl+Z" << "one\ntwo" << "one\ntwo";
    QTest::addRow("undo and redo") << "X, Return, Ctrl+Z, Ctrl+Shift+Z" << "x\none\ntwo" << "one\ntwo";
    QTest::addRow("a caret past the undone text is clamped") << "Down, Return, Ctrl+Z, Z" << "one\nztwo" << "one\ntwo";
    QTest::addRow("nothing to undo or redo") << "Ctrl+Z, Ctrl+Shift+Z, Z" << "zone\ntwo" << "one\ntwo";
    QTest::addRow("tab is typed, not a focus move") << "Tab" << "\tone\ntwo" << "one\ntwo";
    QTest::addRow("end, then return") << "End, Return" << "one\n\ntwo" << "one\ntwo";
    QTest::addRow("select all and type") << "Ctrl+A, Z" << "z" << "one\ntwo";
    QTest::addRow("word selection is replaced") << "Right, Ctrl+Shift+Right, Z" << "oz\ntwo" << "one\ntwo";
    QTest::addRow("two carets edit both lines") << "Ctrl+Alt+Down, Del, End, Backspace" << "n\nw" << "one\ntwo";
    QTest::addRow("command w closes and saves") << "X, Ctrl+W" << "" << "xone\ntwo";
}

void TestEditorWindows::standaloneKeys()
{
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(QString, onDisk);
    const QString path = writeFile(m_dir.path(), QStringLiteral("keys.txt"), "one\ntwo");
    QPointer<StandaloneEditorWindow> window = openFocused(path);
    QVERIFY(window);
    QTest::keySequence(window->view()->canvas(), QKeySequence(keys));
    if (keys.endsWith(u"Ctrl+W")) {
        QTRY_VERIFY(!window);
    } else {
        QCOMPARE(window->editor()->document()->text(), text);
        QVERIFY(window->isVisible());
    }
    QTRY_COMPARE(readFile(path), onDisk.toUtf8());  // written in the background
}

void TestEditorWindows::conflictEndToEnd_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("onDisk");
    QTest::addRow("keep my edits") << "Keep My Edits" << "Xone\ntwo\n" << "Xone\ntwo\n";
    QTest::addRow("reload from disk") << "Reload from Disk" << "one\nTWO\n" << "one\nTWO\n";
    QTest::addRow("cancel") << "Cancel" << "Xone\ntwo\n" << "one\nTWO\n";
}

// Edit in a window, change the file behind it, come back to the window: the panel shows both
// versions, and each choice does what it says.
void TestEditorWindows::conflictEndToEnd()
{
    QFETCH(QString, button);
    QFETCH(QString, text);
    QFETCH(QString, onDisk);
    const QString path = writeFile(m_dir.path(), QStringLiteral("conflict.txt"), "one\ntwo\n");
    StandaloneEditorWindow *window = openFocused(path);
    QVERIFY(window);
    QTest::keyClicks(window->view()->canvas(), QStringLiteral("X"));
    changeOnDisk(path, "one\nTWO\n", 10);
    leaveAndReturn(*window);

    QTRY_VERIFY(openConflictPanel());
    ConflictPanel *panel = openConflictPanel();
    QCOMPARE(panel->windowTitle(), QStringLiteral("File Changed \u2014 conflict.txt"));
    QCOMPARE(panel->message()->text(), QStringLiteral("\"conflict.txt\" was modified on disk while you have unsaved edits. "
                                                      "Choose which version to keep."));
    QVERIFY(panel->diskView()->toPlainText().startsWith(QStringLiteral("   1  one\n   2  TWO\n   3  \n")));
    QVERIFY(panel->localView()->toPlainText().startsWith(QStringLiteral("   1  Xone\n   2  two\n")));
    QCOMPARE(panel->diskHighlights(), (QSet<qint64>{0, 1}));
    QCOMPARE(panel->localHighlights(), (QSet<qint64>{0, 1}));
    QCOMPARE(panel->diskView()->extraSelections().size(), 2);
    QVERIFY(panel->keepButton()->isDefault());
    QCOMPARE(readFile(path), QByteArray("one\nTWO\n"));  // nothing written while undecided

    QPointer<ConflictPanel> open = panel;
    for (QPushButton *choice : {panel->keepButton(), panel->reloadButton(), panel->cancelButton()}) {
        if (choice->text() == button) {
            QTest::mouseClick(choice, Qt::LeftButton);
        }
    }
    QTRY_VERIFY(!open || !open->isVisible());
    QCOMPARE(window->editor()->document()->text(), text);
    QCOMPARE(readFile(path), onDisk.toUtf8());
    QVERIFY(!window->editor()->pendingConflict());

    if (button == u"Cancel") {
        leaveAndReturn(*window);  // the next return to the window asks again
        QTRY_VERIFY(openConflictPanel() && openConflictPanel()->isVisible());
        QTest::keyClick(openConflictPanel(), Qt::Key_Escape);
        QTRY_VERIFY(!openConflictPanel() || !openConflictPanel()->isVisible());
        QVERIFY(!window->editor()->pendingConflict());
    }
}

void TestEditorWindows::unsavableEditsAreNotClosedAway_data()
{
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("changedOnDisk");
    QTest::addColumn<QString>("reason");  // a part of what the question says
    QTest::addRow("cannot be written") << false << false << "read-only";
    QTest::addRow("cannot be written and changed on disk") << false << true << "changed on disk";
    QTest::addRow("changed on disk") << true << true << "changed on disk";
}

// Closing a window whose edits cannot be saved asks first instead of dropping them, says why,
// and never traps the user: "Cancel" keeps the window, the next close asks the same again, and
// "Close Without Saving" closes it.
void TestEditorWindows::unsavableEditsAreNotClosedAway()
{
    QFETCH(bool, writable);
    QFETCH(bool, changedOnDisk);
    QFETCH(QString, reason);
    const QString path = writeFile(m_dir.path(), QStringLiteral("locked.txt"), "fixed\n");
    QPointer<StandaloneEditorWindow> window = openFocused(path);
    QVERIFY(window);
    QTest::keyClicks(window->view()->canvas(), QStringLiteral("N "));
    const QByteArray onDisk = changedOnDisk ? "changed\n" : "fixed\n";
    if (changedOnDisk) {
        changeOnDisk(path, onDisk, 10);
    }
    QVERIFY(writable || QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const auto closeAndAnswer = [&](const QString &answer) {
        QTest::keySequence(window->view()->canvas(), QKeySequence(QStringLiteral("Ctrl+W")));
        QTRY_VERIFY(window->findChild<QMessageBox *>());
        auto *box = window->findChild<QMessageBox *>();
        QVERIFY(window->isVisible());
        QVERIFY(!openConflictPanel() || !openConflictPanel()->isVisible());
        QCOMPARE(box->text(), QStringLiteral("\u201Clocked.txt\u201D could not be saved."));
        QVERIFY2(box->informativeText().contains(reason), qPrintable(box->informativeText()));
        QStringList choices;
        for (QAbstractButton *choice : box->buttons()) {
            choices << choice->text();
        }
        choices.sort();
        QCOMPARE(choices, QStringList({"Cancel", "Close Without Saving"}));
        for (QAbstractButton *choice : box->buttons()) {
            if (choice->text() == answer) {
                choice->click();
            }
        }
        QTRY_VERIFY(!window || !window->findChild<QMessageBox *>());
    };
    closeAndAnswer(QStringLiteral("Cancel"));
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->editor()->document()->text(), QStringLiteral("N fixed\n"));
    closeAndAnswer(QStringLiteral("Close Without Saving"));
    QTRY_VERIFY(!window);
    QCOMPARE(readFile(path), onDisk);
}

// "Keep My Edits" that cannot write says so in the panel and leaves the choice open.
void TestEditorWindows::keepingEditsThatCannotBeWritten()
{
    const QString path = writeFile(m_dir.path(), QStringLiteral("kept.txt"), "one\n");
    StandaloneEditorWindow *window = openFocused(path);
    QVERIFY(window);
    QTest::keyClicks(window->view()->canvas(), QStringLiteral("X"));
    changeOnDisk(path, "ONE\n", 10);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    leaveAndReturn(*window);
    QTRY_VERIFY(openConflictPanel() && openConflictPanel()->isVisible());
    ConflictPanel *panel = openConflictPanel();
    QTest::mouseClick(panel->keepButton(), Qt::LeftButton);
    QTRY_VERIFY2(panel->message()->text().contains(QStringLiteral("the file is read-only")),
                 qPrintable(panel->message()->text()));
    QVERIFY(panel->isVisible());
    QVERIFY(panel->keepButton()->isEnabled());
    QCOMPARE(readFile(path), QByteArray("ONE\n"));
    QTest::mouseClick(panel->reloadButton(), Qt::LeftButton);
    QTRY_VERIFY(!openConflictPanel() || !openConflictPanel()->isVisible());
    QCOMPARE(window->editor()->document()->text(), QStringLiteral("ONE\n"));
}

QTEST_MAIN(TestEditorWindows)
#include "tst_editor_windows.moc"
