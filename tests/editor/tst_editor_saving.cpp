#include "editor/save_failure.h"
#include "editor/ui/conflict_panel.h"
#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/elided_label.h"
#include "editor/ui/standalone_editor_window.h"
#include "platform/background.h"
#include "view_test_util.h"

#include <QDir>
#include <QScopeGuard>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace vesk;
using namespace vesk::test;

// Saving in the background: the user types on while the file is written, the later text always
// ends up on disk, our own write is never taken for someone else's, a failure reads as a plain
// sentence, and leaving waits until the write has ended.

namespace {

// Lines enough for a write that takes a moment, so the main thread really runs ahead of it.
QByteArray someLines(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        text += "line " + QByteArray::number(i) + " of the text the editor writes\n";
    }
    return text;
}

StandaloneEditorWindow *openFocused(const QString &path)
{
    StandaloneEditorWindow *window = openFileInNewWindow(path);
    return window && QTest::qWaitFor([window] { return window->view()->canvas()->hasFocus(); }) ? window : nullptr;
}

void pressSave(StandaloneEditorWindow *window)
{
    QTest::keySequence(window->view()->canvas(), QKeySequence(QStringLiteral("Ctrl+S")));
}

ElidedLabel *errorLabel(StandaloneEditorWindow *window)
{
    return window->findChild<ElidedLabel *>(QStringLiteral("error"));
}

} // namespace

class TestEditorSaving : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void typingDuringTheWrite_data();
    void typingDuringTheWrite();
    void savesLandInOrder_data();
    void savesLandInOrder();
    void ownWriteIsNoOutsideChange_data();
    void ownWriteIsNoOutsideChange();
    void failedSaveReadsAsASentence_data();
    void failedSaveReadsAsASentence();
    void causesAnotherUserMeets_data();
    void causesAnotherUserMeets();
    void closingWaitsForTheWrite_data();
    void closingWaitsForTheWrite();

private:
    PrivatePreferences m_preferences;
    QTemporaryDir m_dir;
};

void TestEditorSaving::cleanup()
{
    if (ConflictPanel *panel = openConflictPanel()) {
        panel->close();
    }
    for (StandaloneEditorWindow *window : standaloneWindows()) {
        window->editor()->finishSaving();
        window->editor()->forceReloadFromDisk();  // a test's unsaved edits are not kept
        window->close();
    }
    QTRY_VERIFY(standaloneWindows().isEmpty());
}

void TestEditorSaving::typingDuringTheWrite_data()
{
    QTest::addColumn<QString>("before");  // typed, then saved
    QTest::addColumn<QString>("during");  // typed while the write is under way; "\b" is Backspace
    QTest::addColumn<bool>("dirty");
    QTest::addRow("nothing typed meanwhile") << "saved " << "" << false;
    QTest::addRow("a word typed meanwhile") << "saved " << "and more " << true;
    QTest::addRow("typed and taken back again") << "saved " << "xy\b\b" << false;
    QTest::addRow("a new line typed meanwhile") << "saved " << "\r" << true;
}

// The document is clean after the write only while its text is the one written.
void TestEditorSaving::typingDuringTheWrite()
{
    QFETCH(QString, before);
    QFETCH(QString, during);
    QFETCH(bool, dirty);
    const QByteArray original = someLines(40000);
    const QString path = writeFile(m_dir.path(), QStringLiteral("typing.txt"), original);
    StandaloneEditorWindow *window = openFocused(path);
    QVERIFY(window);
    EditorViewModel *editor = window->editor();
    QTest::keyClicks(window->view()->canvas(), before);
    pressSave(window);
    QVERIFY(editor->isSaving());
    for (const QChar c : during) {
        if (c == u'\b') {
            QTest::keyClick(window->view()->canvas(), Qt::Key_Backspace);
        } else if (c == u'\r') {
            QTest::keyClick(window->view()->canvas(), Qt::Key_Return);
        } else {
            QTest::keyClicks(window->view()->canvas(), QString(c));
        }
    }
    // Nothing has come back to the main thread yet: every key above landed during the save.
    QVERIFY(editor->isSaving());
    QTRY_VERIFY(!editor->isSaving());
    QCOMPARE(readFile(path), before.toUtf8() + original);
    QCOMPARE(editor->hasUnsavedEdits(), dirty);
    QCOMPARE(editor->saveError(), std::optional<QString>());
    QCOMPARE(editor->lastKnownModDate(), modificationTime(path));
    const QString typed = during.contains(u'\r') ? QStringLiteral("\n") : during.contains(u'\b') ? QString() : during;
    QCOMPARE(editor->document()->text().toUtf8(), (before + typed).toUtf8() + original);
}

void TestEditorSaving::savesLandInOrder_data()
{
    QTest::addColumn<QStringList>("steps");  // "s": Ctrl+S, "a": auto-save (leaving), else typed
    QTest::addRow("two saves") << QStringList{"one ", "s", "two ", "s"};
    QTest::addRow("three saves in a row") << QStringList{"a", "s", "b", "s", "c", "s"};
    QTest::addRow("save, then an auto-save") << QStringList{"first ", "s", "second ", "a"};
    QTest::addRow("the same text saved twice") << QStringList{"same ", "s", "s", "a"};
}

// Whatever the timing, the text saved last is the one on disk, and the document is clean.
void TestEditorSaving::savesLandInOrder()
{
    QFETCH(QStringList, steps);
    const QByteArray original = someLines(40000);
    const QString path = writeFile(m_dir.path(), QStringLiteral("order.txt"), original);
    StandaloneEditorWindow *window = openFocused(path);
    QVERIFY(window);
    EditorViewModel *editor = window->editor();
    QString typed;
    for (const QString &step : steps) {
        if (step == u"s") {
            pressSave(window);
        } else if (step == u"a") {
            editor->autoSave();
        } else {
            QTest::keyClicks(window->view()->canvas(), step);
            typed += step;
        }
    }
    QTRY_VERIFY(!editor->isSaving());
    QCOMPARE(readFile(path), typed.toUtf8() + original);
    QVERIFY(!editor->hasUnsavedEdits());
    QVERIFY(!editor->pendingConflict());
    const QStringList left = entryNames(m_dir.path()).filter(QStringLiteral(".vesk-"));
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));  // no side file left
}

void TestEditorSaving::ownWriteIsNoOutsideChange_data()
{
    QTest::addColumn<QString>("when");
    QTest::addRow("looked at once the write is on disk, before it is handed back") << "during";
    QTest::addRow("looked at after the write landed") << "after";
    QTest::addRow("another program wrote before our save") << "outside";
}

// The file's newer date after our own write is no outside change: no reload, no conflict, the
// caret stays. A real outside change before the save still becomes a conflict.
void TestEditorSaving::ownWriteIsNoOutsideChange()
{
    QFETCH(QString, when);
    const QByteArray original = someLines(20000);
    const QString path = writeFile(m_dir.path(), QStringLiteral("watched.txt"), original);
    StandaloneEditorWindow *window = openFocused(path);
    QVERIFY(window);
    EditorViewModel *editor = window->editor();
    QTest::keyClicks(window->view()->canvas(), QStringLiteral("mine "));
    if (when == u"outside") {
        changeOnDisk(path, "theirs\n", 10);
    }
    pressSave(window);
    if (when == u"during") {
        // The write is on disk with its newer date, and has not come back to the main thread.
        waitForBackgroundWork();
        QVERIFY(editor->isSaving());
        QVERIFY(modificationTime(path) > editor->lastKnownModDate());
        editor->reloadIfChanged();
    }
    QTRY_VERIFY(!editor->isSaving());
    QTest::keyClicks(window->view()->canvas(), QStringLiteral("then "));
    editor->reloadIfChanged();
    if (when == u"outside") {
        QVERIFY(editor->pendingConflict());
        QCOMPARE(readFile(path), QByteArray("theirs\n"));
        return;
    }
    QVERIFY(!editor->pendingConflict());
    QVERIFY(!openConflictPanel() || !openConflictPanel()->isVisible());
    QCOMPARE(readFile(path), "mine " + original);
    QCOMPARE(editor->document()->text().toUtf8(), "mine then " + original);
    QCOMPARE(describeCursors(editor->cursors()), QStringLiteral("0:10"));
}

void TestEditorSaving::failedSaveReadsAsASentence_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("sentence");
    const auto row = [](const char *name, const char *cause, const char *why) {
        QTest::addRow("%s", name) << QString(cause) << QStringLiteral("Vesk could not save main.c: %1.").arg(why);
    };
    row("read-only file", "read-only", "the file is read-only");
    row("folder gone", "folder gone", "its folder no longer exists");
    row("folder replaced by a file", "folder is a file", "a part of its path is a file, not a folder");
    row("a folder in the file's place", "folder in place", "a folder of the same name is in its place");
    row("a named pipe in the file's place", "pipe in place", "it is not a regular file");
    row("links in a circle", "link loop", "its links lead around in a circle");
    row("larger than the process may write", "size limit", "the file would be larger than the system allows");
}

// Each cause is one the tests' root user meets as well. The edits stay unsaved, the file as it
// was, and the status row shows the sentence, in full on a click when it is cut short.
void TestEditorSaving::failedSaveReadsAsASentence()
{
    QFETCH(QString, cause);
    QFETCH(QString, sentence);
    const QString folder = m_dir.filePath(QStringLiteral("sub"));
    const QString path = writeFile(m_dir.path(), QStringLiteral("sub/main.c"), "int main;\n");
    StandaloneEditorWindow *window = openFocused(path);
    QVERIFY(window);
    EditorViewModel *editor = window->editor();
    QTest::keyClicks(window->view()->canvas(), QStringLiteral("static "));

    std::function<void()> mend = [] {};
    std::optional<FileSizeLimit> limit;
    const QByteArray encodedPath = QFile::encodeName(path);
    if (cause == u"read-only") {
        QVERIFY(setPermissionBits(path, 0444));
        mend = [&] { setPermissionBits(path, 0644); };
    } else if (cause == u"folder gone" || cause == u"folder is a file") {
        QVERIFY(QDir(folder).removeRecursively());
        if (cause == u"folder is a file") {
            writeFile(m_dir.path(), QStringLiteral("sub"), "a file now");
        }
        mend = [&] {
            QFile::remove(folder);
            QDir().mkpath(folder);
        };
    } else if (cause == u"folder in place" || cause == u"pipe in place" || cause == u"link loop") {
        QVERIFY(QFile::remove(path));
        QVERIFY(cause != u"folder in place" || QDir().mkpath(path + QStringLiteral("/inner")));
        QVERIFY(cause != u"pipe in place" || ::mkfifo(encodedPath.constData(), 0600) == 0);
        QVERIFY(cause != u"link loop" || makeSymlink(QStringLiteral("main.c"), path));
        // Dated as the file was: a newer date would rightly be taken for an outside change.
        QVERIFY(cause == u"link loop" || setModificationTime(path, *editor->lastKnownModDate()));
        mend = [&] {
            QDir(path).removeRecursively();
            QFile::remove(path);
        };
    } else {
        limit.emplace(4);  // fails even for root
        mend = [&] { limit.reset(); };
    }
    const auto mendAtExit = qScopeGuard([&] { mend(); });

    pressSave(window);
    QTRY_VERIFY(!editor->isSaving());
    QCOMPARE(editor->saveError(), std::optional<QString>(sentence));
    QVERIFY(editor->hasUnsavedEdits());
    QCOMPARE(editor->document()->text(), QStringLiteral("static int main;\n"));
    if (cause == u"read-only" || cause == u"size limit") {
        QCOMPARE(readFile(path), QByteArray("int main;\n"));
    }

    ElidedLabel *label = errorLabel(window);
    QVERIFY(label);
    QTRY_COMPARE(label->fullText(), sentence);
    QVERIFY(label->isVisible());
    window->resize(window->minimumWidth(), window->height());
    QTRY_VERIFY(label->isElided());
    QCOMPARE(label->toolTip(), sentence);
    QTest::mouseClick(label, Qt::LeftButton);
    QTRY_VERIFY(label->fullTextPopup() && label->fullTextPopup()->isVisible());
    auto *shown = label->fullTextPopup()->findChild<QLabel *>(QStringLiteral("fullText"));
    QVERIFY(shown);
    QCOMPARE(shown->text(), sentence);
    label->fullTextPopup()->close();

    // Mended, the next save writes everything and the sentence goes.
    std::exchange(mend, [] {})();
    pressSave(window);
    QTRY_VERIFY(!editor->isSaving());
    QCOMPARE(editor->saveError(), std::optional<QString>());
    QCOMPARE(readFile(path), QByteArray("static int main;\n"));
    QTRY_VERIFY(!label->isVisible());
}

void TestEditorSaving::causesAnotherUserMeets_data()
{
    QTest::addColumn<int>("folderMode");   // the folder is root's
    QTest::addColumn<QString>("file");     // "new", or "root's" (0644)
    QTest::addColumn<QString>("cause");
    QTest::addRow("new file in a read-only folder") << 0555 << "new" << "the folder is read-only";
    QTest::addRow("new file in someone else's folder") << 0755 << "new"
                                                       << "you do not have permission to write in its folder";
    QTest::addRow("someone else's file") << 0777 << "root's" << "you do not have permission to change it";
    QTest::addRow("a folder that may not be entered") << 0700 << "root's"
                                                      << "you do not have permission to write in its folder";
}

// The tests run as root, who may write where users may not: these causes are met by a write
// made as another user, in a process of its own.
void TestEditorSaving::causesAnotherUserMeets()
{
    QFETCH(int, folderMode);
    QFETCH(QString, file);
    QFETCH(QString, cause);
    if (::geteuid() != 0) {
        QSKIP("acting as another user needs root");
    }
    QTemporaryDir dir;
    QVERIFY(setPermissionBits(dir.path(), 0755));
    const QString folder = dir.filePath(QStringLiteral("shared"));
    const QString tmp = dir.filePath(QStringLiteral("private"));
    QVERIFY(QDir().mkdir(folder) && QDir().mkdir(tmp));
    QVERIFY(setPermissionBits(tmp, 0700) && setOwner(tmp, otherUserId, otherGroupId));
    const QString path = folder + QStringLiteral("/main.c");
    if (file != u"new") {
        writeFile(folder, QStringLiteral("main.c"), "int main;\n");
    }
    QVERIFY(setPermissionBits(folder, folderMode));
    const auto mend = qScopeGuard([&] { setPermissionBits(folder, 0755); });
    const ActorResult result = writeAsOtherUser(path, "static int main;\n", tmp);
    QCOMPARE(result.exitCode, 1);
    const QString sentence = QStringLiteral("Vesk could not save main.c: %1.").arg(cause);
    QVERIFY2(result.output.contains(sentence), qPrintable(result.output));
    setPermissionBits(folder, 0755);
    QCOMPARE(QFile::exists(path), file != u"new");
    QVERIFY(file == u"new" || readFile(path) == "int main;\n");
}

void TestEditorSaving::closingWaitsForTheWrite_data()
{
    QTest::addColumn<QString>("how");
    QTest::addRow("Ctrl+W") << "key";
    QTest::addRow("the window's close button") << "close";
    QTest::addRow("a save just before closing") << "save, key";
}

// The window goes only after its file is written: checked the moment the close returns, with
// no event loop turn in between.
void TestEditorSaving::closingWaitsForTheWrite()
{
    QFETCH(QString, how);
    const QByteArray original = someLines(60000);
    const QString path = writeFile(m_dir.path(), QStringLiteral("closing.txt"), original);
    QPointer<StandaloneEditorWindow> window = openFocused(path);
    QVERIFY(window);
    QTest::keyClicks(window->view()->canvas(), QStringLiteral("last words "));
    if (how.startsWith(u"save")) {
        pressSave(window);
        QTest::keyClicks(window->view()->canvas(), QStringLiteral("and more "));
    }
    if (how.endsWith(u"key")) {
        QTest::keySequence(window->view()->canvas(), QKeySequence(QStringLiteral("Ctrl+W")));
    } else {
        window->close();
    }
    const QByteArray typed = how.startsWith(u"save") ? "last words and more " : "last words ";
    // Written and handed back: the window is only marked for deletion yet.
    QVERIFY(window && !window->editor()->isSaving() && !window->editor()->hasUnsavedEdits());
    QCOMPARE(readFile(path), typed + original);
    QTRY_VERIFY(!window);
}

QTEST_MAIN(TestEditorSaving)
#include "tst_editor_saving.moc"
