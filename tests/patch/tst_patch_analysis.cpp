#include "patch/patch_applier.h"

#include "platform/tool_paths.h"
#include "zip_fixture.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

using namespace vesk;
using namespace vesk::test;

class TestPatchAnalysis : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;  // stands in for the user's temporary directory

private Q_SLOTS:
    void initTestCase() { qputenv("TMPDIR", QFile::encodeName(m_temp.path())); }

    void cleanup()
    {
        resetToolPaths();
        const QStringList leftovers = QDir(m_temp.path()).entryList({"patch_*"}, QDir::AllEntries | QDir::Hidden);
        for (const QString &name : leftovers) {
            QDir(m_temp.filePath(name)).removeRecursively();
        }
        QVERIFY2(QTest::currentTestFailed() || leftovers.isEmpty(), "cancel left the temporary directory");
    }

    void relativePaths_data()
    {
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QStringList>("expected");
        const auto add = [](const char *row, const QList<ZipEntry> &zip, const QStringList &expected) {
            QTest::addRow("%s", row) << zip << expected;
        };
        add("enclosing folder beside __MACOSX", {zipFile("p/src/a.c"), zipFile("p/b"), zipFile("__MACOSX/p/._b")},
            {"b", "src/a.c"});
        add("file beside the folder", {zipFile("p/src/a.c"), zipFile("README")}, {"README", "p/src/a.c"});
        add("one folder holding one file", {zipFile("proj/a.c")}, {"a.c"});
        add("hidden entries and folders skipped",
            {zipFile(".env"), zipFile("p/.git/config"), zipFile("p/a.c"), zipFile("p/sub/.DS_Store")}, {"a.c"});
        add("UTF-8 names", {zipFile("src/ü.txt"), zipFile("Grüße/名前.md")}, {"Grüße/名前.md", "src/ü.txt"});
        add("metadata folder never maps into the repository",
            {zipFile("a.txt"), zipFile("__MACOSX/a.txt"), zipFile("__MACOSX/b.txt")}, {"a.txt"});
        add("folders and hidden files only", {zipFile("empty/", "", 040755), zipFile(".hidden")}, {});
        add("sorted by code point, not UTF-16 unit",
            {zipFile("😀"), zipFile("\xef\xbc\xa1"), zipFile("a"), zipFile("é"), zipFile("B")},
            {"B", "a", "é", "\uFF21", "😀"});
    }

    void relativePaths()
    {
        QFETCH(QList<ZipEntry>, archive);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        makeZip(dir.filePath("reply.zip"), archive);
        const PatchAnalysis analysis = PatchApplier::analyze(dir.filePath("reply.zip"), dir.filePath("repo"));
        QCOMPARE(analysis.errors, QStringList());
        QStringList paths;
        for (const PatchFileEntry &entry : analysis.entries) {
            paths << entry.relativePath;
            QVERIFY(entry.patchFileURL.startsWith(QFileInfo(analysis.tmpDir).canonicalFilePath() + '/'));
            QVERIFY(entry.isNew);
        }
        QCOMPARE(paths, expected);
        const QFileInfo temp(analysis.tmpDir);
        QCOMPARE(temp.absolutePath(), m_temp.path());
        const QRegularExpression name("^patch_[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$");
        QVERIFY(name.match(temp.fileName()).hasMatch());
        PatchApplier::cancel(analysis);
    }

    void lineCounts_data()
    {
        QTest::addColumn<QByteArray>("repoContent");  // null: no file; "/": a folder stands there
        QTest::addColumn<QByteArray>("patchContent");
        QTest::addColumn<qint64>("added");
        QTest::addColumn<qint64>("removed");
        QTest::addRow("new file ending in a line feed") << QByteArray() << QByteArray("a\nb\n") << 3LL << 0LL;
        QTest::addRow("new empty file") << QByteArray() << QByteArray("") << 1LL << 0LL;
        QTest::addRow("new file not UTF-8") << QByteArray() << QByteArray("caf\xe9\n") << 0LL << 0LL;
        QTest::addRow("new file cut off inside a character") << QByteArray() << QByteArray("ab\xc3") << 0LL << 0LL;
        QTest::addRow("identical files") << QByteArray("a\nb\n") << QByteArray("a\nb\n") << 0LL << 0LL;
        QTest::addRow("one line replaced") << QByteArray("a\nb\nc\n") << QByteArray("a\nB\nc\n") << 1LL << 1LL;
        QTest::addRow("lines beginning with -- and ++") << QByteArray("x\n-- a\n--\n") << QByteArray("x\n++ a\n++\n")
                                                        << 2LL << 2LL;
        QTest::addRow("lines like file headers") << QByteArray("--- a\nk\n") << QByteArray("+++ b\nk\n") << 1LL << 1LL;
        QTest::addRow("no final line feed") << QByteArray("a") << QByteArray("a\nb") << 2LL << 1LL;
        QTest::addRow("binary files") << QByteArray("\0\1\2", 3) << QByteArray("\0\1\3", 3) << 0LL << 0LL;
        QTest::addRow("diff output not UTF-8") << QByteArray("caf\xe9\n") << QByteArray("cafe\n") << 0LL << 0LL;
        QTest::addRow("folder at the repository path") << QByteArray("/") << QByteArray("a\n") << 0LL << 0LL;
    }

    void lineCounts()
    {
        QFETCH(QByteArray, repoContent);
        QFETCH(QByteArray, patchContent);
        QFETCH(qint64, added);
        QFETCH(qint64, removed);
        QTemporaryDir dir;
        const QString repo = dir.filePath("repo");
        if (!repoContent.isNull()) {
            writeFile(repo, repoContent == "/" ? "src/f.txt/inner" : "src/f.txt", repoContent);
        }
        makeZip(dir.filePath("reply.zip"), {zipFile("src/f.txt", patchContent), zipFile("other")});
        const PatchAnalysis analysis = PatchApplier::analyze(dir.filePath("reply.zip"), repo);
        QCOMPARE(analysis.errors, QStringList());
        const PatchFileEntry &entry = analysis.entries.last();
        QCOMPARE(entry.relativePath, "src/f.txt");
        QCOMPARE(entry.isNew, repoContent.isNull());
        QCOMPARE(entry.addedLines, added);
        QCOMPARE(entry.removedLines, removed);
        PatchApplier::cancel(analysis);
    }

    void dates_data()
    {
        QTest::addColumn<int>("repoOffsetDays");  // 0: no repository file
        QTest::addRow("new file") << 0;
        QTest::addRow("repository file older") << -30;
        QTest::addRow("repository file newer") << 30;
    }

    void dates()
    {
        QFETCH(int, repoOffsetDays);
        QTemporaryDir dir;
        // Zip keeps local time without a zone; a day of slack covers every zone.
        constexpr qint64 day = 86'400'000'000'000;
        const qint64 stored = QDateTime(QDate(2020, 6, 1), QTime(12, 0)).toMSecsSinceEpoch() * 1'000'000;
        if (repoOffsetDays != 0) {
            const QString file = writeFile(dir.filePath("repo"), "a.txt", "old\n");
            QVERIFY(setModificationTime(file, FileTime{stored + repoOffsetDays * day}));
        }
        makeZip(dir.filePath("reply.zip"), {zipFile("a.txt"), zipFile("b")});
        const PatchAnalysis analysis = PatchApplier::analyze(dir.filePath("reply.zip"), dir.filePath("repo"));
        const PatchFileEntry &entry = analysis.entries.first();
        QVERIFY(entry.patchModDate && qAbs(entry.patchModDate->nanoseconds - stored) <= day);
        QCOMPARE(entry.repoModDate.has_value(), repoOffsetDays != 0);
        QCOMPARE(entry.repoNewer, repoOffsetDays > 0);
        PatchApplier::cancel(analysis);
    }

    void failures_data()
    {
        QTest::addColumn<Tool>("tool");          // Zip: no stand-in (unzip and diff are the real ones)
        QTest::addColumn<QByteArray>("script");  // the stand-in for the tool; empty: a path that does not exist
        QTest::addColumn<int>("damage");         // 1: not an archive, 2: cut off, 3: no archive, 4: no temporary folder
        QTest::addColumn<QString>("error");      // the start of the one error; empty: counts are 0 and 0
        const QString failed = "Failed to unzip reply.zip";
        const QByteArray listing = "[ \"$1\" = -Z ] && exec /usr/bin/unzip \"$@\"\n";
        QTest::addRow("unzip missing") << Tool::Unzip << QByteArray() << 0 << "Could not run";
        QTest::addRow("listing hangs") << Tool::Unzip << QByteArray("exec sleep 60") << 0 << failed;
        QTest::addRow("listing unreadable") << Tool::Unzip << QByteArray("echo nonsense") << 0 << failed;
        const QByteArray entry = "-rw-r--r--  3.0 unx        1 tx stor 20-Jun-01 12:00 ";
        const QByteArray forged = "cat <<'E'\nZip file size: 9 bytes, number of entries: 2\n" + entry + "../evil\n"
                                  + entry + "a\n" + entry + "b\n2 files, 2 bytes uncompressed, 2 bytes compressed\nE";
        QTest::addRow("listing with a line break in a name") << Tool::Unzip << forged << 0 << failed;
        QTest::addRow("unpacking hangs") << Tool::Unzip << listing + "exec sleep 60" << 0 << failed;
        QTest::addRow("unpacking fails") << Tool::Unzip << listing + "exit 3" << 0 << failed;
        QTest::addRow("unpacking renames") << Tool::Unzip << listing + "/usr/bin/unzip \"$@\" && touch \"$5/extra\""
                                           << 0 << "Unpacking produced \"extra\", which the archive does not list";
        QTest::addRow("diff missing") << Tool::Diff << QByteArray() << 0 << QString();
        QTest::addRow("diff hangs") << Tool::Diff << QByteArray("exec sleep 60") << 0 << QString();
        QTest::addRow("not an archive") << Tool::Zip << QByteArray() << 1 << failed;
        QTest::addRow("archive cut off") << Tool::Zip << QByteArray() << 2 << failed;
        QTest::addRow("no archive") << Tool::Zip << QByteArray() << 3 << failed;
        QTest::addRow("no temporary folder") << Tool::Zip << QByteArray() << 4
                                             << "Could not create a temporary folder: Not a directory";
    }

    void failures()
    {
        QFETCH(Tool, tool);
        QFETCH(QByteArray, script);
        QFETCH(int, damage);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString zip = dir.filePath("reply.zip");
        makeZip(zip, {zipFile("a.txt", QByteArray(300, 'a')), zipFile("b")});
        writeFile(dir.filePath("repo"), "a.txt", "old\n");
        PatchLimits limits;  // only a stand-in that hangs gets a short bound
        if (tool != Tool::Zip) {
            setToolPath(tool, script.isEmpty() ? dir.filePath("missing") : writeScript(dir.path(), "tool", script));
        }
        if (script.contains("sleep")) {
            const bool listsFirst = script.startsWith('[');
            auto &bound = tool == Tool::Diff ? limits.diffTimeout
                                             : listsFirst ? limits.unzipTimeout : limits.listTimeout;
            bound = std::chrono::milliseconds(300);
        }
        if (damage == 1 || damage == 2) {
            writeFile(dir.path(), "reply.zip", damage == 1 ? QByteArray("PK garbage") : readFile(zip).left(120));
        }
        QVERIFY(damage != 3 || QFile::remove(zip));
        if (damage == 4) {
            qputenv("TMPDIR", QFile::encodeName(writeFile(dir.path(), "file", "x")));
        }
        const PatchAnalysis analysis = PatchApplier::analyze(zip, dir.filePath("repo"), limits);
        qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
        if (error.isEmpty()) {
            QCOMPARE(analysis.errors, QStringList());
            QCOMPARE(analysis.entries.first().addedLines + analysis.entries.first().removedLines, 0);
        } else {
            QCOMPARE(analysis.errors.size(), 1);
            QVERIFY2(analysis.errors.first().startsWith(error), qPrintable(analysis.errors.first()));
            QVERIFY(analysis.entries.isEmpty());
            QCOMPARE(analysis.tmpDir.isEmpty(), damage == 4);
        }
        PatchApplier::cancel(analysis);
    }
};

QTEST_GUILESS_MAIN(TestPatchAnalysis)
#include "tst_patch_analysis.moc"
