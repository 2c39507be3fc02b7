#include "patch/patch_applier.h"

#include "platform/file_time.h"
#include "platform/tool_paths.h"
#include "test_support.h"
#include "zip_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace vesk;
using namespace vesk::test;

namespace {

QStringList pathsOf(const PatchAnalysis &analysis)
{
    QStringList paths;
    for (const PatchFileEntry &entry : analysis.entries) {
        paths << entry.relativePath;
    }
    return paths;
}

QStringList leftoverTempDirs(const QString &tempRoot)
{
    return QDir(tempRoot).entryList({QStringLiteral("patch_*")}, QDir::AllEntries | QDir::Hidden);
}

constexpr qint64 dayNs = 86'400'000'000'000;

} // namespace

class TestPatchAnalysis : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;  // stands in for the user's temporary directory

    QString makeArchive(const QTemporaryDir &dir, const QList<ZipEntry> &entries)
    {
        const QString zip = dir.filePath(QStringLiteral("reply.zip"));
        makeZip(zip, entries);
        return zip;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_temp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    }

    void cleanup()
    {
        resetToolPaths();
        const QStringList leftovers = leftoverTempDirs(m_temp.path());
        if (QTest::currentTestFailed()) {
            for (const QString &name : leftovers) {
                QDir(m_temp.filePath(name)).removeRecursively();
            }
        } else {
            QCOMPARE(leftovers, QStringList());
        }
    }

    void relativePaths_data()
    {
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("enclosing folder beside __MACOSX")
            << QList<ZipEntry>{zipFile("proj/src/a.c"), zipFile("proj/b.txt"), zipFile("__MACOSX/proj/._b.txt")}
            << QStringList{"b.txt", "src/a.c"};
        QTest::addRow("file beside the folder keeps every path")
            << QList<ZipEntry>{zipFile("proj/src/a.c"), zipFile("README")} << QStringList{"README", "proj/src/a.c"};
        QTest::addRow("one folder holding one file") << QList<ZipEntry>{zipFile("proj/a.c")} << QStringList{"a.c"};
        QTest::addRow("hidden entries skipped, hidden folders not entered")
            << QList<ZipEntry>{zipFile(".env"), zipFile("proj/.git/config"), zipFile("proj/.hidden/x"),
                               zipFile("proj/a.c"), zipFile("proj/sub/.DS_Store")}
            << QStringList{"a.c"};
        QTest::addRow("non-ASCII names with the UTF-8 flag")
            << QList<ZipEntry>{zipFile("src/ü.txt"), zipFile("Grüße/名前.md")} << QStringList{"Grüße/名前.md", "src/ü.txt"};
        QTest::addRow("metadata folder never maps into the repository")
            << QList<ZipEntry>{zipFile("a.txt"), zipFile("__MACOSX/a.txt"), zipFile("__MACOSX/b.txt")}
            << QStringList{"a.txt"};
        QTest::addRow("folders and hidden files only")
            << QList<ZipEntry>{zipFolder("empty/"), zipFile(".hidden")} << QStringList{};
        QTest::addRow("sorted by code point, not UTF-16 unit")
            << QList<ZipEntry>{zipFile("😀"), zipFile("\xef\xbc\xa1"), zipFile("a"), zipFile("é"), zipFile("B")}
            << QStringList{"B", "a", "é", "\uFF21", "😀"};
    }

    void relativePaths()
    {
        QFETCH(QList<ZipEntry>, archive);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString repo = dir.filePath(QStringLiteral("repo"));
        QDir().mkpath(repo);
        const PatchAnalysis analysis = PatchApplier::analyze(makeArchive(dir, archive), repo);
        QCOMPARE(analysis.errors, QStringList());
        QCOMPARE(pathsOf(analysis), expected);
        for (const PatchFileEntry &entry : analysis.entries) {
            QVERIFY(entry.patchFileURL.startsWith(QFileInfo(analysis.tmpDir).canonicalFilePath() + u'/'));
            QVERIFY(entry.patchFileURL.endsWith(u'/' + entry.relativePath));
            QVERIFY(entry.isNew);
        }
        PatchApplier::cancel(analysis);
    }

    void lineCounts_data()
    {
        QTest::addColumn<QByteArray>("repoContent");  // null: no file in the repository
        QTest::addColumn<QByteArray>("patchContent");
        QTest::addColumn<qint64>("added");
        QTest::addColumn<qint64>("removed");
        QTest::addRow("new file ending in a line feed") << QByteArray() << QByteArray("a\nb\n") << 3LL << 0LL;
        QTest::addRow("new empty file") << QByteArray() << QByteArray("") << 1LL << 0LL;
        QTest::addRow("new file not UTF-8") << QByteArray() << QByteArray("caf\xe9\n") << 0LL << 0LL;
        QTest::addRow("new file cut off inside a character") << QByteArray() << QByteArray("ab\xc3") << 0LL << 0LL;
        QTest::addRow("identical files") << QByteArray("a\nb\n") << QByteArray("a\nb\n") << 0LL << 0LL;
        QTest::addRow("one line replaced") << QByteArray("a\nb\nc\n") << QByteArray("a\nB\nc\n") << 1LL << 1LL;
        QTest::addRow("lines beginning with -- and ++")
            << QByteArray("x\n-- note\n--\n") << QByteArray("x\n++ note\n++\n") << 2LL << 2LL;
        QTest::addRow("lines that read like file headers")
            << QByteArray("--- a\nkeep\n") << QByteArray("+++ b\nkeep\n") << 1LL << 1LL;
        QTest::addRow("no final line feed") << QByteArray("a") << QByteArray("a\nb") << 2LL << 1LL;
        QTest::addRow("binary files") << QByteArray("\0\1\2", 3) << QByteArray("\0\1\3", 3) << 0LL << 0LL;
        QTest::addRow("diff output not UTF-8") << QByteArray("caf\xe9\n") << QByteArray("cafe\n") << 0LL << 0LL;
    }

    void lineCounts()
    {
        QFETCH(QByteArray, repoContent);
        QFETCH(QByteArray, patchContent);
        QFETCH(qint64, added);
        QFETCH(qint64, removed);
        QTemporaryDir dir;
        const QString repo = dir.filePath(QStringLiteral("repo"));
        QDir().mkpath(repo);
        if (!repoContent.isNull()) {
            writeFile(repo, QStringLiteral("src/f.txt"), repoContent);
        }
        const QString zip = makeArchive(dir, {zipFile("src/f.txt", patchContent), zipFile("other")});
        const PatchAnalysis analysis = PatchApplier::analyze(zip, repo);
        QCOMPARE(analysis.errors, QStringList());
        QCOMPARE(pathsOf(analysis), (QStringList{"other", "src/f.txt"}));
        const PatchFileEntry &entry = analysis.entries[1];
        QCOMPARE(entry.isNew, repoContent.isNull());
        QCOMPARE(entry.addedLines, added);
        QCOMPARE(entry.removedLines, removed);
        PatchApplier::cancel(analysis);
    }

    void dates_data()
    {
        QTest::addColumn<int>("repoOffsetDays");  // 0: no repository file
        QTest::addColumn<bool>("repoNewer");
        QTest::addRow("new file") << 0 << false;
        QTest::addRow("repository file older") << -30 << false;
        QTest::addRow("repository file newer") << 30 << true;
    }

    void dates()
    {
        QFETCH(int, repoOffsetDays);
        QFETCH(bool, repoNewer);
        QTemporaryDir dir;
        const QString repo = dir.filePath(QStringLiteral("repo"));
        QDir().mkpath(repo);
        const QDateTime stored(QDate(2020, 6, 1), QTime(12, 0));
        // Zip stores local time without a zone; a day of slack covers every zone.
        const qint64 storedNs = stored.toMSecsSinceEpoch() * 1'000'000;
        if (repoOffsetDays != 0) {
            const QString file = writeFile(repo, QStringLiteral("a.txt"), "old\n");
            QVERIFY(setModificationTime(file, FileTime{storedNs + repoOffsetDays * dayNs}));
        }
        ZipEntry entry = zipFile("a.txt", "new\n");
        entry.date = stored;
        const PatchAnalysis analysis = PatchApplier::analyze(makeArchive(dir, {entry, zipFile("b")}), repo);
        QCOMPARE(analysis.errors, QStringList());
        const PatchFileEntry &result = analysis.entries.first();
        QVERIFY(result.patchModDate);
        QVERIFY(qAbs(result.patchModDate->nanoseconds - storedNs) <= dayNs);
        QCOMPARE(result.repoModDate.has_value(), repoOffsetDays != 0);
        QCOMPARE(result.repoNewer, repoNewer);
        QCOMPARE(analysis.entries.last().repoNewer, false);
        PatchApplier::cancel(analysis);
    }

    void folderAtTheRepositoryPath()
    {
        QTemporaryDir dir;
        const QString repo = dir.filePath(QStringLiteral("repo"));
        writeFile(repo, QStringLiteral("a.txt/inside"), "x\n");
        const PatchAnalysis analysis = PatchApplier::analyze(makeArchive(dir, {zipFile("a.txt", "a\nb\n"), zipFile("b")}), repo);
        QCOMPARE(analysis.errors, QStringList());
        QVERIFY(!analysis.entries.first().isNew);
        QCOMPARE(analysis.entries.first().addedLines, 0);
        PatchApplier::cancel(analysis);
    }

    void temporaryDirectory()
    {
        QTemporaryDir dir;
        const PatchAnalysis analysis = PatchApplier::analyze(makeArchive(dir, {zipFile("a")}), dir.path());
        const QFileInfo info(analysis.tmpDir);
        QCOMPARE(info.absolutePath(), m_temp.path());
        QVERIFY(QRegularExpression(QStringLiteral("^patch_[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                    .match(info.fileName())
                    .hasMatch());
        QCOMPARE(int(info.permissions() & 0x0077), 0);  // no access for group or others
        QVERIFY(info.isDir());
        PatchApplier::cancel(analysis);
        QVERIFY(!QFileInfo::exists(analysis.tmpDir));
    }

    void temporaryDirectoryFails()
    {
        QTemporaryDir dir;
        const QString zip = makeArchive(dir, {zipFile("a")});
        qputenv("TMPDIR", QFile::encodeName(writeFile(dir.path(), QStringLiteral("file"), "x")));
        const PatchAnalysis analysis = PatchApplier::analyze(zip, dir.path());
        qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
        QCOMPARE(analysis.errors, QStringList{QStringLiteral("Could not create a temporary folder: Not a directory")});
        QVERIFY(analysis.tmpDir.isEmpty());
        PatchApplier::cancel(analysis);
    }

    void toolFailures_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QByteArray>("script");  // empty: a path that does not exist
        QTest::addColumn<QString>("error");      // empty: no error, the counts are 0 and 0
        const QString failed = QStringLiteral("Failed to unzip reply.zip");
        const QByteArray listThenHang = "[ \"$1\" = -Z ] && exec /usr/bin/unzip \"$@\"\nexec sleep 60";
        const QByteArray listThenFail = "[ \"$1\" = -Z ] && exec /usr/bin/unzip \"$@\"\nexit 3";
        QTest::addRow("unzip missing") << int(Tool::Unzip) << QByteArray() << QStringLiteral("Could not run");
        QTest::addRow("listing hangs") << int(Tool::Unzip) << QByteArray("exec sleep 60") << failed;
        QTest::addRow("listing unreadable") << int(Tool::Unzip) << QByteArray("echo nonsense") << failed;
        QTest::addRow("unpacking hangs") << int(Tool::Unzip) << listThenHang << failed;
        QTest::addRow("unpacking fails") << int(Tool::Unzip) << listThenFail << failed;
        QTest::addRow("diff missing") << int(Tool::Diff) << QByteArray() << QString();
        QTest::addRow("diff hangs") << int(Tool::Diff) << QByteArray("exec sleep 60") << QString();
    }

    void toolFailures()
    {
        QFETCH(int, tool);
        QFETCH(QByteArray, script);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString repo = dir.filePath(QStringLiteral("repo"));
        writeFile(repo, QStringLiteral("a.txt"), "old\n");
        setToolPath(Tool(tool), script.isEmpty() ? dir.filePath(QStringLiteral("missing/tool"))
                                                 : writeScript(dir.path(), QStringLiteral("tool"), script));
        // Only the stand-in gets a short bound; the real tools keep theirs.
        PatchLimits limits;
        (Tool(tool) == Tool::Diff ? limits.diffTimeout : limits.unzipTimeout) = std::chrono::milliseconds(300);
        if (Tool(tool) == Tool::Unzip && !script.startsWith('[')) {
            limits.listTimeout = std::chrono::milliseconds(300);
        }
        const PatchAnalysis analysis = PatchApplier::analyze(makeArchive(dir, {zipFile("a.txt", "new\n"), zipFile("b")}), repo, limits);
        if (error.isEmpty()) {
            QCOMPARE(analysis.errors, QStringList());
            QCOMPARE(analysis.entries.size(), 2);
            QCOMPARE(analysis.entries.first().addedLines, 0);
            QCOMPARE(analysis.entries.first().removedLines, 0);
        } else {
            QCOMPARE(analysis.errors.size(), 1);
            QVERIFY2(analysis.errors.first().startsWith(error), qPrintable(analysis.errors.first()));
            QVERIFY(analysis.entries.isEmpty());
        }
        QVERIFY(QFileInfo(analysis.tmpDir).isDir());
        PatchApplier::cancel(analysis);
    }

    void corruptArchive_data()
    {
        QTest::addColumn<int>("keep");  // bytes of a real archive kept; -1: not an archive at all
        QTest::addRow("not an archive") << -1;
        QTest::addRow("cut off") << 120;
        QTest::addRow("no archive file") << -2;
    }

    void corruptArchive()
    {
        QFETCH(int, keep);
        QTemporaryDir dir;
        const QString zip = makeArchive(dir, {zipFile("a.txt", QByteArray(300, 'a')), zipFile("b.txt")});
        QByteArray bytes = readFile(zip);
        if (keep == -2) {
            QFile::remove(zip);
        } else {
            writeFile(dir.path(), QStringLiteral("reply.zip"), keep < 0 ? QByteArray("PK garbage") : bytes.left(keep));
        }
        const PatchAnalysis analysis = PatchApplier::analyze(zip, dir.path());
        QCOMPARE(analysis.errors, QStringList{QStringLiteral("Failed to unzip reply.zip")});
        QVERIFY(analysis.entries.isEmpty());
        PatchApplier::cancel(analysis);
    }
};

QTEST_GUILESS_MAIN(TestPatchAnalysis)
#include "tst_patch_analysis.moc"
