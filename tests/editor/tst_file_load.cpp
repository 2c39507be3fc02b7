// Files read in stages, from real files: the first part, then the rest off the main thread; bad
// UTF-8 anywhere, and a file changed while it is read, end as an error; a cancelled load lets go
// of what it read.

#include "editor/file_load.h"
#include "platform/background.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vesk;
using namespace vesk::test;

namespace {

QByteArray lines(const QByteArray &line, qint64 bytes)
{
    return line.repeated(int(bytes / line.size() + 1));
}

const QByteArray asciiLine = "    value = compute(alpha, beta) + offset * 42;\n";
const QByteArray mixedLine = QStringLiteral("漢字 café e\u0301 👍🏽 🇫🇷 한국어\r\n").toUtf8();

// Finishes the load and waits for its outcome on the main thread.
std::optional<FileLoad::Outcome> finish(const std::shared_ptr<FileLoad> &load)
{
    QObject target;
    std::optional<FileLoad::Outcome> got;
    load->finishInBackground(&target, [&got](FileLoad::Outcome outcome) { got = std::move(outcome); });
    waitForBackgroundWork();
    QCoreApplication::processEvents();
    return got;
}

void setModified(const QString &path, qint64 secondsAgo)
{
    QFile file(path);
    file.open(QIODevice::ReadWrite);
    file.setFileTime(QDateTime::currentDateTime().addSecs(-secondsAgo), QFileDevice::FileModificationTime);
}

} // namespace

class TestFileLoad : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsInStages_data();
    void readsInStages();
    void changesDuringTheReadAreCaught_data();
    void changesDuringTheReadAreCaught();
    void cancelLetsGo();
};

void TestFileLoad::readsInStages_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("staged");
    QTest::addRow("small file read whole") << lines(asciiLine, 1000) << false;
    QTest::addRow("empty file") << QByteArray() << false;
    QTest::addRow("just under the whole-read size") << QByteArray(FileLoad::wholeReadBytes - 1, 'x') << false;
    QTest::addRow("big ASCII file") << lines(asciiLine, 12 << 20) << true;
    QTest::addRow("big mixed-script file") << lines(mixedLine, 12 << 20) << true;
    QTest::addRow("big file with a byte-order mark") << QByteArray("\xEF\xBB\xBF") + lines(mixedLine, 10 << 20) << true;
    QTest::addRow("not UTF-8 in the first part") << QByteArray("ok\n\xC0\xAF") + lines(asciiLine, 12 << 20) << false;
    QTest::addRow("not UTF-8 near the end") << lines(asciiLine, 12 << 20) + "\xFF\n" + asciiLine << true;
    QTest::addRow("ends inside a character") << lines(mixedLine, 12 << 20) + "\xE6\xBC" << true;
}

void TestFileLoad::readsInStages()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, staged);
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("f.txt"), content);
    const bool bom = content.startsWith("\xEF\xBB\xBF");
    const QByteArray body = bom ? content.mid(3) : content;
    const std::optional<QString> expected = QString::fromUtf8(body);
    const bool valid = expected->toUtf8() == body;

    const std::shared_ptr<FileLoad> load = FileLoad::begin(path);
    QCOMPARE(load->isFinished(), !staged);
    FileLoad::Outcome outcome;
    if (staged) {
        QCOMPARE(load->hasByteOrderMark(), bom);
        const QString first = load->firstPart()->text();
        QVERIFY(first.size() > 1000);
        QVERIFY(first.size() < expected->size());
        QVERIFY(expected->startsWith(first));
        outcome = *finish(load);
    } else {
        outcome = load->outcome();
    }
    if (!valid) {
        QVERIFY(!outcome.text);
        QCOMPARE(outcome.error, QStringLiteral("\u201Cf.txt\u201D could not be opened: it is not UTF-8 text."));
        return;
    }
    QVERIFY(outcome.text);
    QCOMPARE(outcome.error, QString());
    QCOMPARE(outcome.text->text(), *expected);
}

void TestFileLoad::changesDuringTheReadAreCaught_data()
{
    QTest::addColumn<QString>("change");
    QTest::addRow("truncated") << QStringLiteral("truncate");
    QTest::addRow("rewritten in place, same size") << QStringLiteral("rewrite");
    QTest::addRow("grown") << QStringLiteral("append");
    QTest::addRow("replaced by another file") << QStringLiteral("replace");
}

// The change falls between the first part and the rest, as it would while the rest is read.
void TestFileLoad::changesDuringTheReadAreCaught()
{
    QFETCH(QString, change);
    QTemporaryDir dir;
    const QByteArray content = lines(asciiLine, 12 << 20);
    const QString path = writeFile(dir.path(), QStringLiteral("f.txt"), content);
    setModified(path, 60);
    const std::shared_ptr<FileLoad> load = FileLoad::begin(path);
    QVERIFY(!load->isFinished());
    QFile file(path);
    if (change == u"truncate") {
        QVERIFY(file.resize(content.size() / 2));
    } else if (change == u"rewrite") {
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(content.size() - 10);
        file.write("CHANGED!!\n");
        file.close();
    } else if (change == u"append") {
        QVERIFY(file.open(QIODevice::Append));
        file.write("more\n");
        file.close();
    } else {
        // A save by another program that writes a new file and renames it over the old one: the
        // open file stays whole and unchanged, so this read is sound (the editor's date check
        // sees the new file later).
        writeFile(dir.path(), QStringLiteral("new.txt"), "other\n");
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(dir.filePath(QStringLiteral("new.txt")), path));
    }
    const std::optional<FileLoad::Outcome> outcome = finish(load);
    QVERIFY(outcome);
    if (change == u"replace") {
        QVERIFY(outcome->text);
        QCOMPARE(outcome->text->length(), qint64(content.size()));
        return;
    }
    QVERIFY(!outcome->text);
    QCOMPARE(outcome->error, QStringLiteral("\u201Cf.txt\u201D could not be opened: it changed on disk while it was being read."));
}

void TestFileLoad::cancelLetsGo()
{
    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("f.txt"), lines(asciiLine, 12 << 20));
    std::shared_ptr<FileLoad> load = FileLoad::begin(path);
    std::weak_ptr<const VeskNode> firstPart = load->firstPart();
    QVERIFY(!firstPart.expired());
    load->cancel();
    QObject target;
    bool delivered = false;
    load->finishInBackground(&target, [&delivered](FileLoad::Outcome) { delivered = true; });
    load.reset();
    waitForBackgroundWork();
    QCoreApplication::processEvents();
    QVERIFY(!delivered);
    QVERIFY(firstPart.expired());
}

QTEST_GUILESS_MAIN(TestFileLoad)
#include "tst_file_load.moc"
