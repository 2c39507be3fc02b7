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
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
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
        // One refused entry per row: the archive, then the name as reported and the reason.
        const auto add = [](const char *row, const QList<ZipEntry> &zip, const QString &name, const QString &why) {
            QTest::addRow("%s", row) << zip << QStringList{refused(name, why)};
        };
        add("parent folder", {zipFile("../../evil")}, "../../evil", climbs);
        add("parent folder inside", {zipFile("a/../../evil")}, "a/../../evil", climbs);
        add("absolute path", {zipFile("/tmp/evil")}, "/tmp/evil", "its path is absolute");
        add("drive letter", {zipFile("C:/evil")}, "C:/evil", "its path begins with a drive letter");
        add("backslash", {zipFile("..\\evil")}, "..\\evil", "its name holds a backslash");
        add("line feed", {zipFile("evil\n.txt")}, "evil^J.txt", control);
        add("escape sequence", {zipFile("a\x1b[2J")}, "a^[[2J", control);
        add("delete character", {zipFile("del\x7f")}, "del\x7f", control);
        add("right-to-left override", {zipFile("evil\u202Etxt.sh")}, "evil\u202Etxt.sh", control);
        add("symbolic link", {zipFile("link", "/etc/passwd", 0120777)}, "link", "it is a symbolic link");
        add("through a linked folder", {zipFile("d", "/tmp", 0120777), zipFile("d/x")}, "d", "it is a symbolic link");
        add("named pipe", {zipFile("pipe", "", 010644)}, "pipe", irregular);
        add("device", {zipFile("disk", "", 060644)}, "disk", irregular);
        add("name not UTF-8", {zipFile("bad\xff")}, "bad\uFFFD", "its name is not valid UTF-8");
        add("same name in another case", {zipFile("README"), zipFile("src/x"), zipFile("readMe")}, "readMe", same);
        add("composed and decomposed", {zipFile("caf\xc3\xa9"), zipFile("cafe\xcc\x81")}, "cafe\u0301", same);
        add("same name twice", {zipFile("a", "1"), zipFile("a", "2")}, "a", same);
        add("file and folder at once", {zipFile("a"), zipFile("A/b")}, "a", folder);
        add("folder entry and file", {zipFile("a/", "", 040755), zipFile("a")}, "a", folder);
        add("dot part", {zipFile("./a")}, "./a", odd);
        add("empty part", {zipFile("a//b")}, "a//b", odd);
        add("one bad among good ones", {zipFile("good"), zipFile("../keep.txt"), zipFile("ok")}, "../keep.txt", climbs);
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
        QTest::addRow("at both limits") << QList<ZipEntry>{exactly, zipFile("d/", "", 040755), zipFile("d/e", "")}
                                        << QString() << false;
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
