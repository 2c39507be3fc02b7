#include "patch/patch_applier.h"

#include "test_support.h"
#include "zip_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
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

bool isLink(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

unsigned modeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

enum class Setup { Nothing, FolderAtDestination, FolderLinkOutside, RelativeLinkToParent, FolderLinkInside,
                   LinkAtDestination, ParentIsFile };

} // namespace

class TestPatchApply : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;  // stands in for the user's temporary directory

    PatchAnalysis analyzed(const QTemporaryDir &dir, const QString &repo, const QList<ZipEntry> &archive)
    {
        const QString zip = dir.filePath(QStringLiteral("reply.zip"));
        makeZip(zip, archive);
        return PatchApplier::analyze(zip, repo);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_temp.isValid());
        qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    }

    void excludedEntriesAreSkipped()
    {
        QTemporaryDir dir;
        const QString repo = dir.filePath(QStringLiteral("repo"));
        writeFile(repo, QStringLiteral("a.txt"), "old a\n");
        writeFile(repo, QStringLiteral("b.txt"), "old b\n");
        const PatchAnalysis analysis = analyzed(dir, repo, {zipFile("proj/c.txt", "new c\n"), zipFile("proj/a.txt", "new a\n"),
                                                            zipFile("proj/b.txt", "new b\n"), zipFile("__MACOSX/proj/._a.txt")});
        QCOMPARE(analysis.errors, QStringList());

        const PatchApplyResult result = PatchApplier::apply(analysis, {0});
        QCOMPARE(result.skipped, QStringList{"a.txt"});
        QCOMPARE(result.applied, (QStringList{"b.txt", "c.txt"}));
        QCOMPARE(result.errors, QStringList());
        QCOMPARE(readFile(repo + QStringLiteral("/a.txt")), QByteArray("old a\n"));
        QCOMPARE(readFile(repo + QStringLiteral("/b.txt")), QByteArray("new b\n"));
        QCOMPARE(readFile(repo + QStringLiteral("/c.txt")), QByteArray("new c\n"));
        QCOMPARE(entriesOf(repo), (QStringList{"a.txt", "b.txt", "c.txt"}));  // no side files left
        QVERIFY(!QFileInfo::exists(analysis.tmpDir));
    }

    void destinations_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");  // empty: applied
        const QString outside = QStringLiteral("its folder leads outside the repository");
        QTest::addRow("missing folders are created") << Setup::Nothing << "deep/new/dir/f.txt" << QString();
        QTest::addRow("folder at the destination") << Setup::FolderAtDestination << "f.txt" << "f.txt: Is a directory";
        QTest::addRow("folder linked outside") << Setup::FolderLinkOutside << "out/evil.txt" << "out/evil.txt: " + outside;
        QTest::addRow("relative link to the parent") << Setup::RelativeLinkToParent << "up/evil.txt" << "up/evil.txt: " + outside;
        QTest::addRow("folder linked inside") << Setup::FolderLinkInside << "alias/f.txt" << QString();
        QTest::addRow("link at the destination") << Setup::LinkAtDestination << "conf" << QString();
        QTest::addRow("parent is a file") << Setup::ParentIsFile << "a/b.txt" << "a/b.txt: Not a directory";
    }

    void destinations()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, path);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString realRepo = dir.filePath(QStringLiteral("repo"));
        const QString outside = dir.filePath(QStringLiteral("outside"));
        writeFile(outside, QStringLiteral("conf.txt"), "outside\n");
        writeFile(realRepo, QStringLiteral("keep.txt"), "keep\n");
        // The repository is opened through a link, as a path under /tmp is on macOS.
        const QString repo = dir.filePath(QStringLiteral("repo-link"));
        QVERIFY(makeLink(realRepo, repo));
        switch (setup) {
        case Setup::Nothing:
            break;
        case Setup::FolderAtDestination:
            writeFile(realRepo, QStringLiteral("f.txt/inner"), "inner\n");
            break;
        case Setup::FolderLinkOutside:
            QVERIFY(makeLink(outside, realRepo + QStringLiteral("/out")));
            break;
        case Setup::RelativeLinkToParent:
            QVERIFY(makeLink(QStringLiteral(".."), realRepo + QStringLiteral("/up")));
            break;
        case Setup::FolderLinkInside:
            QVERIFY(QDir().mkpath(realRepo + QStringLiteral("/real")));
            QVERIFY(makeLink(QStringLiteral("real"), realRepo + QStringLiteral("/alias")));
            break;
        case Setup::LinkAtDestination:
            QVERIFY(makeLink(outside + QStringLiteral("/conf.txt"), realRepo + QStringLiteral("/conf")));
            break;
        case Setup::ParentIsFile:
            writeFile(realRepo, QStringLiteral("a"), "a\n");
            break;
        }
        const QStringList outsideBefore = entriesOf(outside);
        const PatchAnalysis analysis = analyzed(dir, repo, {zipFile(path.toUtf8(), "patched\n"), zipFile("other.txt")});
        QCOMPARE(analysis.errors, QStringList());
        const qsizetype index = analysis.entries.first().relativePath == path ? 0 : 1;
        QCOMPARE(analysis.entries[index].relativePath, path);

        const PatchApplyResult result = PatchApplier::apply(analysis, {1 - index});
        QCOMPARE(result.errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(result.applied, error.isEmpty() ? QStringList{path} : QStringList());
        QCOMPARE(entriesOf(outside), outsideBefore);
        QCOMPARE(readFile(outside + QStringLiteral("/conf.txt")), QByteArray("outside\n"));
        QVERIFY(!QFileInfo::exists(analysis.tmpDir));
        if (error.isEmpty()) {
            const QString written = realRepo + u'/' + path;
            QCOMPARE(readFile(written), QByteArray("patched\n"));
            QVERIFY(!isLink(written));
        }
        if (setup == Setup::FolderLinkInside) {
            QCOMPARE(readFile(realRepo + QStringLiteral("/real/f.txt")), QByteArray("patched\n"));
        }
        if (setup == Setup::FolderAtDestination) {
            QCOMPARE(readFile(realRepo + QStringLiteral("/f.txt/inner")), QByteArray("inner\n"));
        }
    }

    void permissionBits_data()
    {
        QTest::addColumn<int>("repoMode");  // 0: a new file
        QTest::addColumn<int>("archiveMode");
        QTest::addColumn<int>("expected");
        QTest::addRow("replaced file keeps unusual bits") << 0751 << 0644 << 0751;
        QTest::addRow("replaced private file stays private") << 0600 << 0777 << 0600;
        QTest::addRow("new executable") << 0 << 0755 << 0755;
        QTest::addRow("new plain file") << 0 << 0644 << 0644;
        QTest::addRow("new file the archive left open to all") << 0 << 0666 << 0644;
    }

    void permissionBits()
    {
        QFETCH(int, repoMode);
        QFETCH(int, archiveMode);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString repo = dir.filePath(QStringLiteral("repo"));
        QDir().mkpath(repo);
        const QString file = repo + QStringLiteral("/tool.sh");
        if (repoMode != 0) {
            writeFile(repo, QStringLiteral("tool.sh"), "old\n");
            QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode_t(repoMode)), 0);
        }
        ZipEntry entry = zipFile("tool.sh", "new\n");
        entry.mode = 0100000 | archiveMode;
        const PatchAnalysis analysis = analyzed(dir, repo, {entry, zipFile("other")});
        const mode_t previousMask = ::umask(022);
        const PatchApplyResult result = PatchApplier::apply(analysis, {0});  // "other"
        ::umask(previousMask);
        QCOMPARE(result.errors, QStringList());
        QCOMPARE(readFile(file), QByteArray("new\n"));
        QCOMPARE(modeOf(file), unsigned(expected));
    }

    void failedCopyKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString repo = dir.filePath(QStringLiteral("repo"));
        writeFile(repo, QStringLiteral("f.txt"), "old\n");
        const PatchAnalysis analysis = analyzed(dir, repo, {zipFile("f.txt", QByteArray(8192, 'n')), zipFile("small", "s\n")});
        QCOMPARE(analysis.errors, QStringList());

        // The copy fails half way, even for root.
        rlimit previous{};
        ::getrlimit(RLIMIT_FSIZE, &previous);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous;
        small.rlim_cur = 1024;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const PatchApplyResult result = PatchApplier::apply(analysis, {});
        ::setrlimit(RLIMIT_FSIZE, &previous);

        QCOMPARE(result.errors, QStringList{QStringLiteral("f.txt: File too large")});
        QCOMPARE(result.applied, QStringList{"small"});
        QCOMPARE(readFile(repo + QStringLiteral("/f.txt")), QByteArray("old\n"));
        QCOMPARE(entriesOf(repo), (QStringList{"f.txt", "small"}));
        QVERIFY(!QFileInfo::exists(analysis.tmpDir));
    }

    // The analysis is a plain value; one damaged on its way back must still write nothing
    // outside the repository and delete nothing that is not a patch directory.
    void damagedAnalysis_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::addColumn<bool>("foreignSource");
        QTest::addColumn<QString>("error");
        QTest::addRow("climbing path") << "../escape.txt" << false << "../escape.txt: the path is not a plain relative path";
        QTest::addRow("absolute path") << "/escape.txt" << false << "/escape.txt: the path is not a plain relative path";
        QTest::addRow("source outside the temporary directory")
            << "copied.txt" << true << "copied.txt: the unpacked file is not in the patch's temporary folder";
    }

    void damagedAnalysis()
    {
        QFETCH(QString, relativePath);
        QFETCH(bool, foreignSource);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString repo = dir.filePath(QStringLiteral("repo"));
        QDir().mkpath(repo);
        PatchAnalysis analysis = analyzed(dir, repo, {zipFile("a.txt")});
        analysis.entries.first().relativePath = relativePath;
        if (foreignSource) {
            analysis.entries.first().patchFileURL = writeFile(dir.path(), QStringLiteral("secret"), "secret\n");
        }
        const QStringList before = entriesOf(dir.path());
        const PatchApplyResult result = PatchApplier::apply(analysis, {});
        QCOMPARE(result.errors, QStringList{error});
        QCOMPARE(entriesOf(dir.path()), before);
        QCOMPARE(entriesOf(repo), QStringList());

        PatchAnalysis foreign;
        foreign.tmpDir = repo;
        PatchApplier::cancel(foreign);
        QVERIFY(QFileInfo::exists(repo));
    }
};

QTEST_GUILESS_MAIN(TestPatchApply)
#include "tst_patch_apply.moc"
