#include "platform/file_time.h"

#include "test_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using vesk::FileTime;

class TestFileTime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<qint64>("nanoseconds");
        QTest::addRow("odd nanoseconds") << qint64(1'700'000'000'123'456'789);
        QTest::addRow("epoch") << qint64(0);
        QTest::addRow("before the epoch") << qint64(-1'500'000'001);
        QTest::addRow("far future") << qint64(4'102'444'800'000'000'001);
    }

    void roundTrip()
    {
        QFETCH(qint64, nanoseconds);
        QTemporaryDir dir;
        const QString path = vesk::test::writeFile(dir.path(), QStringLiteral("f"), "x");
        const QString link = dir.filePath(QStringLiteral("link"));
        QCOMPARE(::symlink("f", QFile::encodeName(link).constData()), 0);

        QVERIFY(vesk::setModificationTime(link, FileTime{nanoseconds}));
        QCOMPARE(vesk::modificationTime(path), std::optional<FileTime>(FileTime{nanoseconds}));
        QCOMPARE(vesk::modificationTime(link), std::optional<FileTime>(FileTime{nanoseconds}));
    }

    void missingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing"));
        QVERIFY(!vesk::modificationTime(path));
        QVERIFY(!vesk::setModificationTime(path, FileTime{1}));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestFileTime)
#include "tst_file_time.moc"
