#include "platform/atomic_write.h"
#include "platform/file_time.h"
#include "platform/temp_files.h"

#include "test_support.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace vesk;
using namespace vesk::test;

class TestPlatformFiles : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> m_temp;  // the user's temporary directory, fresh for every test

private Q_SLOTS:
    void init()
    {
        m_temp.emplace();
        qputenv("TMPDIR", QFile::encodeName(m_temp->path()));
    }

    void writes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("existingMode");  // -1: no file yet; else a longer file is replaced
        QTest::addColumn<int>("mask");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expectedMode");
        const QString f = "file.txt";
        QTest::addRow("new empty") << f << -1 << 022 << QByteArray("") << 0644;
        QTest::addRow("new, umask 002") << f << -1 << 002 << QByteArray("new") << 0664;
        QTest::addRow("binary, keeps 0640") << f << 0640 << 022 << QByteArray("a\0b\r\n\xff", 6) << 0640;
        QTest::addRow("keeps 0755 despite umask") << f << 0755 << 077 << QByteArray("new") << 0755;
        QTest::addRow("long name") << QString(250, 'n') << 0644 << 022 << QByteArray("new") << 0644;
        QTest::addRow("non-ASCII name") << "Grüße-名前.txt" << -1 << 022 << QByteArray("new") << 0644;
    }

    void writes()
    {
        QFETCH(QString, name);
        QFETCH(int, existingMode);
        QFETCH(int, mask);
        QFETCH(QByteArray, data);
        const QString path = m_temp->filePath(name);
        const QByteArray longer(100000, 'x');
        QVERIFY(existingMode < 0 || setPermissionBits(writeFile(m_temp->path(), name, longer), existingMode));
        const mode_t previousMask = ::umask(mode_t(mask));
        const WriteResult result = atomicWrite(path, data);
        ::umask(previousMask);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(readFile(path), data);
        QTEST(permissionBits(path), "expectedMode");
        QCOMPARE(entryNames(m_temp->path()), QStringList{name});  // no side file left
    }

    void linkIsKeptAndTargetWritten_data()
    {
        QTest::addColumn<QString>("link");    // what "link" holds; "@" stands for the directory
        QTest::addColumn<QString>("middle");  // when set, "middle" is a second link in the chain
        QTest::addColumn<QString>("target");  // where the data lands; made first (mode 0600) unless named new
        const QString real = "sub/real.txt";
        QTest::addRow("relative") << real << QString() << real;
        QTest::addRow("absolute") << "@/real.txt" << QString() << "real.txt";
        QTest::addRow("chain") << "middle" << real << real;
        QTest::addRow("dangling") << "sub/new.txt" << QString() << "sub/new.txt";
    }

    void linkIsKeptAndTargetWritten()
    {
        QFETCH(QString, link);
        QFETCH(QString, middle);
        QFETCH(QString, target);
        const bool dangling = target.contains("new");
        QVERIFY(QDir(m_temp->path()).mkdir("sub"));
        QVERIFY(dangling || setPermissionBits(writeFile(m_temp->path(), target, "old"), 0600));
        QVERIFY(makeSymlink(link.replace('@', m_temp->path()), m_temp->filePath("link")));
        QVERIFY(middle.isEmpty() || makeSymlink(middle, m_temp->filePath("middle")));
        const WriteResult result = atomicWrite(m_temp->filePath("link"), "new");
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(QFileInfo(m_temp->filePath("link")).isSymLink());
        QCOMPARE(readFile(m_temp->filePath(target)), "new");
        QVERIFY(dangling || permissionBits(m_temp->filePath(target)) == 0600);
    }

    // Each fails at a different step: finding the target, writing the side file, renaming it.
    void failedWriteLeavesEverythingAsItWas_data()
    {
        QTest::addColumn<QString>("failure");
        for (const char *failure : {"missing parent", "link loop", "fifo", "file size limit", "directory"}) {
            QTest::addRow("%s", failure) << QString(failure);
        }
    }

    void failedWriteLeavesEverythingAsItWas()
    {
        QFETCH(QString, failure);
        const QString dir = m_temp->path();
        const QString original = writeFile(dir, "file.txt", "original");
        writeFile(dir, "directory/inner", "x");
        const QString path = failure == "file size limit" ? original : dir + '/' + failure;
        QVERIFY(failure != "link loop" || makeSymlink("link loop", path));
        QVERIFY(failure != "fifo" || ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        const QStringList before = entryNames(dir);
        const WriteResult result = [&] {
            const FileSizeLimit limit(failure == "file size limit" ? 1024 : 1 << 30);  // fails even for root
            return atomicWrite(failure == "missing parent" ? path + "/file.txt" : path, QByteArray(4096, 'n'));
        }();
        QVERIFY(!result.ok && !result.error.isEmpty());
        QCOMPARE(readFile(original), "original");
        QCOMPARE(entryNames(dir), before);
    }

    void fileTimes_data()
    {
        QTest::addColumn<qint64>("nanoseconds");
        QTest::addRow("odd nanoseconds") << qint64(1'700'000'000'123'456'789);
        QTest::addRow("epoch") << qint64(0);
        QTest::addRow("before the epoch") << qint64(-1'500'000'001);
        QTest::addRow("far future") << qint64(4'102'444'800'000'000'001);
    }

    void fileTimes()
    {
        QFETCH(qint64, nanoseconds);
        const FileTime time{nanoseconds};
        const QString path = writeFile(m_temp->path(), "f", "x");
        const QString link = m_temp->filePath("link");
        const QString missing = m_temp->filePath("missing");
        QVERIFY(makeSymlink("f", link));
        QVERIFY(setModificationTime(link, time));
        QCOMPARE(modificationTime(path), std::optional(time));
        QCOMPARE(modificationTime(link), std::optional(time));
        QVERIFY(!modificationTime(missing) && !setModificationTime(missing, time) && !QFile::exists(missing));
    }

    void userTempDir_data()
    {
        QTest::addColumn<QByteArray>("tmpdir");
        QTest::addColumn<QString>("expected");
        QTest::addRow("trailing slashes") << QByteArray("/x/tmp//") << "/x/tmp";
        QTest::addRow("empty") << QByteArray() << QString("/tmp/vesk-%1").arg(::geteuid());
    }

    void userTempDir()
    {
        QFETCH(QByteArray, tmpdir);
        qputenv("TMPDIR", tmpdir);
        const QString dir = vesk::userTempDir();
        QTEST(dir, "expected");
        QVERIFY(!tmpdir.isEmpty() || permissionBits(dir) == 0700);
    }

    void ensurePrivateDirectory_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("accepted");
        QTest::addRow("missing") << "missing" << true;
        QTest::addRow("ours, too open") << "open" << true;
        QTest::addRow("link to a private directory") << "link" << false;
        QTest::addRow("regular file") << "file" << false;
        QTest::addRow("missing parent") << "no/dir" << false;
        QTest::addRow("someone else's") << "foreign" << false;
    }

    void ensurePrivateDirectory()
    {
        QFETCH(QString, setup);
        QFETCH(bool, accepted);
        const QString path = m_temp->filePath(setup);
        if (setup == "foreign" && ::geteuid() != 0) {
            QSKIP("only root can hand a directory to another user");
        }
        QVERIFY((setup != "open" && setup != "foreign") || (QDir().mkdir(path) && setPermissionBits(path, 0777)));
        QVERIFY(setup != "foreign" || ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
        QVERIFY(setup != "link" || makeSymlink(m_temp->path(), path));  // QTemporaryDir makes it 0700
        QVERIFY(setup != "file" || !writeFile(m_temp->path(), setup, "x").isEmpty());
        const int before = permissionBits(path);
        QCOMPARE(vesk::ensurePrivateDirectory(path), accepted ? path : QString());
        QCOMPARE(permissionBits(path), accepted ? 0700 : before);  // what is refused is left alone
    }

    void createTempDirectory()
    {
        const mode_t previousMask = ::umask(0);
        const QString first = vesk::createTempDirectory("patch_");
        const QString second = vesk::createTempDirectory("patch_");
        const QString climbing = vesk::createTempDirectory("../");
        ::umask(previousMask);
        QCOMPARE(climbing, QString());
        QCOMPARE(QFileInfo(first).path(), m_temp->path());
        const QRegularExpression name("^patch_[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$");
        QVERIFY2(name.match(QFileInfo(first).fileName()).hasMatch(), qPrintable(first));
        QCOMPARE(permissionBits(first), 0700);
        QVERIFY(first != second);
        const QString shortUuid = vesk::shortUuid();
        QVERIFY2(QRegularExpression("^[0-9A-F]{8}$").match(shortUuid).hasMatch(), qPrintable(shortUuid));
        QVERIFY(shortUuid != vesk::shortUuid());
    }

    void writeTempFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("existing");  // what stands at the name before: "", "file", "link", "dangling"
        QTest::addColumn<bool>("accepted");
        QTest::addRow("new") << "a.patch" << QString() << true;
        QTest::addRow("replaces an open file") << "a.patch" << "file" << true;
        QTest::addRow("link to a victim") << "a.patch" << "link" << true;
        QTest::addRow("dangling link") << "a.patch" << "dangling" << true;
        QTest::addRow("empty name") << QString() << QString() << false;
        QTest::addRow("dot dot") << ".." << QString() << false;
        QTest::addRow("separator") << "x/../escape" << QString() << false;
    }

    void writeTempFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, existing);
        QFETCH(bool, accepted);
        QTemporaryDir outside;
        const QString victim = writeFile(outside.path(), "victim", "precious");
        const QString at = m_temp->filePath(name);
        QDir(m_temp->path()).mkdir("x");  // so that "x/.." leads somewhere
        QVERIFY(existing != "file" || setPermissionBits(writeFile(m_temp->path(), name, "old"), 0644));
        QVERIFY(existing != "link" || makeSymlink(victim, at));
        QVERIFY(existing != "dangling" || makeSymlink(outside.filePath("planted"), at));
        const mode_t previousMask = ::umask(0277);  // the file is 0600 all the same
        const QString path = vesk::writeTempFile(name, "secret");
        ::umask(previousMask);
        QCOMPARE(readFile(victim), "precious");
        QCOMPARE(entryNames(outside.path()), QStringList{"victim"});
        QCOMPARE(path, accepted ? at : QString());
        QVERIFY(!accepted || (permissionBits(path) == 0600 && readFile(path) == "secret"));  // a link is never 0600
    }
};

QTEST_GUILESS_MAIN(TestPlatformFiles)
#include "tst_platform_files.moc"
