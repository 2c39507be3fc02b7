#include "editor/conflict_diff.h"
#include "editor_test_util.h"
#include "platform/background.h"
#include "platform/temp_files.h"
#include "platform/tool_paths.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vesk;
using namespace vesk::test;

namespace {

struct Lifecycle
{
    bool edit;
    QString disk;     // "", "newer", "older" or "deleted"
    QString actions;  // comma-separated
    bool conflict;
    QByteArray diskAfter, editorAfter;
    QByteArray loaded = "one\ntwo\n";
};

struct Baseline
{
    QString repo;  // empty: no repository
    QString file;
    QByteArray committed;  // null: not committed
    QByteArray onDisk;
    bool throughLink;
    QList<qint64> marked;
};

// Lets every background hand-back reach the main thread.
void settleBackgroundWork()
{
    waitForBackgroundWork();
    QCoreApplication::processEvents();
}

} // namespace

class TestEditorFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void open_data();
    void open();
    void lifecycle_data();
    void lifecycle();
    void reloadKeepsTheCaretLine();
    void saveKeepsModeAndLinks();
    void writeFailures_data();
    void writeFailures();
    void headBaseline_data();
    void headBaseline();
    void baselineFollowsTheOpenFile();
    void unchangedBaselineSharesTheText_data();
    void bigFileOpensInStages_data();
    void bigFileOpensInStages();
    void failedLoadKeepsThePreviousFile();
    void caretPlacedPastTheFirstPart_data();
    void caretPlacedPastTheFirstPart();
    void loadGivesWay_data();
    void loadGivesWay();
    void unchangedBaselineSharesTheText();
    void headBaselineThroughLinks_data();
    void headBaselineThroughLinks();
    void byteOrderMark_data();
    void byteOrderMark();
    void olderBaselineNeverReplacesNewer();
    void missingBaselineIsReported();
    void savingInAFolderThatRefusesNewFiles();
    void conflictDiff_data();
    void conflictDiff();
    void newFile_data();
    void newFile();
};

void TestEditorFiles::open_data()
{
    QTest::addColumn<QByteArray>("content");  // null: no file; "<dir>": a folder; "<fifo>", "<...>": see open()
    QTest::addRow("missing file") << QByteArray();
    QTest::addRow("a folder") << QByteArray("<dir>");
    QTest::addRow("a named pipe without a writer") << QByteArray("<fifo>");
    QTest::addRow("a link to /dev/zero") << QByteArray("</dev/zero>");
    QTest::addRow("a link to a named pipe") << QByteArray("<link to fifo>");
    QTest::addRow("stray continuation byte after ascii") << QByteArray("abcdefghij\x80");
    QTest::addRow("cut-off sequence at the end") << QByteArray("ab\xE2\x82");
    QTest::addRow("valid multi-byte text opens") << QByteArray("caf\xC3\xA9 \xE6\xBC\xA2 \xF0\x9F\x91\x8D\n");
}

// Opening auto-saves the previous file first; a failed open leaves everything as it was, a
// successful one starts the new file afresh.
void TestEditorFiles::open()
{
    QFETCH(QByteArray, content);
    const bool opens = content.startsWith("caf");
    QTemporaryDir dir;
    EditorViewModel editor;
    QStringList opened;
    editor.setOnFileOpened([&opened](const QString &path) { opened.append(path); });
    const QString previous = openText(editor, dir, QStringLiteral("keep\n"), QStringLiteral("previous.txt"));
    editor.setPendingConflict(true);
    editor.openFile(previous);
    QVERIFY(!editor.pendingConflict());
    editor.insertAtCursors(QStringLiteral("E"));
    editor.setCursors(parseCursors(QStringLiteral("0:1[0:0] 0:0")));
    const QString path = dir.filePath(QStringLiteral("sub/target.txt"));
    if (content == "<dir>") {
        QVERIFY(QDir().mkpath(path));
    } else if (content == "<fifo>" || content == "<link to fifo>") {
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("sub"))));
        const QString fifo = content == "<fifo>" ? path : dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(fifo == path || makeSymlink(fifo, path));
    } else if (content == "</dev/zero>") {
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("sub"))));
        QVERIFY(makeSymlink(QStringLiteral("/dev/zero"), path));
    } else if (!content.isNull()) {
        writeFile(dir.path(), QStringLiteral("sub/target.txt"), content);
    }
    editor.openFile(path);
    QCOMPARE(readFile(previous), QByteArray("Ekeep\n"));
    QCOMPARE(editor.currentFilePath(), std::optional<QString>(opens ? path : previous));
    QCOMPARE(editor.currentFileName(), opens ? QStringLiteral("target.txt") : QStringLiteral("previous.txt"));
    QCOMPARE(editor.document()->text(), opens ? QString::fromUtf8(content) : QStringLiteral("Ekeep\n"));
    QCOMPARE(describeCursors(editor.cursors()), opens ? QStringLiteral("0:0") : QStringLiteral("0:1[0:0] 0:0"));
    QCOMPARE(opened, (opens ? QStringList{previous, previous, path} : QStringList{previous, previous}));
    QVERIFY(!editor.hasUnsavedEdits());
    QCOMPARE(editor.openError().has_value(), !opens);
    if (opens) {
        QCOMPARE(editor.lastKnownModDate(), modificationTime(path));
    } else {
        QVERIFY(editor.openError()->contains(QStringLiteral("target")));
        const QString why = content.contains("fifo") ? QStringLiteral("named pipe")
                            : content.contains("zero") ? QStringLiteral("device")
                            : content == "<dir>"       ? QStringLiteral("folder")
                                                       : QString();
        QVERIFY2(editor.openError()->contains(why), qPrintable(*editor.openError()));
    }
}

void TestEditorFiles::lifecycle_data()
{
    QTest::addColumn<Lifecycle>("c");
    const QByteArray loaded = "one\ntwo\n";
    const QByteArray edited = "Xone\ntwo\n";
    const QByteArray external = "disk\n";
    using L = Lifecycle;
    QTest::addRow("clean: a newer disk copy is taken over") << L{false, "newer", "reload", false, external, external};
    QTest::addRow("clean: an older date counts as unchanged") << L{false, "older", "reload", false, external, loaded};
    QTest::addRow("clean: save takes the newer disk copy over without writing")
        << L{false, "newer", "save", false, external, external};
    QTest::addRow("clean empty file: a newer disk copy is taken over")
        << L{false, "newer", "save,reload", false, external, external, ""};
    QTest::addRow("dirty: save writes") << L{true, "", "save", false, edited, edited};
    QTest::addRow("dirty: an older disk date does not stop a save") << L{true, "older", "save", false, edited, edited};
    QTest::addRow("dirty: reload raises the conflict") << L{true, "newer", "reload", true, external, edited};
    QTest::addRow("dirty: save raises the conflict") << L{true, "newer", "save", true, external, edited};
    QTest::addRow("dirty: opening another file raises it") << L{true, "newer", "open", true, external, edited};
    QTest::addRow("dirty: auto-save neither writes nor raises")
        << L{true, "newer", "autoSave", false, external, edited};
    QTest::addRow("conflict: saving and reloading are suspended")
        << L{true, "newer", "reload,save,autoSave,reload", true, external, edited};
    QTest::addRow("conflict: keep my edits") << L{true, "newer", "reload,forceSave,reload", false, edited, edited};
    QTest::addRow("conflict: reload from disk")
        << L{true, "newer", "save,forceReload,reload", false, external, external};
    QTest::addRow("conflict: cancel, then the next check raises it again")
        << L{true, "newer", "reload,cancel,reload", true, external, edited};
    QTest::addRow("conflict: cancel, then save raises it again") << L{true, "newer", "save,cancel,save", true, external,
                                                                      edited};
    QTest::addRow("deleted file: reload ignores it, save writes it anew")
        << L{true, "deleted", "reload,save", false, edited, edited};
    QTest::addRow("deleted file: a clean editor does not write")
        << L{false, "deleted", "save,autoSave", false, {}, loaded};
}

void TestEditorFiles::lifecycle()
{
    QFETCH(Lifecycle, c);
    QTemporaryDir dir;
    EditorViewModel editor;
    const QString path = openText(editor, dir, QString::fromUtf8(c.loaded));
    if (c.edit) {
        editor.insertAtCursors(QStringLiteral("X"));
    }
    if (c.disk == u"deleted") {
        QVERIFY(QFile::remove(path));
    } else if (!c.disk.isEmpty()) {
        changeOnDisk(path, "disk\n", c.disk == u"newer" ? 10 : -10);
    }
    const QHash<QString, void (EditorViewModel::*)()> actions{
        {"reload", &EditorViewModel::reloadIfChanged}, {"save", &EditorViewModel::saveAndWait},
        {"autoSave", &EditorViewModel::autoSaveAndWait}, {"forceSave", &EditorViewModel::forceSaveToDisk},
        {"forceReload", &EditorViewModel::forceReloadFromDisk},
    };
    for (const QString &action : c.actions.split(u',')) {
        if (action == u"cancel") {
            editor.setPendingConflict(false);
        } else if (action == u"open") {
            editor.openFile(writeFile(dir.path(), QStringLiteral("other.txt"), "other\n"));
        } else {
            (editor.*actions.value(action))();
            QVERIFY(editor.finishSaving());
        }
    }
    QCOMPARE(editor.pendingConflict(), c.conflict);
    QCOMPARE(QFile::exists(path) ? readFile(path) : QByteArray(), c.diskAfter);
    QCOMPARE(editor.document()->text().toUtf8(), c.editorAfter);
    QCOMPARE(editor.currentFilePath(), std::optional<QString>(path));
    QCOMPARE(editor.openError().has_value(), c.actions == u"open");
    QCOMPARE(editor.saveError(), std::optional<QString>());
}

void TestEditorFiles::reloadKeepsTheCaretLine()
{
    QTemporaryDir dir;
    EditorViewModel editor;
    const QString path = openText(editor, dir, QStringLiteral("0\n1\n2\n3\n4\n5"));
    editor.setCursors(parseCursors(QStringLiteral("4:1[0:0] 1:0")));
    changeOnDisk(path, "a\nbb\nccc", 1);
    editor.reloadIfChanged();
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("2:0"));
    QCOMPARE(editor.lastKnownModDate(), modificationTime(path));
}

void TestEditorFiles::saveKeepsModeAndLinks()
{
    QTemporaryDir dir;
    const QString target = writeFile(dir.path(), QStringLiteral("real/target.sh"), "echo hi\n");
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(target, mode));
    const QString link = dir.filePath(QStringLiteral("link.sh"));
    QVERIFY(QFile::link(QStringLiteral("real/target.sh"), link));
    EditorViewModel editor;
    editor.openFile(link);
    editor.insertAtCursors(QStringLiteral("# "));
    editor.saveAndWait();
    QCOMPARE(editor.saveError(), std::optional<QString>());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(target), QByteArray("# echo hi\n"));
    QCOMPARE(QFileInfo(target).permissions() & QFile::Permissions(0x7077), mode);  // not the caller's own bits
    QVERIFY(!editor.hasUnsavedEdits());
}

void TestEditorFiles::writeFailures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addRow("read-only file") << "read-only file";
    QTest::addRow("folder replaced by a file") << "folder replaced";
    QTest::addRow("file size limit stands in for a full disk") << "size limit";
}

// A failed write is reported, leaves the edits unsaved, the file as it was and the editor on
// it; the next save after the cause is mended writes everything.
void TestEditorFiles::writeFailures()
{
    QFETCH(QString, failure);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("sub"));
    const QString path = writeFile(dir.path(), QStringLiteral("sub/f.txt"), "saved\n");
    const QString other = writeFile(dir.path(), QStringLiteral("other.txt"), "other\n");
    EditorViewModel editor;
    editor.openFile(path);
    const std::optional<FileTime> seen = editor.lastKnownModDate();
    editor.insertAtCursors(QString(4096, u'x'));

    const QFile::Permissions writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    rlimit limit{};
    std::function<void()> mend;
    const auto mendAtExit = qScopeGuard([&mend] {
        if (mend) {
            mend();
        }
    });
    if (failure == u"read-only file") {
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        mend = [&] { QFile::setPermissions(path, writable); };
    } else if (failure == u"folder replaced") {
        QVERIFY(QDir(folder).removeRecursively());
        writeFile(dir.path(), QStringLiteral("sub"), "now a file");
        mend = [&] {
            QFile::remove(folder);
            QDir().mkpath(folder);
        };
    } else {
        // Writes past the limit fail with EFBIG, as they would with ENOSPC on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        rlimit small = limit;
        small.rlim_cur = 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        mend = [&] { ::setrlimit(RLIMIT_FSIZE, &limit); };
    }
    editor.saveAndWait();
    QVERIFY(editor.saveError().has_value());
    QVERIFY2(editor.saveError()->contains(QStringLiteral("f.txt")), qPrintable(*editor.saveError()));
    QVERIFY(editor.hasUnsavedEdits());
    QCOMPARE(editor.lastKnownModDate(), seen);
    if (failure != u"folder replaced") {
        QCOMPARE(readFile(path), QByteArray("saved\n"));
    }
    editor.openFile(other);  // would drop the edits
    QCOMPARE(editor.currentFilePath(), std::optional<QString>(path));
    QVERIFY(editor.openError().has_value());
    std::exchange(mend, nullptr)();
    editor.saveAndWait();
    QCOMPARE(editor.saveError(), std::optional<QString>());
    QCOMPARE(readFile(path), QByteArray(4096, 'x') + "saved\n");
    QVERIFY(!editor.hasUnsavedEdits());
}

void TestEditorFiles::headBaseline_data()
{
    QTest::addColumn<Baseline>("c");
    using B = Baseline;
    using L = QList<qint64>;
    QTest::addRow("committed file changed on disk") << B{"repo", "src/a.txt", "a\nb\nc\n", "a\nB\nc\n", false, L{1}};
    QTest::addRow("outside any repository") << B{"", "a.txt", {}, "a\nb\n", false, L{}};
    QTest::addRow("multi-byte repository name") << B{"R\u00E9p\u00F6 \u6F22\u5B57 \U0001F600",
                                                     "sub dir/\u30D5\u30A1\u30A4\u30EB.txt", "one\ntwo\n", "one\nTWO\n",
                                                     false, L{1}};
    QTest::addRow("opened through a linked folder") << B{"repo", "src/a.txt", "a\nb\n", "A\nb\n", true, L{0}};
    QTest::addRow("new file in the repository") << B{"repo", "new.txt", {}, "x\n", false, L{}};
    QTest::addRow("committed content that is not UTF-8") << B{"repo", "latin.txt", "caf\xE9\n", "caf\xC3\xA9\n", false,
                                                              L{}};
}

void TestEditorFiles::headBaseline()
{
    QFETCH(Baseline, c);
    QTemporaryDir dir;
    const QString root = dir.filePath(c.repo);
    if (!c.repo.isEmpty()) {
        initGitRepo(root);
        writeFile(root, QStringLiteral("README"), "readme\n");
        if (!c.committed.isNull()) {
            writeFile(root, c.file, c.committed);
        }
        commitAll(root);
    }
    writeFile(root, c.file, c.onDisk);
    QString path = QDir(root).filePath(c.file);
    if (c.throughLink) {
        QVERIFY(QFile::link(root, dir.filePath(QStringLiteral("link"))));
        path = dir.filePath(QStringLiteral("link/") + c.file);
    }
    EditorViewModel editor;
    editor.openFile(path);
    QCOMPARE(marks(editor), QList<qint64>{});  // the loaded text is the first baseline
    if (c.marked.isEmpty()) {
        settleBackgroundWork();
        QCOMPARE(marks(editor), c.marked);
    } else {
        QTRY_COMPARE(marks(editor), c.marked);
        QCOMPARE(EditorViewModel::gitHeadContent(path), std::optional<QByteArray>(c.committed));
    }
}

// A committed text equal to the file's is held once: the baseline is the loaded tree itself.
// Any difference, however small or far in, gives a baseline of its own with the committed text.
void TestEditorFiles::unchangedBaselineSharesTheText_data()
{
    QTest::addColumn<QByteArray>("committed");
    QTest::addColumn<QByteArray>("onDisk");
    const QByteArray big = QByteArray("int value = 42;\n").repeated(40000);
    const QByteArray mixed = QStringLiteral("漢字 café e\u0301 👍🏽 🇫🇷\r\n").toUtf8().repeated(5000);
    QTest::addRow("big ASCII file") << big << big;
    QTest::addRow("mixed scripts and CR LF") << mixed << mixed;
    QTest::addRow("Latin-1 letters") << QByteArray("Grüße\n").repeated(3000) << QByteArray("Grüße\n").repeated(3000);
    QTest::addRow("one byte changed at the end") << big << big.left(big.size() - 2) + "X\n";
    QTest::addRow("committed is longer") << big + "more\n" << big;
    QTest::addRow("committed is shorter") << big.left(big.size() - 1) << big;
    QTest::addRow("precomposed against combining") << QStringLiteral("caf\u00e9\n").toUtf8()
                                                   << QStringLiteral("cafe\u0301\n").toUtf8();
}

void TestEditorFiles::unchangedBaselineSharesTheText()
{
    QFETCH(QByteArray, committed);
    QFETCH(QByteArray, onDisk);
    QTemporaryDir dir;
    initGitRepo(dir.path());
    writeFile(dir.path(), QStringLiteral("f.txt"), committed);
    commitAll(dir.path());
    writeFile(dir.path(), QStringLiteral("f.txt"), onDisk);
    EditorViewModel editor;
    editor.openFile(dir.filePath(QStringLiteral("f.txt")));
    const VeskNodePtr loaded = editor.lastSavedContent();
    QVERIFY(loaded);
    settleBackgroundWork();  // the committed text has arrived
    QCOMPARE(editor.document()->original() == loaded, committed == onDisk);
    QCOMPARE(editor.document()->original()->toUtf8(), committed);
    QCOMPARE(editor.document()->text(), QString::fromUtf8(onDisk));
}

// A big file shows its first part at once: readable, scrollable, not yet editable, never
// saved; the whole text follows, and edits work from then on.
void TestEditorFiles::bigFileOpensInStages_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addRow("ASCII") << QByteArray("    value = compute(alpha, beta) + offset * 42;\n");
    QTest::addRow("mixed scripts, CR LF") << QStringLiteral("漢字 café e\u0301 👍🏽 🇫🇷 한국어\r\n").toUtf8();
}

void TestEditorFiles::bigFileOpensInStages()
{
    QFETCH(QByteArray, line);
    QTemporaryDir dir;
    const QByteArray content = line.repeated(int((12 << 20) / line.size()));
    const QString path = writeFile(dir.path(), QStringLiteral("big.txt"), content);
    const qint64 lineCount = content.count('\n') + 1;
    EditorViewModel editor;
    openText(editor, dir, QStringLiteral("before\n"), QStringLiteral("small.txt"));
    editor.openFile(path);
    QVERIFY(editor.isLoading());
    QCOMPARE(editor.currentFileName(), QStringLiteral("big.txt"));
    QCOMPARE(editor.document()->line(0), QString::fromUtf8(line).remove(u'\r').remove(u'\n'));
    QVERIFY(editor.document()->lineCount() > 100);
    QVERIFY(editor.document()->lineCount() < lineCount);
    // Reading and moving work; edits and saves wait for the whole text.
    editor.moveCursorsDown(false);
    QCOMPARE(editor.cursors().first().line, 1);
    editor.insertAtCursors(QStringLiteral("typed"));
    editor.paste(QStringLiteral("pasted\n"));
    editor.deleteAtCursors();
    editor.indentLines(0, 3, false);
    QVERIFY(!editor.hasUnsavedEdits());
    editor.saveAndWait();
    QCOMPARE(readFile(path), content);
    QTRY_VERIFY(!editor.isLoading());
    QCOMPARE(editor.document()->lineCount(), lineCount);
    QCOMPARE(editor.document()->vesk()->toUtf8(), content);
    QCOMPARE(editor.cursors().first().line, 1);  // the caret stays where the reader left it
    QVERIFY(!editor.hasUnsavedEdits());
    editor.insertAtCursors(QStringLiteral("typed"));
    QVERIFY(editor.document()->line(1).startsWith(QStringLiteral("typed")));
    editor.saveAndWait();
    QVERIFY(readFile(path).startsWith(line + "typed"));
}

// A restored caret or a go-to-line past the part read so far is taken once the line is there;
// carets the user placed meanwhile win.
void TestEditorFiles::caretPlacedPastTheFirstPart_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("taken");
    QTest::addRow("restored caret") << QStringLiteral("place") << true;
    QTest::addRow("go to line") << QStringLiteral("goto") << true;
    QTest::addRow("the user moved the caret since") << QStringLiteral("moved") << false;
}

void TestEditorFiles::caretPlacedPastTheFirstPart()
{
    QFETCH(QString, how);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("big.txt"), QByteArray("0123456789\n").repeated(1500000));
    EditorViewModel editor;
    editor.openFile(path);
    QVERIFY(editor.isLoading());
    const qint64 target = 1400000;
    QVERIFY(editor.document()->lineCount() < target);
    if (how == u"goto") {
        editor.goToLine(target, 4);
    } else {
        editor.placeCaret(target, 4);
    }
    QCOMPARE(editor.cursors().first().line, editor.document()->lineCount() - 1);
    if (how == u"moved") {
        editor.setCursors({TextCursor::at(5, 2)});
    }
    QTRY_VERIFY(!editor.isLoading());
    QCOMPARE(editor.cursors().first().line, taken ? target : 5);
    QCOMPARE(editor.cursors().first().column, taken ? 4 : 2);
    if (taken) {
        QCOMPARE(editor.minimapScrollTarget(), std::optional<qint64>(target));
    }
}

// A bad byte near the end of a 50 MB file: the open error, and the file before is back as it
// was, carets and all.
void TestEditorFiles::failedLoadKeepsThePreviousFile()
{
    QTemporaryDir dir;
    const QByteArray good = QByteArray("    value = compute(alpha, beta) + offset * 42;\n").repeated(50 * 1024 * 1024 / 48);
    const QString path = writeFile(dir.path(), QStringLiteral("big.txt"), good + "caf\xE9\n" + "end\n");
    EditorViewModel editor;
    const QString small = openText(editor, dir, QStringLiteral("one\ntwo\nthree\n"), QStringLiteral("small.txt"));
    editor.goToLine(2, 1);
    const QList<TextCursor> carets = editor.cursors();
    VeskDocument *before = editor.document();
    editor.openFile(path);
    QVERIFY(editor.isLoading());
    QTRY_VERIFY(!editor.isLoading());
    QCOMPARE(editor.openError(),
             std::optional<QString>(QStringLiteral("\u201Cbig.txt\u201D could not be opened: it is not UTF-8 text.")));
    QCOMPARE(editor.currentFilePath(), std::optional<QString>(small));
    QCOMPARE(editor.currentFileName(), QStringLiteral("small.txt"));
    QCOMPARE(editor.document(), before);
    QCOMPARE(editor.document()->text(), QStringLiteral("one\ntwo\nthree\n"));
    QCOMPARE(editor.cursors(), carets);
    QVERIFY(!editor.hasUnsavedEdits());
    editor.insertAtCursors(QStringLiteral("x"));
    editor.saveAndWait();
    QCOMPARE(readFile(small), QByteArray("one\ntwo\ntxhree\n"));
}

// Opening another file, closing the file or dropping the editor while a big file loads stops
// the load: it never lands later, and what it read is let go.
void TestEditorFiles::loadGivesWay_data()
{
    QTest::addColumn<QString>("how");
    QTest::addRow("another file opened") << QStringLiteral("open");
    QTest::addRow("the file closed") << QStringLiteral("close");
    QTest::addRow("the editor gone") << QStringLiteral("delete");
}

void TestEditorFiles::loadGivesWay()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("big.txt"), QByteArray("some text\n").repeated(1200000));
    const QString other = writeFile(dir.path(), QStringLiteral("other.txt"), "other\n");
    auto editor = std::make_unique<EditorViewModel>();
    editor->openFile(path);
    QVERIFY(editor->isLoading());
    std::weak_ptr<const VeskNode> partial = editor->document()->vesk();
    if (how == u"open") {
        editor->openFile(other);
        QCOMPARE(editor->currentFilePath(), std::optional<QString>(other));
    } else if (how == u"close") {
        editor->closeFile();
        QCOMPARE(editor->currentFilePath(), std::optional<QString>());
    } else {
        editor.reset();
    }
    settleBackgroundWork();
    QVERIFY(partial.expired());
    if (editor) {
        QVERIFY(!editor->isLoading());
        QCOMPARE(editor->document()->text(), how == u"open" ? QStringLiteral("other\n") : QString());
    }
}

// A committed text that arrives after another file was opened, or after the editor is gone,
// goes nowhere; a refresh after a commit takes the new HEAD.
void TestEditorFiles::baselineFollowsTheOpenFile()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("repo"));
    initGitRepo(root);
    const QString inRepo = writeFile(root, QStringLiteral("a.txt"), "a\nb\nc\n");
    commitAll(root);
    writeFile(root, QStringLiteral("a.txt"), "a\nB\nc\n");
    const QString outside = writeFile(dir.path(), QStringLiteral("b.txt"), "a\nB\nc\n");

    EditorViewModel editor;
    editor.openFile(inRepo);
    editor.openFile(outside);
    settleBackgroundWork();
    QCOMPARE(marks(editor), QList<qint64>{});

    auto *gone = new EditorViewModel;
    gone->openFile(inRepo);
    delete gone;
    settleBackgroundWork();

    editor.openFile(inRepo);
    QTRY_COMPARE(marks(editor), QList<qint64>{1});
    commitAll(root);
    editor.refreshGitBaseline();
    QTRY_COMPARE(marks(editor), QList<qint64>{});
}

void TestEditorFiles::headBaselineThroughLinks_data()
{
    QTest::addColumn<QString>("setup");  // run in the repository before the commit
    QTest::addColumn<QString>("after");  // run after the commit
    QTest::addColumn<QString>("open");
    QTest::addColumn<QByteArray>("committed");  // null: no baseline
    QTest::addColumn<QList<qint64>>("marked");
    using L = QList<qint64>;
    const QString real = "printf 'a\\nb\\n' > real.txt; ";
    const QString change = "printf 'a\\nB\\n' > real.txt";
    QTest::addRow("committed link to a file inside") << real + "ln -s real.txt link.txt" << change << "link.txt"
                                                     << QByteArray("a\nb\n") << L{1};
    QTest::addRow("chain of committed links") << real + "ln -s real.txt mid.txt; ln -s mid.txt link.txt" << change
                                              << "link.txt" << QByteArray("a\nb\n") << L{1};
    QTest::addRow("link into a folder and back") << "mkdir d; " + real + "ln -s ../real.txt d/link.txt" << change
                                                 << "d/link.txt" << QByteArray("a\nb\n") << L{1};
    QTest::addRow("committed link leading outside") << "printf 'a\\nb\\n' > ../outside.txt; ln -s ../outside.txt link.txt"
                                                    << "printf 'a\\nB\\n' > ../outside.txt" << "link.txt"
                                                    << QByteArray() << L{};
    QTest::addRow("absolute link leading outside") << "printf 'a\\n' > ../abs.txt; ln -s \"$(cd .. && pwd)/abs.txt\" link.txt"
                                                   << "" << "link.txt" << QByteArray() << L{};
    QTest::addRow("file reached through a linked folder inside")
        << "mkdir src; printf 'a\\nb\\n' > src/a.txt; ln -s src alias" << "printf 'A\\nb\\n' > src/a.txt"
        << "alias/a.txt" << QByteArray("a\nb\n") << L{0};
    QTest::addRow("a folder in the commit, a file on disk") << "mkdir thing; echo x > thing/f"
                                                            << "rm -r thing; printf 'a\\n' > thing" << "thing"
                                                            << QByteArray() << L{};
    QTest::addRow("a name that looks like a pattern") << "printf 'a\\nb\\n' > '*.txt'; printf 'z\\n' > '!.txt'"
                                                      << "printf 'a\\nB\\n' > '*.txt'" << "*.txt"
                                                      << QByteArray("a\nb\n") << L{1};
}

// A link committed in HEAD stands for the file it leads to, as long as that lies inside the
// repository; a path is resolved before git is asked about it.
void TestEditorFiles::headBaselineThroughLinks()
{
    QFETCH(QString, setup);
    QFETCH(QString, after);
    QFETCH(QString, open);
    QFETCH(QByteArray, committed);
    QFETCH(QList<qint64>, marked);
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("repo"));
    initGitRepo(root);
    run(QStringLiteral("/bin/sh"), {QStringLiteral("-ec"), setup}, root);
    commitAll(root);
    run(QStringLiteral("/bin/sh"), {QStringLiteral("-ec"), after}, root);
    const QString path = root + u'/' + open;
    QCOMPARE(EditorViewModel::gitHeadContent(path), committed.isNull() ? std::nullopt : std::optional(committed));
    EditorViewModel editor;
    editor.openFile(path);
    QVERIFY2(!editor.openError(), qPrintable(editor.openError().value_or(QString())));
    settleBackgroundWork();
    QCOMPARE(marks(editor), marked);
    QCOMPARE(editor.baselineError(), std::optional<QString>());
}

void TestEditorFiles::byteOrderMark_data()
{
    QTest::addColumn<QByteArray>("committed");  // null: no repository
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<QList<qint64>>("marked");
    using L = QList<qint64>;
    const QByteArray bom("\xEF\xBB\xBF");
    QTest::addRow("kept outside a repository") << QByteArray() << bom + "a\nb\n" << L{};
    QTest::addRow("in both, a line changed") << bom + "a\nb\n" << bom + "a\nB\n" << L{1};
    QTest::addRow("added since the commit") << QByteArray("a\nb\n") << bom + "a\nb\n" << L{0};
    QTest::addRow("removed since the commit") << bom + "a\nb\n" << QByteArray("a\nb\n") << L{0};
    QTest::addRow("an only line with a mark") << bom + "x" << bom + "x" << L{};
    QTest::addRow("a mark and nothing else") << QByteArray("") << bom << L{0};
}

// The mark belongs to the file, not to its text: it is not shown, saving writes it back, and
// adding or removing it changes the first line against the commit.
void TestEditorFiles::byteOrderMark()
{
    QFETCH(QByteArray, committed);
    QFETCH(QByteArray, onDisk);
    QFETCH(QList<qint64>, marked);
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("repo"));
    QDir().mkpath(root);
    if (!committed.isNull()) {
        initGitRepo(root);
        writeFile(root, QStringLiteral("f.txt"), committed);
        commitAll(root);
    }
    const QString path = writeFile(root, QStringLiteral("f.txt"), onDisk);
    const QByteArray bom("\xEF\xBB\xBF");
    EditorViewModel editor;
    editor.openFile(path);
    QCOMPARE(editor.document()->text(), QString::fromUtf8(onDisk.startsWith(bom) ? onDisk.mid(3) : onDisk));
    QCOMPARE(editor.hasByteOrderMark(), onDisk.startsWith(bom));
    settleBackgroundWork();
    QCOMPARE(marks(editor), marked);

    editor.goToLine(editor.document()->lineCount() - 1, 0);
    editor.insertAtCursors(QStringLiteral("\u00E9"));
    editor.saveAndWait();
    QCOMPARE(editor.saveError(), std::optional<QString>());
    const QByteArray saved = readFile(path);
    QCOMPARE(saved.startsWith(bom), onDisk.startsWith(bom));
    QCOMPARE(QString::fromUtf8(onDisk.startsWith(bom) ? saved.mid(3) : saved), editor.document()->text());
    editor.forceReloadFromDisk();
    QVERIFY(!editor.document()->text().startsWith(QChar(0xFEFF)));
}

// Two lookups of the committed version racing: the one asked for last wins, whichever ends last.
void TestEditorFiles::olderBaselineNeverReplacesNewer()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("repo"));
    initGitRepo(root);
    const QString path = writeFile(root, QStringLiteral("a.txt"), "a\nb\nc\n");
    commitAll(root);
    // The first object read waits for a release file; later ones go straight through.
    const QString hold = dir.filePath(QStringLiteral("hold"));
    const QString released = dir.filePath(QStringLiteral("released"));
    writeFile(dir.path(), QStringLiteral("hold"), "");
    setToolPath(Tool::Git, writeScript(dir.path(), QStringLiteral("git"),
                                       QStringLiteral("case \"$2\" in cat-file) if rm '%1' 2>/dev/null; then "
                                                      "touch '%1.taken'; while [ ! -e '%2' ]; do sleep 0.02; done; fi;; esac\n"
                                                      "exec /usr/bin/git \"$@\"")
                                           .arg(hold, released)
                                           .toUtf8()));
    const auto restore = qScopeGuard([] { resetToolPaths(); });
    writeFile(root, QStringLiteral("a.txt"), "a\nB\nc\n");
    EditorViewModel editor;
    editor.openFile(path);  // its lookup reads the first commit's object and waits
    QTRY_VERIFY(QFile::exists(hold + QStringLiteral(".taken")));
    writeFile(root, QStringLiteral("a.txt"), "a\nb\nC\n");
    commitAll(root);
    writeFile(root, QStringLiteral("a.txt"), "a\nB\nC\n");
    editor.forceReloadFromDisk();
    editor.refreshGitBaseline();  // the second commit, read at once
    QTRY_COMPARE(marks(editor), QList<qint64>{1});
    writeFile(dir.path(), QStringLiteral("released"), "");
    settleBackgroundWork();
    QCOMPARE(marks(editor), QList<qint64>{1});
    QCOMPARE(editor.document()->originalLine(2), QStringLiteral("C"));
}

// When the committed version cannot be had, the status row says so instead of showing a file
// without marks as if nothing had changed.
void TestEditorFiles::missingBaselineIsReported()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("repo"));
    initGitRepo(root);
    const QString path = writeFile(root, QStringLiteral("a.txt"), "a\n");
    commitAll(root);
    setToolPath(Tool::Git, writeScript(dir.path(), QStringLiteral("git"),
                                       "case \"$2\" in cat-file) exit 128;; esac\nexec /usr/bin/git \"$@\""));
    const auto restore = qScopeGuard([] { resetToolPaths(); });
    EditorViewModel editor;
    editor.openFile(path);
    QTRY_VERIFY(editor.baselineError().has_value());
    QVERIFY2(editor.baselineError()->contains(QStringLiteral("a.txt")), qPrintable(*editor.baselineError()));
    resetToolPaths();
    editor.refreshGitBaseline();
    QTRY_COMPARE(editor.baselineError(), std::optional<QString>());
}

// A file the user may write in a folder that takes no new files is written in place.
void TestEditorFiles::savingInAFolderThatRefusesNewFiles()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("sub"));
    const QString path = writeFile(dir.path(), QStringLiteral("sub/f.txt"), "saved\n");
    EditorViewModel editor;
    editor.openFile(path);
    editor.insertAtCursors(QStringLiteral("x"));
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    const auto mend = qScopeGuard([&] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
    editor.saveAndWait();
    QCOMPARE(editor.saveError(), std::optional<QString>());
    QCOMPARE(readFile(path), QByteArray("xsaved\n"));
    QCOMPARE(entryNames(folder), QStringList{QStringLiteral("f.txt")});
    QVERIFY(!editor.hasUnsavedEdits());
}

void TestEditorFiles::conflictDiff_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("diffMissing");
    QTest::addColumn<QList<qint64>>("removed");
    QTest::addColumn<QList<qint64>>("added");
    using L = QList<qint64>;
    QTest::addRow("same text") << "a\nb\n" << "a\nb\n" << false << L{} << L{};
    QTest::addRow("one line changed") << "a\nb\nc\n" << "a\nB\nc\n" << false << L{1} << L{1};
    QTest::addRow("lines that start with dashes and pluses") << "x\n-- note\ny\n" << "x\n++ plus\ny\n" << false << L{1}
                                                             << L{1};
    QTest::addRow("no final line feed") << "a\nb" << "a\nb\nc" << false << L{1} << L{1, 2};
    QTest::addRow("from nothing") << "" << "a\nb\n" << false << L{} << L{0, 1};
    QTest::addRow("diff cannot run") << "a\n" << "b\n" << true << L{} << L{};
}

void TestEditorFiles::conflictDiff()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, diffMissing);
    QFETCH(QList<qint64>, removed);
    QFETCH(QList<qint64>, added);
    QTemporaryDir dir;
    if (diffMissing) {
        setToolPath(Tool::Diff, dir.filePath(QStringLiteral("no-diff")));
    }
    // A temporary folder of this test's own: other test programs running at the same time
    // write the same kind of files into the shared one.
    QTemporaryDir privateTemp;
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", privateTemp.path().toLocal8Bit());
    const conflict::SideBySideDiff diff = conflict::computeDiff(a, b);
    resetToolPaths();
    const QStringList left = QDir(userTempDir()).entryList(QDir::Files | QDir::Hidden);
    savedTemp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", savedTemp);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));  // no temporary file left behind
    QCOMPARE(sortedLines(diff.removed), removed);
    QCOMPARE(sortedLines(diff.added), added);
}

// A file named before it exists opens empty and is made by the first save, never by opening it,
// never through a link, and never over a file something else made meanwhile.
void TestEditorFiles::newFile_data()
{
    QTest::addColumn<QString>("name");     // relative to the folder; "dangling" is a link to nowhere
    QTest::addColumn<QString>("actions");  // t: type "x", s: save, a: auto-save, m: another program makes the file
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QByteArray>("onDisk");  // null: no file
    QTest::addColumn<bool>("unsaved");

    QTest::addRow("opened, nothing done") << "new.txt" << "" << true << QByteArray() << false;
    QTest::addRow("saved while empty") << "new.txt" << "s" << true << QByteArray("") << false;
    QTest::addRow("auto-saved while empty") << "new.txt" << "a" << true << QByteArray() << false;
    QTest::addRow("typed and auto-saved") << "new.txt" << "ta" << true << QByteArray("x") << false;
    QTest::addRow("typed and saved twice") << "new.txt" << "tsts" << true << QByteArray("xx") << false;
    QTest::addRow("made by another program, then saved") << "new.txt" << "tms" << true << QByteArray("theirs")
                                                          << true;
    QTest::addRow("in a folder that does not exist") << "no/new.txt" << "ts" << false << QByteArray() << false;
    QTest::addRow("through a link to nowhere") << "dangling" << "ts" << false << QByteArray() << false;
}

void TestEditorFiles::newFile()
{
    QFETCH(QString, name);
    QFETCH(QString, actions);
    QFETCH(bool, opens);
    QFETCH(QByteArray, onDisk);
    QFETCH(bool, unsaved);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (name == u"dangling") {
        QVERIFY(makeSymlink(dir.filePath(QStringLiteral("nowhere.txt")), path));
    }
    EditorViewModel editor;
    editor.openFile(path, EditorViewModel::MissingFile::startEmpty);
    QCOMPARE(editor.currentFilePath().has_value(), opens);
    QCOMPARE(editor.openError().has_value(), !opens);
    for (const QChar action : actions) {
        if (action == u't') {
            editor.insertAtCursors(QStringLiteral("x"));
        } else if (action == u's') {
            editor.saveAndWait();
        } else if (action == u'a') {
            editor.autoSaveAndWait();
        } else if (action == u'm') {
            writeFile(dir.path(), name, "theirs");
        }
    }
    QCOMPARE(QFileInfo::exists(path) ? readFile(path) : QByteArray(), onDisk);
    QCOMPARE(QFileInfo::exists(path), !onDisk.isNull());
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("nowhere.txt"))));
    if (opens) {
        QCOMPARE(editor.hasUnsavedEdits(), unsaved);
        QCOMPARE(editor.isNewFile(), onDisk.isNull() || actions.contains(u'm'));
        QCOMPARE(editor.pendingConflict(), actions.contains(u'm'));
    }
}

QTEST_GUILESS_MAIN(TestEditorFiles)
#include "tst_editor_files.moc"
