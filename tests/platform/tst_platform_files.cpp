#include "platform/atomic_write.h"
#include "platform/file_time.h"
#include "platform/regular_file.h"
#include "platform/temp_files.h"

#include "test_support.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
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
        // The date handed back is the one the file carries: a save that takes it as its own
        // sees any later write by another program as a change.
        QVERIFY(result.writtenTime.has_value());
        QCOMPARE(result.writtenTime, modificationTime(path));
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

    void writesContentInPieces_data()
    {
        QTest::addColumn<int>("pieces");        // of 300 bytes each
        QTest::addColumn<qint64>("sizeLimit");  // 0: none
        QTest::addRow("many pieces") << 50 << qint64(0);
        QTest::addRow("fewer bytes than the old content") << 3 << qint64(0);
        QTest::addRow("no piece at all") << 0 << qint64(0);
        QTest::addRow("the limit reached half way") << 50 << qint64(4000);
    }

    // Content produced while it is written lands whole or not at all: a failure half way leaves
    // the old file as it was and nothing beside it.
    void writesContentInPieces()
    {
        QFETCH(int, pieces);
        QFETCH(qint64, sizeLimit);
        const QString dir = m_temp->filePath("sub");
        const QByteArray old(2000, 'o');
        const QString path = writeFile(dir, "file.txt", old);
        QByteArray expected;
        for (int i = 0; i < pieces; ++i) {
            expected += QByteArray(299, char('a' + i % 26)) + '\n';
        }
        int asked = 0;
        const WriteContent content = [&](const WriteSink &sink) {
            ++asked;
            for (int i = 0; i < pieces; ++i) {
                if (!sink(QByteArrayView(expected).sliced(i * 300, 300))) {
                    return false;
                }
            }
            return true;
        };
        const WriteResult result = [&] {
            const FileSizeLimit limit(sizeLimit > 0 ? sizeLimit : 1 << 30);
            return atomicWrite(path, content);
        }();
        if (sizeLimit > 0) {
            QVERIFY(!result.ok);
            QCOMPARE(result.failure, WriteFailure::fileTooLarge);
            QCOMPARE(readFile(path), old);
        } else {
            QVERIFY2(result.ok, qPrintable(result.error));
            QCOMPARE(readFile(path), expected);
            QCOMPARE(asked, 1);
        }
        QCOMPARE(entryNames(dir), QStringList{"file.txt"});
    }

    // Only regular files are read, without ever blocking: a pipe with no writer, a device that
    // never ends, a folder each give a reason instead.
    void readsOnlyRegularFiles_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<QString>("expected");  // "=" and the content, or a part of the reason
        const qint64 any = std::numeric_limits<qint64>::max();
        QTest::addRow("regular file") << "file" << any << "=content";
        QTest::addRow("empty file") << "empty" << any << "=";
        QTest::addRow("link to a regular file") << "link to file" << any << "=content";
        QTest::addRow("nothing there") << "missing" << any << "does not exist";
        QTest::addRow("folder") << "folder" << any << "folder";
        QTest::addRow("named pipe without a writer") << "fifo" << any << "named pipe";
        QTest::addRow("link to a named pipe") << "link to fifo" << any << "named pipe";
        QTest::addRow("link to /dev/zero") << "/dev/zero" << any << "device";
        QTest::addRow("/dev/null") << "/dev/null" << any << "device";
        QTest::addRow("larger than allowed") << "file" << qint64(6) << "too large";
        QTest::addRow("exactly as large as allowed") << "file" << qint64(7) << "=content";
    }

    void readsOnlyRegularFiles()
    {
        QFETCH(QString, setup);
        QFETCH(qint64, maxBytes);
        QFETCH(QString, expected);
        const QString dir = m_temp->path();
        const QString path = dir + "/target";
        if (setup == "file" || setup == "link to file") {
            writeFile(dir, setup == "file" ? "target" : "real", "content");
        } else if (setup == "empty") {
            writeFile(dir, "target", "");
        } else if (setup == "folder") {
            QVERIFY(QDir(dir).mkdir("target"));
        } else if (setup.contains("fifo")) {
            QVERIFY(::mkfifo(QFile::encodeName(dir + (setup == "fifo" ? "/target" : "/real")).constData(), 0600) == 0);
        }
        QVERIFY(!setup.startsWith("link") || makeSymlink("real", path));
        QVERIFY(!setup.startsWith("/dev/") || makeSymlink(setup, path));
        const RegularFileRead read = readRegularFile(path, maxBytes);
        if (expected.startsWith('=')) {
            QVERIFY2(read.ok(), qPrintable(read.error));
            QCOMPARE(read.data, expected.mid(1).toUtf8());
            QVERIFY(isRegularFile(path));
        } else {
            QVERIFY2(read.error.contains(expected), qPrintable(read.error));
            QVERIFY(read.data.isEmpty());
            QVERIFY(setup == "file" || !isRegularFile(path));
        }
    }

    // What is read is what the file held when it was opened: a file that keeps growing (a log,
    // a link to a device swapped in) cannot make a read run on.
    void readStopsAtTheSizeItHad()
    {
        const QString path = writeFile(m_temp->path(), "growing", "0123456789");
        RegularFile file = openRegularFile(path);
        QVERIFY(file.isOpen());
        QCOMPARE(file.size, 10);
        QFile more(path);
        QVERIFY(more.open(QIODevice::Append));
        more.write(QByteArray(1000, 'x'));
        more.close();
        QByteArray piece;
        QByteArray all;
        do {
            QVERIFY(readOpenedFile(file, piece, 4));
            all += piece;
        } while (!piece.isEmpty());
        QCOMPARE(all, "0123456789");
    }

    // The tests run as root, who may write almost anything; these rows act as another user.
    void writesAsAnotherUser_data()
    {
        QTest::addColumn<QString>("folder");   // "open" (0777) or "closed" (root's, 0755)
        QTest::addColumn<QString>("file");     // "owner:group mode"
        QTest::addColumn<qint64>("sizeLimit");  // 0: none
        QTest::addColumn<QString>("outcome");  // "written", or a part of the reason
        QTest::addRow("root's file in a folder open to all") << "open" << "0:0 0644" << qint64(0) << "permission";
        QTest::addRow("own file without any write bit") << "open" << "u:u 0444" << qint64(0) << "read-only";
        QTest::addRow("own file in an open folder") << "open" << "u:u 0644" << qint64(0) << "written";
        QTest::addRow("own file in a folder refusing new files") << "closed" << "u:u 0600" << qint64(0) << "written";
        QTest::addRow("in place, failing half way") << "closed" << "u:u 0644" << qint64(1024) << "File too large";
        QTest::addRow("the group's file stays root's") << "open" << "0:u 0664" << qint64(0) << "written";
    }

    void writesAsAnotherUser()
    {
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QFETCH(qint64, sizeLimit);
        QFETCH(QString, outcome);
        if (::geteuid() != 0) {
            QSKIP("acting as another user needs root");
        }
        const QString u = QString::number(otherUserId);
        const QString owner = file.section(' ', 0, 0).replace("u", u);
        const int mode = file.section(' ', 1).toInt(nullptr, 8);
        QVERIFY(setPermissionBits(m_temp->path(), 0755));
        const QString dir = m_temp->filePath("shared");
        const QString tmp = m_temp->filePath("private");
        QVERIFY(QDir().mkdir(dir) && QDir().mkdir(tmp));
        QVERIFY(setPermissionBits(dir, folder == "open" ? 0777 : 0755));
        QVERIFY(setPermissionBits(tmp, 0700) && setOwner(tmp, otherUserId, otherGroupId));
        const QString path = writeFile(dir, "file.txt", "old content\n");
        QVERIFY(setOwner(path, owner.section(':', 0, 0).toUInt(), owner.section(':', 1).toUInt()));
        QVERIFY(setPermissionBits(path, mode));

        const QByteArray data(4096, 'n');
        const ActorResult result = writeAsOtherUser(path, data, tmp, sizeLimit);
        if (outcome == "written") {
            QVERIFY2(result.exitCode == 0, qPrintable(result.output));
            QCOMPARE(readFile(path), data);
        } else {
            QCOMPARE(result.exitCode, 1);
            QVERIFY2(result.output.contains(outcome), qPrintable(result.output));
            QCOMPARE(readFile(path), "old content\n");
        }
        QCOMPARE(ownerOf(path), owner);  // never taken over
        QCOMPARE(permissionBits(path), mode);
        QCOMPARE(entryNames(dir), QStringList{"file.txt"});  // no side file left
        QCOMPARE(entryNames(tmp), QStringList());            // the private copy is gone again
    }

    // Root saving another user's file leaves it theirs.
    void keepsOwnerAndGroup()
    {
        if (::geteuid() != 0) {
            QSKIP("only root can hand a file to another user");
        }
        const QString path = writeFile(m_temp->path(), "theirs.txt", "old");
        QVERIFY(setOwner(path, otherUserId, otherGroupId) && setPermissionBits(path, 0640));
        const WriteResult result = atomicWrite(path, "new");
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(readFile(path), "new");
        QCOMPARE(ownerOf(path), QStringLiteral("%1:%2").arg(otherUserId).arg(otherGroupId));
        QCOMPARE(permissionBits(path), 0640);
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
