#include "patch/patch_applier.h"
#include "patch/patch_archive.h"

#include "test_support.h"
#include "zip_fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

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

const QString climbs = QStringLiteral("its path leads out of the archive's folder");
const QString control = QStringLiteral("its name holds a control character");
const QString sameName = QStringLiteral("another entry has the same name");
const QString notRegular = QStringLiteral("it is not a regular file or folder");

} // namespace

class TestPatchHostile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;

    // A sandbox holding the archive, a repository with one file and the user's temporary
    // directory two levels down, so that a write anywhere near shows in its tree.
    struct Sandbox
    {
        QTemporaryDir dir;
        QString repo = dir.filePath(QStringLiteral("repo"));
        QString zip = dir.filePath(QStringLiteral("reply.zip"));
        QString temp = dir.filePath(QStringLiteral("user/temp"));

        explicit Sandbox(const QString &root) : dir(root + QStringLiteral("/box-XXXXXX"))
        {
            writeFile(repo, QStringLiteral("keep.txt"), "keep\n");
            QDir().mkpath(temp);
            qputenv("TMPDIR", QFile::encodeName(temp));
        }
        ~Sandbox() { qputenv("TMPDIR", QFile::encodeName(dir.path())); }
    };

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
    }

    void refusedBeforeUnpacking_data()
    {
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QStringList>("errors");
        QTest::addRow("parent folder") << QList<ZipEntry>{zipFile("../../evil.txt")}
                                       << QStringList{refused("../../evil.txt", climbs)};
        QTest::addRow("parent folder in the middle") << QList<ZipEntry>{zipFile("a/../../evil.txt")}
                                                     << QStringList{refused("a/../../evil.txt", climbs)};
        QTest::addRow("absolute path") << QList<ZipEntry>{zipFile("/tmp/evil.txt")}
                                       << QStringList{refused("/tmp/evil.txt", "its path is absolute")};
        QTest::addRow("drive letter") << QList<ZipEntry>{zipFile("C:/evil.txt")}
                                      << QStringList{refused("C:/evil.txt", "its path begins with a drive letter")};
        QTest::addRow("backslash") << QList<ZipEntry>{zipFile("..\\evil.txt")}
                                   << QStringList{refused("..\\evil.txt", "its name holds a backslash")};
        QTest::addRow("line feed") << QList<ZipEntry>{zipFile("evil\n.txt")} << QStringList{refused("evil^J.txt", control)};
        QTest::addRow("escape sequence") << QList<ZipEntry>{zipFile("a\x1b[2J.txt")} << QStringList{refused("a^[[2J.txt", control)};
        QTest::addRow("delete character") << QList<ZipEntry>{zipFile("del\x7f.txt")} << QStringList{refused("del\x7f.txt", control)};
        QTest::addRow("right-to-left override")
            << QList<ZipEntry>{zipFile("evil\u202Etxt.sh")} << QStringList{refused("evil\u202Etxt.sh", control)};
        QTest::addRow("symbolic link") << QList<ZipEntry>{zipLink("link", "/etc/passwd")}
                                       << QStringList{refused("link", "it is a symbolic link")};
        QTest::addRow("file written through a linked folder")
            << QList<ZipEntry>{zipLink("d", "/tmp"), zipFile("d/x.txt")} << QStringList{refused("d", "it is a symbolic link")};
        ZipEntry fifo = zipFile("pipe", "");
        fifo.mode = 010644;
        ZipEntry device = zipFile("disk", "");
        device.mode = 060644;
        QTest::addRow("named pipe") << QList<ZipEntry>{fifo} << QStringList{refused("pipe", notRegular)};
        QTest::addRow("device") << QList<ZipEntry>{device} << QStringList{refused("disk", notRegular)};
        QTest::addRow("name not UTF-8") << QList<ZipEntry>{zipFile("bad\xff.txt")}
                                        << QStringList{refused("bad\uFFFD.txt", "its name is not valid UTF-8")};
        QTest::addRow("same name in another case") << QList<ZipEntry>{zipFile("README.md"), zipFile("src/x"), zipFile("readme.MD")}
                                                   << QStringList{refused("readme.MD", sameName)};
        QTest::addRow("composed and decomposed letter") << QList<ZipEntry>{zipFile("caf\xc3\xa9"), zipFile("cafe\xcc\x81")}
                                                        << QStringList{refused("cafe\u0301", sameName)};
        QTest::addRow("same name twice") << QList<ZipEntry>{zipFile("a.txt", "one"), zipFile("a.txt", "two")}
                                         << QStringList{refused("a.txt", sameName)};
        QTest::addRow("file and folder at once") << QList<ZipEntry>{zipFile("a"), zipFile("A/b.txt")}
                                                 << QStringList{refused("a", "another entry uses it as a folder")};
        QTest::addRow("folder entry and file") << QList<ZipEntry>{zipFolder("a/"), zipFile("a")}
                                               << QStringList{refused("a", "another entry uses it as a folder")};
        QTest::addRow("dot part") << QList<ZipEntry>{zipFile("./a.txt")}
                                  << QStringList{refused("./a.txt", "its path has an empty or \".\" part")};
        QTest::addRow("empty part") << QList<ZipEntry>{zipFile("a//b.txt")}
                                    << QStringList{refused("a//b.txt", "its path has an empty or \".\" part")};
        QTest::addRow("one bad entry among good ones")
            << QList<ZipEntry>{zipFile("good.txt"), zipFile("../keep.txt", "owned\n"), zipFile("src/ok.c")}
            << QStringList{refused("../keep.txt", climbs)};
        QList<ZipEntry> many;
        QStringList manyErrors;
        for (int i = 0; i < 30; ++i) {
            many << zipFile("../" + QByteArray::number(i));
            if (i < 20) {
                manyErrors << refused("../" + QString::number(i), climbs);
            }
        }
        manyErrors << QStringLiteral("10 more archive entries were refused");
        QTest::addRow("many bad entries summed up") << many << manyErrors;
    }

    void refusedBeforeUnpacking()
    {
        QFETCH(QList<ZipEntry>, archive);
        QFETCH(QStringList, errors);
        Sandbox box(m_root.path());
        makeZip(box.zip, archive);
        const QStringList before = treeOf(box.dir.path());

        const PatchAnalysis analysis = PatchApplier::analyze(box.zip, box.repo);
        QCOMPARE(analysis.errors, errors);
        QVERIFY(analysis.entries.isEmpty());
        QCOMPARE(treeOf(analysis.tmpDir), QStringList());  // nothing was unpacked
        QStringList expected = before;
        expected << analysis.tmpDir.mid(box.dir.path().size());
        expected.sort();
        QCOMPARE(treeOf(box.dir.path()), expected);  // only the empty temporary directory is new
        PatchApplier::cancel(analysis);
        QCOMPARE(treeOf(box.temp), QStringList());
    }

    void linkMadeByZipTool()
    {
        Sandbox box(m_root.path());
        const QString source = box.dir.filePath(QStringLiteral("src"));
        writeFile(source, QStringLiteral("a.txt"), "a\n");
        QVERIFY(::symlink("/etc/passwd", QFile::encodeName(source + QStringLiteral("/passwd")).constData()) == 0);
        bool ok = false;
        run(QStringLiteral("/usr/bin/zip"), {QStringLiteral("-q"), QStringLiteral("--symlinks"), box.zip,
                                            QStringLiteral("a.txt"), QStringLiteral("passwd")},
            source, &ok);
        QVERIFY(ok);
        const PatchAnalysis analysis = PatchApplier::analyze(box.zip, box.repo);
        QCOMPARE(analysis.errors, QStringList{refused("passwd", "it is a symbolic link")});
        QCOMPARE(treeOf(analysis.tmpDir), QStringList());
        PatchApplier::cancel(analysis);
    }

    void limits_data()
    {
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QString>("error");  // empty: within the limits
        QTest::addColumn<bool>("judgedByListing");  // refused before anything is unpacked
        const QString tooLarge = QStringLiteral("The archive unpacks to more than 1 MiB");
        ZipEntry exactly = zipFile("exactly");
        exactly.zeros = 1 << 20;
        ZipEntry large = zipFile("large");
        large.zeros = 2 << 20;
        ZipEntry lying = zipFile("lying");
        lying.zeros = 64 << 20;
        lying.claimedSize = 10;
        QTest::addRow("at both limits") << QList<ZipEntry>{exactly, zipFolder("d/"), zipFile("d/e", "")} << QString() << false;
        QTest::addRow("too many entries") << QList<ZipEntry>{zipFile("a"), zipFile("b"), zipFile("c"), zipFile("d")}
                                          << QStringLiteral("The archive holds more than 3 entries") << true;
        QTest::addRow("claims too much") << QList<ZipEntry>{large} << tooLarge << true;
        QTest::addRow("claims little, unpacks to much") << QList<ZipEntry>{lying, zipFile("b")} << tooLarge << false;
    }

    void limits()
    {
        QFETCH(QList<ZipEntry>, archive);
        QFETCH(QString, error);
        QFETCH(bool, judgedByListing);
        Sandbox box(m_root.path());
        makeZip(box.zip, archive);
        PatchLimits limits;
        limits.maxEntries = 3;
        limits.maxUnpackedBytes = 1 << 20;
        const PatchAnalysis analysis = PatchApplier::analyze(box.zip, box.repo, limits);
        QCOMPARE(analysis.errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(analysis.entries.isEmpty(), !error.isEmpty());
        if (judgedByListing) {
            QCOMPARE(treeOf(analysis.tmpDir), QStringList());
        }
        PatchApplier::cancel(analysis);
        QCOMPARE(treeOf(box.temp), QStringList());
    }

    // The sizes an archive claims may lie; the disk it fills is watched while unzip runs.
    void unpackingStopsWhenTheDiskFills()
    {
        Sandbox box(m_root.path());
        ZipEntry lying = zipFile("lying");
        lying.zeros = qint64(256) << 20;
        lying.claimedSize = 10;
        makeZip(box.zip, {lying});
        const QString target = box.dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(target));
        const UnpackOutcome outcome = unpackArchive(box.zip, target, 8 << 20, std::chrono::minutes(5));
        QVERIFY(outcome.overBudget);
        QCOMPARE(outcome.outcome, ToolOutcome::Failed);
        QVERIFY(QFileInfo(target + QStringLiteral("/lying")).size() < lying.zeros);
    }

    // Modes an archive may carry must neither lock its own files away nor leave them open to
    // others.
    void archiveModes()
    {
        Sandbox box(m_root.path());
        ZipEntry closedFolder = zipFolder("d/");
        closedFolder.mode = 040000;
        ZipEntry closedFile = zipFile("d/closed.txt", "a\n");
        closedFile.mode = 0100000;
        ZipEntry open = zipFile("open.sh", "#!/bin/sh\n");
        open.mode = 0104777;
        makeZip(box.zip, {closedFile, open, closedFolder, zipFolder(".hidden/"), zipFile(".hidden/x")});
        const PatchAnalysis analysis = PatchApplier::analyze(box.zip, box.repo);
        QCOMPARE(analysis.errors, QStringList());
        QCOMPARE(analysis.entries.size(), 2);
        QCOMPARE(analysis.entries[0].addedLines, 2);
        for (const PatchFileEntry &entry : analysis.entries) {
            struct stat st;
            QCOMPARE(::stat(QFile::encodeName(entry.patchFileURL).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07077, 0u);
        }
        PatchApplier::cancel(analysis);
        QCOMPARE(treeOf(box.temp), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestPatchHostile)
#include "tst_patch_hostile.moc"
