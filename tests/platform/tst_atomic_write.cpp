#include "platform/atomic_write.h"

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using vesk::test::readFile;
using vesk::test::writeFile;

namespace {

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

int modeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return int(st.st_mode & 07777);
}

bool makeLink(const QString &text, const QString &link)
{
    return ::symlink(QFile::encodeName(text).constData(), QFile::encodeName(link).constData()) == 0;
}

QByteArray readLink(const QString &path)
{
    QByteArray text(4096, '\0');
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), text.data(), size_t(text.size()));
    return text.left(std::max<ssize_t>(length, 0));
}

enum class Failure { MissingParent, Directory, ParentIsFile, LinkLoop, Fifo, ReadOnlyDirectory, FileSizeLimit };

} // namespace

class TestAtomicWrite : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("initial");  // null: no file yet
        QTest::addColumn<QByteArray>("data");
        const QString plain = QStringLiteral("file.txt");
        QTest::addRow("new empty") << plain << QByteArray() << QByteArray("");
        QTest::addRow("binary, shorter than before") << plain << QByteArray(100000, 'x') << QByteArray("a\0b\r\n\xff", 6);
        QTest::addRow("long name") << QString(250, QLatin1Char('n')) << QByteArray("old") << QByteArray("new");
        QTest::addRow("non-ASCII name") << QStringLiteral("Grüße-名前.txt") << QByteArray() << QByteArray("new");
    }

    void roundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, initial);
        QFETCH(QByteArray, data);
        QTemporaryDir dir;
        if (!initial.isNull()) {
            writeFile(dir.path(), name, initial);
        }
        const vesk::WriteResult result = vesk::atomicWrite(dir.filePath(name), data);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(readFile(dir.filePath(name)), data);
        QCOMPARE(entries(dir.path()), QStringList{name});
    }

    void modes_data()
    {
        QTest::addColumn<int>("existingMode");  // -1: no file yet
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("makePrivate");
        QTest::addColumn<int>("expectedMode");
        QTest::addRow("new, umask 022") << -1 << 022 << false << 0644;
        QTest::addRow("new, umask 027") << -1 << 027 << false << 0640;
        QTest::addRow("kept 0640") << 0640 << 022 << false << 0640;
        QTest::addRow("kept 0755 despite umask") << 0755 << 077 << false << 0755;
        QTest::addRow("private new, umask 0277") << -1 << 0277 << true << 0600;
        QTest::addRow("private over 0644") << 0644 << 022 << true << 0600;
    }

    void modes()
    {
        QFETCH(int, existingMode);
        QFETCH(int, mask);
        QFETCH(bool, makePrivate);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file"));
        if (existingMode >= 0) {
            writeFile(dir.path(), QStringLiteral("file"), "old");
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(existingMode)), 0);
        }
        const mode_t previousMask = ::umask(mode_t(mask));
        const vesk::WriteResult result = makePrivate ? vesk::atomicWritePrivate(path, "new") : vesk::atomicWrite(path, "new");
        ::umask(previousMask);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(readFile(path), QByteArray("new"));
        QTEST(modeOf(path), "expectedMode");
    }

    void linkIsKeptAndTargetWritten_data()
    {
        QTest::addColumn<QString>("linkText");    // where "link" points; "@" stands for the directory
        QTest::addColumn<QString>("middleText");  // when set, "middle" is a second link in the chain
        QTest::addColumn<QString>("target");      // where the data lands
        QTest::addColumn<bool>("targetExists");
        const QString real = QStringLiteral("sub/real.txt");
        QTest::addRow("relative") << real << QString() << real << true;
        QTest::addRow("absolute") << QStringLiteral("@/real.txt") << QString() << QStringLiteral("real.txt") << true;
        QTest::addRow("chain") << QStringLiteral("middle") << real << real << true;
        QTest::addRow("dangling") << QStringLiteral("sub/new.txt") << QString() << QStringLiteral("sub/new.txt") << false;
    }

    void linkIsKeptAndTargetWritten()
    {
        QFETCH(QString, linkText);
        QFETCH(QString, middleText);
        QFETCH(QString, target);
        QFETCH(bool, targetExists);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir(QStringLiteral("sub"));
        if (targetExists) {
            writeFile(dir.path(), target, "old");
            QFile::setPermissions(dir.filePath(target), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        const QString link = dir.filePath(QStringLiteral("link"));
        linkText.replace(QLatin1Char('@'), dir.path());
        QVERIFY(makeLink(linkText, link));
        QVERIFY(middleText.isEmpty() || makeLink(middleText, dir.filePath(QStringLiteral("middle"))));
        const QStringList before = entries(dir.path()) + entries(dir.filePath(QStringLiteral("sub")));

        const vesk::WriteResult result = vesk::atomicWrite(link, "new");
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(readLink(link), QFile::encodeName(linkText));
        QCOMPARE(readFile(dir.filePath(target)), QByteArray("new"));
        if (targetExists) {
            QCOMPARE(modeOf(dir.filePath(target)), 0600);
            QCOMPARE(entries(dir.path()) + entries(dir.filePath(QStringLiteral("sub"))), before);
        }
    }

    void failureLeavesEverythingAsItWas_data()
    {
        QTest::addColumn<Failure>("failure");
        QTest::addRow("missing parent") << Failure::MissingParent;
        QTest::addRow("path is a directory") << Failure::Directory;
        QTest::addRow("parent is a file") << Failure::ParentIsFile;
        QTest::addRow("link loop") << Failure::LinkLoop;
        QTest::addRow("fifo") << Failure::Fifo;
        QTest::addRow("read-only directory") << Failure::ReadOnlyDirectory;
        QTest::addRow("file size limit") << Failure::FileSizeLimit;
    }

    void failureLeavesEverythingAsItWas()
    {
        QFETCH(Failure, failure);
        QTemporaryDir dir;
        const QString original = writeFile(dir.path(), QStringLiteral("file.txt"), "original");
        const QMap<Failure, QString> paths{
            {Failure::MissingParent, dir.filePath(QStringLiteral("missing/file.txt"))},
            {Failure::Directory, QFileInfo(writeFile(dir.path(), QStringLiteral("sub/inner"), "x")).path()},
            {Failure::ParentIsFile, original + QStringLiteral("/child")},
            {Failure::LinkLoop, dir.filePath(QStringLiteral("loop"))},
            {Failure::Fifo, dir.filePath(QStringLiteral("fifo"))}};
        const QString path = paths.value(failure, original);
        QVERIFY(failure != Failure::LinkLoop || makeLink(QStringLiteral("loop"), path));
        QVERIFY(failure != Failure::Fifo || ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
        if (failure == Failure::ReadOnlyDirectory) {
            if (::geteuid() == 0) {
                QSKIP("root writes into read-only directories");
            }
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        rlimit previousLimit{};
        ::getrlimit(RLIMIT_FSIZE, &previousLimit);
        if (failure == Failure::FileSizeLimit) {
            // Fails while the side file is being written, even for root.
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit small = previousLimit;
            small.rlim_cur = 1024;
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        const QStringList before = entries(dir.path());

        const vesk::WriteResult result = vesk::atomicWrite(path, QByteArray(4096, 'n'));
        ::setrlimit(RLIMIT_FSIZE, &previousLimit);
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(readFile(original), QByteArray("original"));
        QCOMPARE(entries(dir.path()), before);
    }
};

QTEST_GUILESS_MAIN(TestAtomicWrite)
#include "tst_atomic_write.moc"
