#include "editor/conflict_diff.h"
#include "editor_test_util.h"
#include "platform/background.h"
#include "platform/temp_files.h"
#include "platform/tool_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace vesk;
using namespace vesk::test;

namespace {

constexpr qint64 second = 1'000'000'000;
const FileTime openedAt{1'600'000'000 * second};

QList<qint64> marks(const EditorViewModel &editor)
{
    return sortedLines(editor.document()->modifiedLines());
}

// Lets every background hand-back reach the main thread.
void settleBackgroundWork()
{
    waitForBackgroundWork();
    QCoreApplication::processEvents();
}

// Writes `content` to `path` and gives it a modification time `offset` seconds from openedAt.
void changeOnDisk(const QString &path, const QByteArray &content, qint64 offset)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    QVERIFY(setModificationTime(path, FileTime{openedAt.nanoseconds + offset * second}));
}

} // namespace

class TestEditorFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openSetsTheFileState();
    void openFailures_data();
    void openFailures();
    void lifecycle_data();
    void lifecycle();
    void reloadKeepsTheCaretLine();
    void emptyFileIsAFileLikeAnyOther();
    void saveKeepsModeAndLinks();
    void writeFailures_data();
    void writeFailures();
    void openingAnotherFileKeepsUnsavedEdits_data();
    void openingAnotherFileKeepsUnsavedEdits();
    void headBaseline_data();
    void headBaseline();
    void lateBaselineGoesNowhere();
    void refreshGitBaseline();
    void conflictDiff_data();
    void conflictDiff();
};

void TestEditorFiles::openSetsTheFileState()
{
    QTemporaryDir dir;
    EditorViewModel editor;
    QStringList opened;
    editor.setOnFileOpened([&opened](const QString &path) { opened.append(path); });
    const QString first = writeFile(dir.path(), QStringLiteral("a.txt"), "one\r\ntwo");
    const QString second = writeFile(dir.path(), QStringLiteral("dir/b.txt"), "b");
    editor.openFile(first);
    editor.setCursors(parseCursors(QStringLiteral("1:2[0:0] 0:1")));
    editor.setPendingConflict(true);
    editor.openFile(second);
    QCOMPARE(editor.currentFilePath(), std::optional<QString>(second));
    QCOMPARE(editor.currentFileName(), QStringLiteral("b.txt"));
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("0:0"));
    QVERIFY(!editor.pendingConflict());
    QVERIFY(!editor.hasUnsavedEdits());
    QCOMPARE(editor.lastKnownModDate(), modificationTime(second));
    QCOMPARE(opened, (QStringList{first, second}));
    QCOMPARE(editor.openError(), std::optional<QString>());
}

void TestEditorFiles::openFailures_data()
{
    QTest::addColumn<QByteArray>("content");  // null: no file; "<dir>": a folder
    QTest::addColumn<bool>("opens");
    QTest::addRow("missing file") << QByteArray() << false;
    QTest::addRow("a folder") << QByteArray("<dir>") << false;
    QTest::addRow("overlong slash") << QByteArray("a\xC0\xAF") << false;
    QTest::addRow("stray continuation byte") << QByteArray("abcdefghij\x80") << false;
    QTest::addRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::addRow("cut-off sequence") << QByteArray("ab\xE2\x82") << false;
    QTest::addRow("above the last code point") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::addRow("valid multi-byte text opens") << QByteArray("caf\xC3\xA9 \xE6\xBC\xA2 \xF0\x9F\x91\x8D\n") << true;
}

void TestEditorFiles::openFailures()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, opens);
    QTemporaryDir dir;
    EditorViewModel editor;
    const QString previous = openText(editor, dir, QStringLiteral("keep\n"), QStringLiteral("previous.txt"));
    editor.insertAtCursors(QStringLiteral("E"));
    const QString path = dir.filePath(QStringLiteral("target"));
    if (content == "<dir>") {
        QVERIFY(QDir().mkpath(path));
    } else if (!content.isNull()) {
        writeFile(dir.path(), QStringLiteral("target"), content);
    }
    editor.openFile(path);
    QCOMPARE(readFile(previous), QByteArray("Ekeep\n"));  // auto-saved whatever happened next
    QCOMPARE(editor.currentFilePath(), std::optional<QString>(opens ? path : previous));
    QCOMPARE(editor.document()->text(), opens ? QString::fromUtf8(content) : QStringLiteral("Ekeep\n"));
    QCOMPARE(editor.openError().has_value(), !opens);
    if (!opens) {
        QVERIFY(editor.openError()->contains(QStringLiteral("target")));
    }
}

void TestEditorFiles::lifecycle_data()
{
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("disk");     // "", "newer", "older" or "deleted"
    QTest::addColumn<QString>("actions");  // comma-separated
    QTest::addColumn<bool>("conflict");
    QTest::addColumn<QByteArray>("diskAfter");
    QTest::addColumn<QByteArray>("editorAfter");

    const QByteArray loaded = "one\ntwo\n";
    const QByteArray edited = "Xone\ntwo\n";
    const QByteArray external = "disk\n";
    QTest::addRow("clean: a newer disk copy is taken over") << false << "newer" << "reload" << false << external
                                                            << external;
    QTest::addRow("clean: an older date counts as unchanged") << false << "older" << "reload" << false << external
                                                              << loaded;
    QTest::addRow("clean: save takes the newer disk copy over without writing")
        << false << "newer" << "save" << false << external << external;
    QTest::addRow("dirty: save writes") << true << "" << "save" << false << edited << edited;
    QTest::addRow("dirty: an older disk date does not stop a save") << true << "older" << "save" << false << edited
                                                                    << edited;
    QTest::addRow("dirty: reload raises the conflict") << true << "newer" << "reload" << true << external << edited;
    QTest::addRow("dirty: save raises the conflict") << true << "newer" << "save" << true << external << edited;
    QTest::addRow("dirty: auto-save neither writes nor raises") << true << "newer" << "autoSave" << false << external
                                                                << edited;
    QTest::addRow("conflict: saving and reloading are suspended")
        << true << "newer" << "reload,save,autoSave,reload" << true << external << edited;
    QTest::addRow("conflict: keep my edits") << true << "newer" << "reload,forceSave,reload" << false << edited
                                             << edited;
    QTest::addRow("conflict: reload from disk") << true << "newer" << "save,forceReload,reload" << false << external
                                                << external;
    QTest::addRow("conflict: cancel, then the next check raises it again")
        << true << "newer" << "reload,cancel,reload" << true << external << edited;
    QTest::addRow("conflict: cancel, then save raises it again") << true << "newer" << "save,cancel,save" << true
                                                                 << external << edited;
    QTest::addRow("deleted file: reload ignores it, save writes it anew")
        << true << "deleted" << "reload,save" << false << edited << edited;
    QTest::addRow("deleted file: clean editor does not write") << false << "deleted" << "save,autoSave" << false
                                                               << QByteArray() << loaded;
}

void TestEditorFiles::lifecycle()
{
    QFETCH(bool, edit);
    QFETCH(QString, disk);
    QFETCH(QString, actions);
    QFETCH(bool, conflict);
    QFETCH(QByteArray, diskAfter);
    QFETCH(QByteArray, editorAfter);
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("f.txt"), "one\ntwo\n");
    QVERIFY(setModificationTime(path, openedAt));
    EditorViewModel editor;
    editor.openFile(path);
    if (edit) {
        editor.insertAtCursors(QStringLiteral("X"));
    }
    if (disk == u"deleted") {
        QVERIFY(QFile::remove(path));
    } else if (!disk.isEmpty()) {
        changeOnDisk(path, "disk\n", disk == u"newer" ? 10 : -10);
    }
    for (const QString &action : actions.split(u',')) {
        if (action == u"reload") {
            editor.reloadIfChanged();
        } else if (action == u"save") {
            editor.save();
        } else if (action == u"autoSave") {
            editor.autoSave();
        } else if (action == u"forceSave") {
            editor.forceSaveToDisk();
        } else if (action == u"forceReload") {
            editor.forceReloadFromDisk();
        } else {
            editor.setPendingConflict(false);
        }
    }
    QCOMPARE(editor.pendingConflict(), conflict);
    QCOMPARE(QFile::exists(path) ? readFile(path) : QByteArray(), diskAfter);
    QCOMPARE(editor.document()->text().toUtf8(), editorAfter);
    QCOMPARE(editor.saveError(), std::optional<QString>());
}

void TestEditorFiles::reloadKeepsTheCaretLine()
{
    QTemporaryDir dir;
    EditorViewModel editor;
    const QString path = openText(editor, dir, QStringLiteral("0\n1\n2\n3\n4\n5"));
    QVERIFY(setModificationTime(path, openedAt));
    editor.openFile(path);
    editor.setCursors(parseCursors(QStringLiteral("4:1[0:0] 1:0")));
    changeOnDisk(path, "a\nbb\nccc", 1);
    editor.reloadIfChanged();
    QCOMPARE(describeCursors(editor.cursors()), QStringLiteral("2:0"));
    QCOMPARE(editor.lastKnownModDate(), std::optional<FileTime>(FileTime{openedAt.nanoseconds + second}));
}

void TestEditorFiles::emptyFileIsAFileLikeAnyOther()
{
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("empty.txt"), QByteArray());
    QVERIFY(setModificationTime(path, openedAt));
    EditorViewModel editor;
    QVERIFY(!editor.lastSavedContent());  // nothing read or written yet
    editor.openFile(path);
    QVERIFY(editor.lastSavedContent());
    QCOMPARE(editor.lastSavedContent()->length(), 0);
    QVERIFY(!editor.hasUnsavedEdits());
    editor.save();
    QCOMPARE(modificationTime(path), std::optional<FileTime>(openedAt));  // nothing to write
    changeOnDisk(path, "filled\n", 5);
    editor.reloadIfChanged();
    QVERIFY(!editor.pendingConflict());
    QCOMPARE(editor.document()->text(), QStringLiteral("filled\n"));

    // Saving twice without edits writes once.
    editor.insertAtCursors(QStringLiteral("x"));
    editor.save();
    QVERIFY(setModificationTime(path, openedAt));  // older than what the editor saw: no change
    editor.save();
    QCOMPARE(modificationTime(path), std::optional<FileTime>(openedAt));
    QCOMPARE(readFile(path), QByteArray("xfilled\n"));
}

void TestEditorFiles::saveKeepsModeAndLinks()
{
    QTemporaryDir dir;
    const QString target = writeFile(dir.path(), QStringLiteral("real/target.sh"), "echo hi\n");
    QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup));
    const QString link = dir.filePath(QStringLiteral("link.sh"));
    QVERIFY(QFile::link(QStringLiteral("real/target.sh"), link));
    EditorViewModel editor;
    editor.openFile(link);
    editor.insertAtCursors(QStringLiteral("# "));
    editor.save();
    QCOMPARE(editor.saveError(), std::optional<QString>());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readFile(target), QByteArray("# echo hi\n"));
    const QFile::Permissions modeBits(0x7077);  // owner, group and others; not the caller's own view
    QCOMPARE(QFileInfo(target).permissions() & modeBits,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup);
    QVERIFY(!editor.hasUnsavedEdits());
}

void TestEditorFiles::writeFailures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addRow("read-only file") << "read-only file";
    QTest::addRow("read-only folder") << "read-only folder";
    QTest::addRow("folder replaced by a file") << "folder replaced";
    QTest::addRow("file size limit stands in for a full disk") << "size limit";
}

void TestEditorFiles::writeFailures()
{
    QFETCH(QString, failure);
    if (failure == u"read-only folder" && ::geteuid() == 0) {
        QSKIP("root writes into read-only folders");
    }
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("sub"));
    const QString path = writeFile(dir.path(), QStringLiteral("sub/f.txt"), "saved\n");
    EditorViewModel editor;
    editor.openFile(path);
    const std::optional<FileTime> seen = editor.lastKnownModDate();
    editor.insertAtCursors(QString(4096, u'x'));
    const QByteArray wanted = QByteArray(4096, 'x') + "saved\n";

    const QFile::Permissions writable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    rlimit limit{};
    std::function<void()> mend;
    if (failure == u"read-only file") {
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        mend = [&] { QFile::setPermissions(path, writable); };
    } else if (failure == u"read-only folder") {
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        mend = [&] { QFile::setPermissions(folder, writable); };
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
    editor.save();
    const std::optional<QString> error = editor.saveError();
    const bool stillDirty = editor.hasUnsavedEdits();
    const std::optional<FileTime> seenAfterFailure = editor.lastKnownModDate();
    mend();
    QVERIFY(error.has_value());
    QVERIFY2(error->contains(QStringLiteral("f.txt")), qPrintable(*error));
    QVERIFY(stillDirty);
    QCOMPARE(seenAfterFailure, seen);
    if (failure != u"folder replaced") {
        QCOMPARE(readFile(path), QByteArray("saved\n"));
    }
    editor.save();
    QCOMPARE(editor.saveError(), std::optional<QString>());
    QCOMPARE(readFile(path), wanted);
    QVERIFY(!editor.hasUnsavedEdits());
}

void TestEditorFiles::openingAnotherFileKeepsUnsavedEdits_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("conflict");
    QTest::addRow("the auto-save fails") << true << false;
    QTest::addRow("the disk copy is newer") << false << true;
}

void TestEditorFiles::openingAnotherFileKeepsUnsavedEdits()
{
    QFETCH(bool, readOnly);
    QFETCH(bool, conflict);
    QTemporaryDir dir;
    EditorViewModel editor;
    const QString first = openText(editor, dir, QStringLiteral("first\n"), QStringLiteral("first.txt"));
    const QString other = writeFile(dir.path(), QStringLiteral("other.txt"), "other\n");
    editor.insertAtCursors(QStringLiteral("edit "));
    if (readOnly) {
        QVERIFY(QFile::setPermissions(first, QFile::ReadOwner));
    } else {
        changeOnDisk(first, "changed\n", qint64(3600) * 24 * 365 * 100);
    }
    editor.openFile(other);
    QCOMPARE(editor.currentFilePath(), std::optional<QString>(first));
    QCOMPARE(editor.document()->text(), QStringLiteral("edit first\n"));
    QVERIFY(editor.openError().has_value());
    QCOMPARE(editor.saveError().has_value(), readOnly);
    QCOMPARE(editor.pendingConflict(), conflict);
    QFile::setPermissions(first, QFile::ReadOwner | QFile::WriteOwner);
}

void TestEditorFiles::headBaseline_data()
{
    QTest::addColumn<QString>("repo");  // empty: no repository
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("committed");  // null: not committed
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<bool>("throughLink");
    QTest::addColumn<QList<qint64>>("expected");

    QTest::addRow("committed file changed on disk") << "repo" << "src/a.txt" << QByteArray("a\nb\nc\n")
                                                    << QByteArray("a\nB\nc\n") << false << QList<qint64>{1};
    QTest::addRow("outside any repository") << "" << "a.txt" << QByteArray() << QByteArray("a\nb\n") << false
                                            << QList<qint64>{};
    QTest::addRow("multi-byte repository name") << QStringLiteral("R\u00E9p\u00F6 \u6F22\u5B57 \U0001F600")
                                                << QStringLiteral("sub dir/\u30D5\u30A1\u30A4\u30EB.txt")
                                                << QByteArray("one\ntwo\n") << QByteArray("one\nTWO\n") << false
                                                << QList<qint64>{1};
    QTest::addRow("opened through a linked folder") << "repo" << "src/a.txt" << QByteArray("a\nb\n")
                                                    << QByteArray("A\nb\n") << true << QList<qint64>{0};
    QTest::addRow("new file in the repository") << "repo" << "new.txt" << QByteArray() << QByteArray("x\n") << false
                                                << QList<qint64>{};
    QTest::addRow("committed content that is not UTF-8") << "repo" << "latin.txt" << QByteArray("caf\xE9\n")
                                                         << QByteArray("caf\xC3\xA9\n") << false << QList<qint64>{};
}

void TestEditorFiles::headBaseline()
{
    QFETCH(QString, repo);
    QFETCH(QString, file);
    QFETCH(QByteArray, committed);
    QFETCH(QByteArray, onDisk);
    QFETCH(bool, throughLink);
    QFETCH(QList<qint64>, expected);
    QTemporaryDir dir;
    const QString root = dir.filePath(repo);
    if (!repo.isEmpty()) {
        initGitRepo(root);
        writeFile(root, QStringLiteral("README"), "readme\n");
        if (!committed.isNull()) {
            writeFile(root, file, committed);
        }
        commitAll(root);
    }
    writeFile(root, file, onDisk);
    QString path = QDir(root).filePath(file);
    if (throughLink) {
        QVERIFY(QFile::link(root, dir.filePath(QStringLiteral("link"))));
        path = dir.filePath(QStringLiteral("link/") + file);
    }
    EditorViewModel editor;
    editor.openFile(path);
    QCOMPARE(marks(editor), QList<qint64>{});  // the loaded text is the first baseline
    if (expected.isEmpty()) {
        settleBackgroundWork();
        QCOMPARE(marks(editor), expected);
    } else {
        QTRY_COMPARE(marks(editor), expected);
        QCOMPARE(EditorViewModel::gitHeadContent(path), std::optional<QByteArray>(committed));
    }
}

void TestEditorFiles::lateBaselineGoesNowhere()
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
    editor.openFile(outside);  // before the first file's committed text is back
    settleBackgroundWork();
    QCOMPARE(marks(editor), QList<qint64>{});

    auto *gone = new EditorViewModel;
    gone->openFile(inRepo);
    delete gone;
    settleBackgroundWork();  // the hand-back finds no editor and does nothing
}

void TestEditorFiles::refreshGitBaseline()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("repo"));
    initGitRepo(root);
    const QString path = writeFile(root, QStringLiteral("a.txt"), "a\nb\n");
    commitAll(root);
    writeFile(root, QStringLiteral("a.txt"), "a\nB\n");
    EditorViewModel editor;
    editor.openFile(path);
    QTRY_COMPARE(marks(editor), QList<qint64>{1});
    commitAll(root);
    editor.refreshGitBaseline();
    QTRY_COMPARE(marks(editor), QList<qint64>{});
}

void TestEditorFiles::conflictDiff_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("diffMissing");
    QTest::addColumn<QList<qint64>>("removed");
    QTest::addColumn<QList<qint64>>("added");
    QTest::addRow("same text") << "a\nb\n" << "a\nb\n" << false << QList<qint64>{} << QList<qint64>{};
    QTest::addRow("one line changed") << "a\nb\nc\n" << "a\nB\nc\n" << false << QList<qint64>{1} << QList<qint64>{1};
    QTest::addRow("lines that start with dashes and pluses")
        << "x\n-- note\ny\n" << "x\n++ plus\ny\n" << false << QList<qint64>{1} << QList<qint64>{1};
    QTest::addRow("no final line feed") << "a\nb" << "a\nb\nc" << false << QList<qint64>{1} << QList<qint64>{1, 2};
    QTest::addRow("from nothing") << "" << "a\nb\n" << false << QList<qint64>{} << QList<qint64>{0, 1};
    QTest::addRow("diff cannot run") << "a\n" << "b\n" << true << QList<qint64>{} << QList<qint64>{};
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
    const QStringList filter{QStringLiteral("vesk_da_*"), QStringLiteral("vesk_db_*")};
    const qsizetype before = QDir(userTempDir()).entryList(filter).size();
    const conflict::SideBySideDiff diff = conflict::computeDiff(a, b);
    resetToolPaths();
    QCOMPARE(QDir(userTempDir()).entryList(filter).size(), before);
    QCOMPARE(sortedLines(diff.removed), removed);
    QCOMPARE(sortedLines(diff.added), added);
}

QTEST_GUILESS_MAIN(TestEditorFiles)
#include "tst_editor_files.moc"
