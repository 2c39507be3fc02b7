#include "export/zip_builder.h"

#include "export/zip_name_flags.h"
#include "platform/temp_files.h"
#include "platform/tool_paths.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <future>

using namespace vesk;
using vesk::test::makeSymlink;
using vesk::test::readFile;
using vesk::test::run;
using vesk::test::writeFile;

namespace {

using Entries = QMap<QString, QByteArray>;

// Names and contents as Python's zipfile (what assistants use) reads them.
Entries pythonEntries(const QString &archive)
{
    bool ok = false;
    const QString script = QStringLiteral("import json, sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
                                          "print(json.dumps({i.filename: z.read(i).hex() for i in z.infolist()}))");
    const QByteArray json = run(QStringLiteral("python3"), {QStringLiteral("-c"), script, archive}, QDir::tempPath(), &ok);
    Entries entries;
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        entries.insert(it.key(), QByteArray::fromHex(it.value().toString().toLatin1()));
    }
    return ok ? entries : Entries{};
}

// Runs buildZip on a worker thread, as the panel does.
struct BackgroundBuild
{
    std::shared_ptr<ProcessCancel> handle;
    std::atomic_bool started{false};
    std::atomic_int highest{0};
    QList<QPair<int, int>> calls;  // read once the result is in
    std::future<ZipResult> result;

    BackgroundBuild(const QString &repo, const QStringList &paths)
    {
        result = std::async(std::launch::async, [this, repo, paths] {
            const auto keep = [this](const std::shared_ptr<ProcessCancel> &cancel) {
                handle = cancel;
                started = true;
            };
            return ZipBuilder::buildZip(repo, paths, keep, [this](int done, int total) {
                calls.append({done, total});
                highest = std::max(highest.load(), done);
            });
        });
    }
    bool finished() const { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
};

} // namespace

class TestZipBuilder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { resetToolPaths(); }

    void archiveHoldsExactlyTheListedFiles_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("unlisted");   // present in the repository, must stay out
        QTest::addColumn<QStringList>("leftOut");    // listed, but cannot be passed to zip
        QTest::addRow("nested") << QStringList{"a.txt", "src/deep/b.txt"} << QStringList{"c.txt", "src/d.txt"}
                                << QStringList();
        QTest::addRow("spaces and tabs") << QStringList{" lead.txt", "trail.txt ", "a  b/c d.txt", "tab\tx"}
                                         << QStringList{"lead.txt", "trail.txt"} << QStringList();
        QTest::addRow("non-ASCII") << QStringList{"src/ü.txt", "日本/名前.md", "e\u0301.txt"} << QStringList()
                                   << QStringList();
        QTest::addRow("a name that is a dash") << QStringList{"-", "-x/-"} << QStringList() << QStringList();
        QTest::addRow("wildcards") << QStringList{"star*.txt", "q?.txt", "br[ab].txt", "back\\slash.txt"}
                                   << QStringList{"starX.txt", "qX.txt", "bra.txt", "backslash.txt"} << QStringList();
        QTest::addRow("line breaks") << QStringList{"ok.txt", "a\nb.txt", "cr\rmid.txt", "end\r"}
                                     << QStringList{"a", "b.txt", "cr", "end"}
                                     << QStringList{"a\nb.txt", "cr\rmid.txt", "end\r"};
        QTest::addRow("a directory") << QStringList{"ok.txt", "src"} << QStringList{"src/x.txt"} << QStringList{"src"};
        QTest::addRow("not inside") << QStringList{"ok.txt", "../outside.txt", "src//b.txt", "./ok.txt"}
                                    << QStringList{"src/b.txt"} << QStringList{"../outside.txt", "src//b.txt", "./ok.txt"};
    }

    // zip follows links: one that leads out of the repository (to a file, or through a linked
    // folder) is left out with its reason, whatever the list says; a link inside is packed.
    void linksLeadingOutsideAreNeverPacked()
    {
        QTemporaryDir parent;
        const QString repo = parent.filePath(QStringLiteral("proj-") + shortUuid());
        writeFile(repo, QStringLiteral("ok.txt"), "ok");
        writeFile(parent.path(), QStringLiteral("outside.txt"), "outside");
        writeFile(parent.path(), QStringLiteral("private/diary.txt"), "secret");
        QVERIFY(makeSymlink(QStringLiteral("../outside.txt"), repo + QStringLiteral("/out.txt")));
        QVERIFY(makeSymlink(parent.filePath(QStringLiteral("private")), repo + QStringLiteral("/docs")));
        QVERIFY(makeSymlink(QStringLiteral("ok.txt"), repo + QStringLiteral("/in.txt")));
        const ZipResult result =
            ZipBuilder::buildZip(repo, {QStringLiteral("docs/diary.txt"), QStringLiteral("in.txt"),
                                        QStringLiteral("ok.txt"), QStringLiteral("out.txt")});
        QCOMPARE(result.status, ZipResult::Status::Success);
        const QString reason = QStringLiteral("Link leading outside the repository");
        QCOMPARE(result.skipped, (QList<ZipSkippedFile>{{QStringLiteral("docs/diary.txt"), reason},
                                                        {QStringLiteral("out.txt"), reason}}));
        QStringList packed = QString::fromUtf8(run(QStringLiteral("/usr/bin/unzip"), {QStringLiteral("-Z1"), result.archivePath},
                                                   repo))
                                 .split(u'\n', Qt::SkipEmptyParts);
        packed.sort();
        QCOMPARE(packed, (QStringList{QStringLiteral("in.txt"), QStringLiteral("ok.txt")}));
    }

    void archiveHoldsExactlyTheListedFiles()
    {
        QFETCH(QStringList, listed);
        QFETCH(QStringList, unlisted);
        QFETCH(QStringList, leftOut);
        QTemporaryDir parent;
        const QString folder = QStringLiteral("proj-") + shortUuid();  // runs in other checkouts share the directory
        const QString repo = parent.filePath(folder);
        writeFile(parent.path(), QStringLiteral("outside.txt"), "outside");
        for (const QString &name : listed + unlisted) {
            if (!leftOut.contains(name) || name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r'))) {
                writeFile(repo, name, "content of " + name.toUtf8());
            }
        }
        const ZipResult result = ZipBuilder::buildZip(repo, listed);
        QCOMPARE(result.status, ZipResult::Status::Success);
        QCOMPARE(QFileInfo(result.archivePath).fileName(), folder + QStringLiteral("_export.zip"));
        QCOMPARE(test::permissionBits(QFileInfo(result.archivePath).path()), 0700);
        QCOMPARE(QFile::permissions(result.archivePath) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);

        QStringList skipped;
        for (const ZipSkippedFile &file : result.skipped) {
            QVERIFY(!file.reason.isEmpty());
            skipped << file.relativePath;
        }
        QCOMPARE(skipped, leftOut);
        Entries expected;
        for (const QString &name : listed) {
            if (!leftOut.contains(name)) {
                expected.insert(name, "content of " + name.toUtf8());
            }
        }
        QCOMPARE(pythonEntries(result.archivePath), expected);
        // unzip lists control characters in caret notation.
        QStringList unzipped = QString::fromUtf8(run("/usr/bin/unzip", {"-Z1", result.archivePath}, repo)).split('\n');
        unzipped.removeAll(QString());
        unzipped.sort();
        QCOMPARE(unzipped, QStringList(expected.keys()).replaceInStrings("\t", "^I"));
        QFile::remove(result.archivePath);
    }

    // Two checkouts with the same folder name each get their own archive, and a second export of
    // one of them replaces only its own.
    void namesakesKeepTheirOwnArchives()
    {
        QTemporaryDir parent;
        const QString name = QStringLiteral("app-") + shortUuid();
        const QStringList repos{parent.filePath(QStringLiteral("one/") + name),
                                parent.filePath(QStringLiteral("two/") + name)};
        for (const QString &repo : repos) {
            writeFile(repo, QStringLiteral("which.txt"), repo.toUtf8());
        }
        QStringList archives;
        for (const QString &repo : repos) {
            const ZipResult result = ZipBuilder::buildZip(repo, {QStringLiteral("which.txt")});
            QCOMPARE(result.status, ZipResult::Status::Success);
            archives << result.archivePath;
        }
        QVERIFY(archives[0] != archives[1]);
        QCOMPARE(ZipBuilder::buildZip(repos[0] + QLatin1Char('/'), {QStringLiteral("which.txt")}).archivePath, archives[0]);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(QFileInfo(archives[i]).fileName(), name + QStringLiteral("_export.zip"));
            QCOMPARE(pythonEntries(archives[i]), (Entries{{QStringLiteral("which.txt"), repos[i].toUtf8()}}));
            QFile::remove(archives[i]);
        }
    }

    // A run that fails or is stopped never leaves the previous archive looking like a new one,
    // nor its work folder behind. Every way the tool can end after a stop, or by a signal, is
    // reported as cancelled.
    void failedOrStopped_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("tool");  // a stand-in zip's script, a path, or empty for the real zip
        QTest::addColumn<bool>("stop");
        QTest::addColumn<bool>("cancelled");
        const QString marker = QStringLiteral("touch started");
        QTest::addRow("empty list") << QStringList() << marker << false << false;
        QTest::addRow("nothing that can be passed") << QStringList{"a\nb"} << marker << false << false;
        QTest::addRow("missing file") << QStringList{"a.txt", "missing.txt"} << QString() << false << false;
        QTest::addRow("tool fails") << QStringList{"a.txt"} << "exit 3" << false << false;
        QTest::addRow("tool missing") << QStringList{"a.txt"} << "/nonexistent/zip" << false << false;
        // Sparse: zip reads and compresses zeros for minutes, the disk holds almost nothing.
        QTest::addRow("real zip stopped") << QStringList{"huge.bin"} << QString() << true << true;
        QTest::addRow("ends by itself after the signal")
            << QStringList{"huge.bin"} << "trap 'exit 9' TERM\nwhile :; do sleep 0.05; done" << true << true;
        QTest::addRow("killed by someone else") << QStringList{"huge.bin"} << "kill -KILL $$" << false << true;
    }

    void failedOrStopped()
    {
        QFETCH(QStringList, listed);
        QFETCH(QString, tool);
        QFETCH(bool, stop);
        QFETCH(bool, cancelled);
        QTemporaryDir repo;
        writeFile(repo.path(), QStringLiteral("a.txt"), "a");
        QFile huge(repo.filePath(QStringLiteral("huge.bin")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(64) << 30));
        huge.close();
        if (!tool.isEmpty()) {
            setToolPath(Tool::Zip, tool.startsWith(u'/') ? tool : test::writeScript(repo.path(), "zip", tool.toUtf8()));
        }
        const QString archive = ZipBuilder::archivePath(repo.path());
        writeFile(QFileInfo(archive).path(), QFileInfo(archive).fileName(), "stale");
        const QStringList existingWork = QDir(userTempDir()).entryList({QStringLiteral("zip_*")});
        BackgroundBuild build(repo.path(), listed);
        if (stop) {
            QTRY_VERIFY(build.started);
            build.handle->cancel();  // from this thread, not the one running the build
        }
        QTRY_VERIFY_WITH_TIMEOUT(build.finished(), 20000);
        const ZipResult result = build.result.get();
        QCOMPARE(result.status, cancelled ? ZipResult::Status::Cancelled : ZipResult::Status::Failed);
        QVERIFY(result.archivePath.isEmpty());
        QVERIFY(!QFile::exists(repo.filePath(QStringLiteral("started"))));  // no process for nothing to do
        QCOMPARE(readFile(archive) == "stale", listed.isEmpty() || listed == QStringList{"a\nb"});
        QCOMPARE(QDir(userTempDir()).entryList({QStringLiteral("zip_*")}), existingWork);
        if (cancelled) {
            QCOMPARE(build.calls.last(), qMakePair(1, 1));
        }
        QFile::remove(archive);
    }

    // The estimate follows the archive as zip writes it under its temporary name.
    void progress()
    {
        QTemporaryDir repo;
        const QString go = repo.filePath(QStringLiteral("go"));
        setToolPath(Tool::Zip, vesk::test::writeScript(repo.path(), QStringLiteral("zip"), R"(
while [ $# -gt 0 ]; do case "$1" in -b) shift; dir="$1";; -*) ;; *) archive="$1";; esac; shift; done
cat > "$dir/names"
head -c 1000 /dev/zero >> "$dir/names"
while [ ! -e )" + QFile::encodeName(go) + R"( ]; do sleep 0.05; done
mv "$dir/names" "$archive")"));
        const QStringList paths{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
        BackgroundBuild build(repo.path(), paths);
        QTRY_COMPARE(build.highest.load(), 5);  // the 40 bytes of the names and 1000 more: 1040 / 200
        writeFile(repo.path(), QStringLiteral("go"), "");
        QTRY_VERIFY(build.finished());
        QCOMPARE(build.result.get().status, ZipResult::Status::Success);
        for (const auto &call : std::as_const(build.calls)) {
            QVERIFY(call.first >= 1 && call.first <= 10 && call.second == 10);
        }
        QCOMPARE(build.calls.last(), qMakePair(10, 10));
        QCOMPARE(readFile(ZipBuilder::archivePath(repo.path())).left(40),
                 QByteArray("./1\n./2\n./3\n./4\n./5\n./6\n./7\n./8\n./9\n./10"));
        QFile::remove(ZipBuilder::archivePath(repo.path()));
        QCOMPARE(ZipBuilder::progressEstimate(-1, 3), 1);  // unreadable
        QCOMPARE(ZipBuilder::progressEstimate(100, 3), 1);
        QCOMPARE(ZipBuilder::progressEstimate(10000, 3), 3);
    }

    // Archives as other writers make them: Zip64 records, and damage that must leave them untouched.
    void markUtf8Names_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("marked");
        QTest::addRow("zip64 records") << QString() << true;
        QTest::addRow("truncated end record") << "d = d[:-6]" << false;
        QTest::addRow("local name differs") << "d = d.replace(b'\\xc3\\xbc/', b'ue/', 1)" << false;
    }

    void markUtf8Names()
    {
        QFETCH(QString, damage);
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("a.zip"));
        // Python writes Zip64 records past these limits; the patched encoder leaves the flag unset.
        const QString script = QStringLiteral(
            "import sys, zipfile\n"
            "zipfile.ZIP64_LIMIT = 1\n"
            "zipfile.ZIP_FILECOUNT_LIMIT = 1\n"
            "zipfile.ZipInfo._encodeFilenameFlags = lambda self: (self.filename.encode(), self.flag_bits)\n"
            "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
            "    z.writestr('a.txt', 'a')\n"
            "    z.writestr('\u00fc/\u540d.txt', 'b')\n"
            "d = open(sys.argv[1], 'rb').read()\n%1\n"
            "open(sys.argv[1], 'wb').write(d)\n").arg(damage);
        bool ok = false;
        run(QStringLiteral("python3"), {QStringLiteral("-c"), script, archive}, dir.path(), &ok);
        QVERIFY(ok);
        const QByteArray before = readFile(archive);
        QTEST(vesk::markUtf8Names(archive), "marked");
        QFETCH(bool, marked);
        if (marked) {
            QCOMPARE(pythonEntries(archive), (Entries{{"a.txt", "a"}, {"ü/名.txt", "b"}}));
            run(QStringLiteral("/usr/bin/unzip"), {QStringLiteral("-tq"), archive}, dir.path(), &ok);
            QVERIFY(ok);
        } else {
            QCOMPARE(readFile(archive), before);
        }
    }
};

QTEST_GUILESS_MAIN(TestZipBuilder)
#include "tst_zip_builder.moc"
