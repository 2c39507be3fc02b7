#include "patch/patch_applier.h"
#include "patch/patch_archive.h"

#include "zip_fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QTest>

using namespace vesk;
using namespace vesk::test;

namespace {

// Every path under `dir`, links not followed, so that anything written anywhere shows.
QStringList treeOf(const QString &dir)
{
    QStringList paths;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        paths << it.next().mid(dir.size());
    }
    paths.sort();
    return paths;
}

QString refused(const QString &name, const QString &reason)
{
    return QStringLiteral("Refused archive entry \"%1\": %2").arg(name, reason);
}

// The archive, a repository and the user's temporary directory two levels down, all in one
// folder, so that a write anywhere near shows in its tree.
struct Sandbox
{
    QByteArray previousTemp = qgetenv("TMPDIR");
    QTemporaryDir dir;
    QString repo = dir.filePath("repo");
    QString zip = dir.filePath("reply.zip");
    QString temp = dir.filePath("user/temp");

    Sandbox()
    {
        writeFile(repo, "keep.txt", "keep\n");
        QDir().mkpath(temp);
        qputenv("TMPDIR", QFile::encodeName(temp));
    }
    ~Sandbox() { previousTemp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", previousTemp); }
};

} // namespace

class TestPatchHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusedBeforeUnpacking_data()
    {
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QStringList>("errors");
        const QString climbs = "its path leads out of the archive's folder";
        const QString control = "its name holds a control character";
        const QString same = "another entry has the same name";
        const QString folder = "another entry uses it as a folder";
        const QString odd = "its path has an empty or \".\" part";
        const QString irregular = "it is not a regular file or folder";
        QTest::addRow("parent folder") << QList<ZipEntry>{zipFile("../../evil")} << QStringList{refused("../../evil", climbs)};
        QTest::addRow("parent folder inside") << QList<ZipEntry>{zipFile("a/../../evil")} << QStringList{refused("a/../../evil", climbs)};
        QTest::addRow("absolute path") << QList<ZipEntry>{zipFile("/tmp/evil")} << QStringList{refused("/tmp/evil", "its path is absolute")};
        QTest::addRow("drive letter") << QList<ZipEntry>{zipFile("C:/evil")} << QStringList{refused("C:/evil", "its path begins with a drive letter")};
        QTest::addRow("backslash") << QList<ZipEntry>{zipFile("..\\evil")} << QStringList{refused("..\\evil", "its name holds a backslash")};
        QTest::addRow("line feed") << QList<ZipEntry>{zipFile("evil\n.txt")} << QStringList{refused("evil^J.txt", control)};
        QTest::addRow("escape sequence") << QList<ZipEntry>{zipFile("a\x1b[2J")} << QStringList{refused("a^[[2J", control)};
        QTest::addRow("delete character") << QList<ZipEntry>{zipFile("del\x7f")} << QStringList{refused("del\x7f", control)};
        QTest::addRow("right-to-left override") << QList<ZipEntry>{zipFile("evil\u202Etxt.sh")} << QStringList{refused("evil\u202Etxt.sh", control)};
        QTest::addRow("symbolic link") << QList<ZipEntry>{zipFile("link", "/etc/passwd", 0120777)}
                                       << QStringList{refused("link", "it is a symbolic link")};
        QTest::addRow("file through a linked folder") << QList<ZipEntry>{zipFile("d", "/tmp", 0120777), zipFile("d/x")}
                                                      << QStringList{refused("d", "it is a symbolic link")};
        QTest::addRow("named pipe") << QList<ZipEntry>{zipFile("pipe", "", 010644)} << QStringList{refused("pipe", irregular)};
        QTest::addRow("device") << QList<ZipEntry>{zipFile("disk", "", 060644)} << QStringList{refused("disk", irregular)};
        QTest::addRow("name not UTF-8") << QList<ZipEntry>{zipFile("bad\xff")} << QStringList{refused("bad\uFFFD", "its name is not valid UTF-8")};
        QTest::addRow("same name in another case") << QList<ZipEntry>{zipFile("README.md"), zipFile("src/x"), zipFile("readme.MD")}
                                                   << QStringList{refused("readme.MD", same)};
        QTest::addRow("composed and decomposed") << QList<ZipEntry>{zipFile("caf\xc3\xa9"), zipFile("cafe\xcc\x81")}
                                                 << QStringList{refused("cafe\u0301", same)};
        QTest::addRow("same name twice") << QList<ZipEntry>{zipFile("a", "1"), zipFile("a", "2")} << QStringList{refused("a", same)};
        QTest::addRow("file and folder at once") << QList<ZipEntry>{zipFile("a"), zipFile("A/b")} << QStringList{refused("a", folder)};
        QTest::addRow("folder entry and file") << QList<ZipEntry>{zipFile("a/", "", 040755), zipFile("a")} << QStringList{refused("a", folder)};
        QTest::addRow("dot part") << QList<ZipEntry>{zipFile("./a")} << QStringList{refused("./a", odd)};
        QTest::addRow("empty part") << QList<ZipEntry>{zipFile("a//b")} << QStringList{refused("a//b", odd)};
        QTest::addRow("one bad entry among good ones") << QList<ZipEntry>{zipFile("good"), zipFile("../keep.txt"), zipFile("src/ok.c")}
                                                       << QStringList{refused("../keep.txt", climbs)};
        QList<ZipEntry> many;
        QStringList manyErrors;
        for (int i = 0; i < 30; ++i) {
            many << zipFile("../" + QByteArray::number(i));
            manyErrors << refused("../" + QString::number(i), climbs);
        }
        manyErrors.resize(20);
        QTest::addRow("many bad entries summed up") << many << (manyErrors << "10 more archive entries were refused");
    }

    void refusedBeforeUnpacking()
    {
        QFETCH(QList<ZipEntry>, archive);
        QFETCH(QStringList, errors);
        Sandbox box;
        makeZip(box.zip, archive);
        QStringList expectedTree = treeOf(box.dir.path());

        const PatchAnalysis analysis = PatchApplier::analyze(box.zip, box.repo);
        QCOMPARE(analysis.errors, errors);
        QVERIFY(analysis.entries.isEmpty());
        expectedTree << analysis.tmpDir.mid(box.dir.path().size());  // the one new thing, and it is empty
        expectedTree.sort();
        QCOMPARE(treeOf(box.dir.path()), expectedTree);
        PatchApplier::cancel(analysis);
        QCOMPARE(treeOf(box.temp), QStringList());
    }

    void encryptedEntry()
    {
        Sandbox box;
        writeFile(box.dir.path(), "s.txt", "secret\n");
        bool ok = false;
        run("/usr/bin/zip", {"-q", "-P", "pass", box.zip, "s.txt"}, box.dir.path(), &ok);
        QVERIFY(ok);
        const PatchAnalysis analysis = PatchApplier::analyze(box.zip, box.repo);
        QCOMPARE(analysis.errors, QStringList{refused("s.txt", "it is encrypted")});
        PatchApplier::cancel(analysis);
    }

    void limits_data()
    {
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QString>("error");         // empty: within the limits
        QTest::addColumn<bool>("judgedByListing");  // refused before anything is unpacked
        const QString tooLarge = "The archive unpacks to more than 1 MiB";
        const ZipEntry exactly{"exactly", {}, 0100644, 1 << 20};
        const ZipEntry large{"large", {}, 0100644, 2 << 20};
        const ZipEntry lying{"lying", {}, 0100644, 64 << 20, 10};
        QTest::addRow("at both limits") << QList<ZipEntry>{exactly, zipFile("d/", "", 040755), zipFile("d/e", "")} << QString() << false;
        QTest::addRow("too many entries") << QList<ZipEntry>{zipFile("a"), zipFile("b"), zipFile("c"), zipFile("d")}
                                          << "The archive holds more than 3 entries" << true;
        QTest::addRow("claims too much") << QList<ZipEntry>{large} << tooLarge << true;
        QTest::addRow("claims little, unpacks to much") << QList<ZipEntry>{lying, zipFile("b")} << tooLarge << false;
    }

    void limits()
    {
        QFETCH(QList<ZipEntry>, archive);
        QFETCH(QString, error);
        QFETCH(bool, judgedByListing);
        Sandbox box;
        makeZip(box.zip, archive);
        PatchLimits limits;
        limits.maxEntries = 3;
        limits.maxUnpackedBytes = 1 << 20;
        const PatchAnalysis analysis = PatchApplier::analyze(box.zip, box.repo, limits);
        QCOMPARE(analysis.errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(analysis.entries.isEmpty(), !error.isEmpty());
        QVERIFY(!judgedByListing || treeOf(analysis.tmpDir).isEmpty());
        PatchApplier::cancel(analysis);
        QCOMPARE(treeOf(box.temp), QStringList());
    }

    // The sizes an archive claims may lie; the disk it fills is watched while unzip runs.
    void unpackingStopsWhenTheDiskFills()
    {
        Sandbox box;
        const ZipEntry lying{"lying", {}, 0100644, qint64(256) << 20, 10};
        makeZip(box.zip, {lying});
        const UnpackOutcome outcome = unpackArchive(box.zip, box.temp, 8 << 20, std::chrono::minutes(5));
        QVERIFY(outcome.overBudget);
        QCOMPARE(outcome.outcome, ToolOutcome::Failed);
        QVERIFY(QFileInfo(box.temp + "/lying").size() < lying.zeros);
    }
};

QTEST_GUILESS_MAIN(TestPatchHostile)
#include "tst_patch_hostile.moc"
