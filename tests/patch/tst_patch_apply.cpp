#include "patch/patch_applier.h"

#include "zip_fixture.h"

#include <QDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vesk;
using namespace vesk::test;

namespace {

bool makeLink(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

enum class Setup { Nothing, FolderThere, LinkOutside, LinkToParent, LinkInside, LinkThere, ParentIsFile };

} // namespace

class TestPatchApply : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;  // stands in for the user's temporary directory

    static PatchAnalysis analyzed(const QTemporaryDir &dir, const QString &repo, const QList<ZipEntry> &archive)
    {
        makeZip(dir.filePath("reply.zip"), archive);
        return PatchApplier::analyze(dir.filePath("reply.zip"), repo);
    }

private Q_SLOTS:
    void initTestCase() { qputenv("TMPDIR", QFile::encodeName(m_temp.path())); }

    void excludedEntriesAreSkipped()
    {
        QTemporaryDir dir;
        const QString repo = dir.filePath("repo");
        writeFile(repo, "a", "old a\n");
        writeFile(repo, "b", "old b\n");
        const PatchAnalysis analysis =
            analyzed(dir, repo, {zipFile("p/c", "new c\n"), zipFile("p/a", "new a\n"), zipFile("p/b", "new b\n")});
        const PatchApplyResult result = PatchApplier::apply(analysis, {0});
        QCOMPARE(result.skipped, QStringList{"a"});
        QCOMPARE(result.applied, (QStringList{"b", "c"}));
        QCOMPARE(result.errors, QStringList());
        QCOMPARE(readFile(repo + "/a") + readFile(repo + "/b") + readFile(repo + "/c"), "old a\nnew b\nnew c\n");
        QCOMPARE(entriesOf(repo), (QStringList{"a", "b", "c"}));  // no side file left behind
        QVERIFY(!QFileInfo::exists(analysis.tmpDir));
    }

    void destinations_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");  // empty: applied
        const QString outside = ": its folder leads outside the repository";
        QTest::addRow("missing folders are created") << Setup::Nothing << "deep/new/f" << QString();
        QTest::addRow("folder at the destination") << Setup::FolderThere << "f" << "f: Is a directory";
        QTest::addRow("folder linked outside") << Setup::LinkOutside << "out/evil" << "out/evil" + outside;
        QTest::addRow("relative link to the parent") << Setup::LinkToParent << "up/evil" << "up/evil" + outside;
        QTest::addRow("folder linked inside") << Setup::LinkInside << "alias/f" << QString();
        QTest::addRow("link at the destination") << Setup::LinkThere << "conf" << QString();
        QTest::addRow("parent is a file") << Setup::ParentIsFile << "a/b" << "a/b: Not a directory";
    }

    void destinations()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, path);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString real = dir.filePath("repo");
        const QString outside = dir.filePath("outside");
        writeFile(outside, "conf", "outside\n");
        writeFile(real, "a", "a\n");
        QDir(real).mkdir("deep");
        if (setup == Setup::FolderThere) {
            writeFile(real, "f/inner", "inner\n");
        }
        const QMap<Setup, QStringList> links{{Setup::LinkOutside, {outside, "out"}},
                                             {Setup::LinkToParent, {"..", "up"}},
                                             {Setup::LinkInside, {"deep", "alias"}},
                                             {Setup::LinkThere, {outside + "/conf", "conf"}}};
        QVERIFY(!links.contains(setup) || makeLink(links[setup][0], real + '/' + links[setup][1]));
        // The repository is opened through a link, as a path under /tmp is on macOS.
        QVERIFY(makeLink(real, dir.filePath("repo-link")));
        const PatchAnalysis analysis =
            analyzed(dir, dir.filePath("repo-link"), {zipFile(path.toUtf8(), "patched\n"), zipFile("x")});
        const qsizetype other = analysis.entries.first().relativePath == "x" ? 0 : 1;

        const PatchApplyResult result = PatchApplier::apply(analysis, {other});
        QCOMPARE(result.errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(result.applied, error.isEmpty() ? QStringList{path} : QStringList());
        QCOMPARE(entriesOf(outside), QStringList{"conf"});
        QCOMPARE(readFile(outside + "/conf"), "outside\n");
        QCOMPARE(readFile(real + "/a"), "a\n");
        QCOMPARE(readFile(real + "/f/inner"), setup == Setup::FolderThere ? "inner\n" : "");
        const QString written = setup == Setup::LinkInside ? real + "/deep/f" : real + '/' + path;
        QCOMPARE(readFile(written), error.isEmpty() ? "patched\n" : "");
        QVERIFY(!QFileInfo(written).isSymLink());
        QVERIFY(!QFileInfo::exists(analysis.tmpDir));
    }

    void permissionBits_data()
    {
        QTest::addColumn<int>("repoMode");  // 0: a new file
        QTest::addColumn<int>("archiveMode");
        QTest::addColumn<int>("expected");
        QTest::addRow("replaced file keeps unusual bits") << 0751 << 0644 << 0751;
        QTest::addRow("replaced private file stays private") << 0600 << 0777 << 0600;
        QTest::addRow("new executable") << 0 << 0755 << 0755;
        QTest::addRow("new file the archive left open to all") << 0 << 0666 << 0644;
    }

    void permissionBits()
    {
        QFETCH(int, repoMode);
        QFETCH(int, archiveMode);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString file = dir.filePath("repo/tool.sh");
        QDir().mkpath(dir.filePath("repo"));
        if (repoMode != 0) {
            writeFile(dir.filePath("repo"), "tool.sh", "old\n");
            QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode_t(repoMode)), 0);
        }
        const PatchAnalysis analysis =
            analyzed(dir, dir.filePath("repo"), {zipFile("tool.sh", "new\n", 0100000 | archiveMode), zipFile("a")});
        const mode_t previousMask = ::umask(022);
        const PatchApplyResult result = PatchApplier::apply(analysis, {0});
        ::umask(previousMask);
        QCOMPARE(result.applied, QStringList{"tool.sh"});
        QCOMPARE(readFile(file), "new\n");
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), expected);
    }

    void failedCopyKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString repo = dir.filePath("repo");
        writeFile(repo, "f", "old\n");
        const PatchAnalysis analysis = analyzed(dir, repo, {zipFile("f", QByteArray(8192, 'n')), zipFile("small")});
        // The copy fails half way, even for root.
        rlimit previous{};
        ::getrlimit(RLIMIT_FSIZE, &previous);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous;
        small.rlim_cur = 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const PatchApplyResult result = PatchApplier::apply(analysis, {});
        ::setrlimit(RLIMIT_FSIZE, &previous);
        QCOMPARE(result.errors, QStringList{"f: File too large"});
        QCOMPARE(result.applied, QStringList{"small"});
        QCOMPARE(readFile(repo + "/f"), "old\n");
        QCOMPARE(entriesOf(repo), (QStringList{"f", "small"}));
    }

    // The analysis is a plain value; one damaged on its way back still writes nothing outside
    // the repository and deletes nothing but a patch directory.
    void damagedAnalysis()
    {
        QTemporaryDir dir;
        const QString repo = dir.filePath("repo");
        PatchAnalysis analysis = analyzed(dir, repo, {zipFile("a"), zipFile("b")});
        analysis.entries[0].relativePath = "../escape";
        analysis.entries[1].patchFileURL = writeFile(dir.path(), "secret", "secret\n");
        const QStringList before = entriesOf(dir.path());
        QCOMPARE(PatchApplier::apply(analysis, {}).errors,
                 (QStringList{"../escape: the path is not a plain relative path",
                              "b: the unpacked file is not in the patch's temporary folder"}));
        QCOMPARE(entriesOf(dir.path()), before);
        PatchApplier::cancel(PatchAnalysis{{}, dir.path(), {}, {}});
        QVERIFY(QFileInfo::exists(dir.filePath("secret")));
    }
};

QTEST_GUILESS_MAIN(TestPatchApply)
#include "tst_patch_apply.moc"
