#include "platform/temp_files.h"

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using vesk::test::readFile;

namespace {

struct stat lstatOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

int modeOf(const QString &path)
{
    return int(lstatOf(path).st_mode & 07777);
}

void makeLink(const QString &target, const QString &link)
{
    QVERIFY(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0);
}

} // namespace

class TestTempFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QByteArray m_savedTmpdir;

private Q_SLOTS:
    void initTestCase() { m_savedTmpdir = qgetenv("TMPDIR"); }
    void init() { qputenv("TMPDIR", QFile::encodeName(m_dir.path())); }
    void cleanupTestCase() { qputenv("TMPDIR", m_savedTmpdir); }

    void shortUuidIsEightUpperHexDigits()
    {
        const QString first = vesk::shortUuid();
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{8}$")).match(first).hasMatch(), qPrintable(first));
        QVERIFY(first != vesk::shortUuid());
    }

    void userTempDir_data()
    {
        QTest::addColumn<QByteArray>("tmpdir");
        QTest::addColumn<QString>("expected");
        const QString dir = m_dir.path();
        const QString fallback = QStringLiteral("/tmp/vesk-%1").arg(::geteuid());
        QTest::addRow("set") << QFile::encodeName(dir) << dir;
        QTest::addRow("trailing slashes") << QFile::encodeName(dir) + "//" << dir;
        QTest::addRow("root") << QByteArray("/") << QStringLiteral("/");
        QTest::addRow("empty") << QByteArray() << fallback;
    }

    void userTempDir()
    {
        QFETCH(QByteArray, tmpdir);
        qputenv("TMPDIR", tmpdir);
        const QString dir = vesk::userTempDir();
        QTEST(dir, "expected");
        if (tmpdir.isEmpty()) {
            QVERIFY(S_ISDIR(lstatOf(dir).st_mode));
            QCOMPARE(modeOf(dir), 0700);
        }
    }

    void ensurePrivateDirectory_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("accepted");
        QTest::addRow("missing") << QStringLiteral("missing") << true;
        QTest::addRow("ours, too open") << QStringLiteral("open") << true;
        QTest::addRow("link to a private directory") << QStringLiteral("link") << false;
        QTest::addRow("regular file") << QStringLiteral("file") << false;
        QTest::addRow("missing parent") << QStringLiteral("orphan") << false;
        QTest::addRow("someone else's") << QStringLiteral("foreign") << false;
    }

    void ensurePrivateDirectory()
    {
        QFETCH(QString, setup);
        QFETCH(bool, accepted);
        QTemporaryDir base;
        const QString path = base.filePath(setup == QLatin1String("orphan") ? QStringLiteral("no/dir") : setup);
        const QString privateDir = base.filePath(QStringLiteral("private"));
        QDir().mkdir(privateDir);
        ::chmod(QFile::encodeName(privateDir).constData(), 0700);
        if (setup == QLatin1String("open") || setup == QLatin1String("foreign")) {
            QDir().mkdir(path);
            ::chmod(QFile::encodeName(path).constData(), 0777);
        } else if (setup == QLatin1String("link")) {
            makeLink(privateDir, path);
        } else if (setup == QLatin1String("file")) {
            vesk::test::writeFile(base.path(), setup, "x");
        }
        if (setup == QLatin1String("foreign")) {
            if (::geteuid() != 0) {
                QSKIP("only root can hand a directory to another user");
            }
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        }

        QCOMPARE(vesk::ensurePrivateDirectory(path), accepted ? path : QString());
        if (accepted) {
            QCOMPARE(modeOf(path), 0700);
        } else if (setup == QLatin1String("foreign")) {
            QCOMPARE(modeOf(path), 0777);  // not ours to fix
        }
        QVERIFY(!QFileInfo::exists(base.filePath(QStringLiteral("no"))));
    }

    void createTempDirectory_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("accepted");
        QTest::addRow("plain") << QStringLiteral("patch_") << true;
        QTest::addRow("empty") << QString() << true;
        QTest::addRow("slash") << QStringLiteral("a/") << false;
        QTest::addRow("climbs out") << QStringLiteral("../") << false;
    }

    void createTempDirectory()
    {
        QFETCH(QString, prefix);
        QFETCH(bool, accepted);
        const QStringList before = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const mode_t previousMask = ::umask(0);
        const QString first = vesk::createTempDirectory(prefix);
        const QString second = vesk::createTempDirectory(prefix);
        ::umask(previousMask);
        if (!accepted) {
            QCOMPARE(first, QString());
            QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
            return;
        }
        const QRegularExpression name(QStringLiteral("^%1[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                                          .arg(QRegularExpression::escape(prefix)));
        QVERIFY2(name.match(QFileInfo(first).fileName()).hasMatch(), qPrintable(first));
        QCOMPARE(QFileInfo(first).path(), m_dir.path());
        QCOMPARE(modeOf(first), 0700);
        QVERIFY(first != second);
    }

    void writeTempFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("existing");  // what stands at the name before: "", "file", "link", "dangling"
        QTest::addColumn<bool>("accepted");
        QTest::addRow("new") << QStringLiteral("a.patch") << QString() << true;
        QTest::addRow("replaces an open file") << QStringLiteral("a.patch") << QStringLiteral("file") << true;
        QTest::addRow("link to a victim") << QStringLiteral("a.patch") << QStringLiteral("link") << true;
        QTest::addRow("dangling link") << QStringLiteral("a.patch") << QStringLiteral("dangling") << true;
        QTest::addRow("empty name") << QString() << QString() << false;
        QTest::addRow("dot dot") << QStringLiteral("..") << QString() << false;
        QTest::addRow("separator") << QStringLiteral("x/../../escape") << QString() << false;
    }

    void writeTempFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, existing);
        QFETCH(bool, accepted);
        QTemporaryDir outside;
        const QString victim = vesk::test::writeFile(outside.path(), QStringLiteral("victim"), "precious");
        const QString at = m_dir.filePath(name);
        if (accepted) {
            QFile::remove(at);
        }
        if (existing == QLatin1String("file")) {
            vesk::test::writeFile(m_dir.path(), name, "old");
            ::chmod(QFile::encodeName(at).constData(), 0644);
        } else if (existing == QLatin1String("link")) {
            makeLink(victim, at);
        } else if (existing == QLatin1String("dangling")) {
            makeLink(outside.filePath(QStringLiteral("planted")), at);
        }

        const QString path = vesk::writeTempFile(name, "secret");
        QCOMPARE(readFile(victim), QByteArray("precious"));
        QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{QStringLiteral("victim")});
        if (!accepted) {
            QCOMPARE(path, QString());
            return;
        }
        QCOMPARE(path, at);
        QVERIFY(S_ISREG(lstatOf(path).st_mode));
        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(readFile(path), QByteArray("secret"));
    }
};

QTEST_GUILESS_MAIN(TestTempFiles)
#include "tst_temp_files.moc"
