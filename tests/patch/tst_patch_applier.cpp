#include "patch/patch_applier.h"
#include "patch/patch_archive.h"
#include "platform/tool_paths.h"

#include "test_support.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include <optional>

#include <sys/stat.h>

using namespace vesk;
using namespace vesk::test;

namespace {

struct ZipEntry
{
    QByteArray name;          // raw bytes; a name that is not UTF-8 is written as it is
    QByteArray data = "x\n";
    int mode = 0100644;       // Unix type and permission bits
    qint64 zeros = 0;         // when set, the content is that many zero bytes, deflated
    qint64 claimedSize = -1;  // when set, the size the archive's headers claim instead
    bool encrypted = false;   // when set, the headers say so (the content is not)
};

ZipEntry zipFile(const QByteArray &name, const QByteArray &data = "x\n", int mode = 0100644)
{
    return {name, data, mode};
}

// A real zip archive, written by Python's zipfile so that every field a hostile archive might
// abuse (names, types, modes, sizes, flags) can be set exactly.
void makeZip(const QString &path, const QList<ZipEntry> &entries)
{
    static const char builder[] = R"PY(
import base64, json, struct, sys, zipfile
out, entries, raw = sys.argv[1], json.loads(sys.argv[2]), {}
with zipfile.ZipFile(out, 'w') as z:
    for i, e in enumerate(entries):
        name = base64.b64decode(e['name'])
        try:
            text = name.decode('utf-8')
        except UnicodeDecodeError:  # written under a placeholder of the same length, swapped below
            text = ('~%d~' % i).ljust(len(name), '~')
            raw[text.encode()] = name
        info = zipfile.ZipInfo(text, date_time=(2020, 6, 1, 12, 0, 0))
        info.create_system, info.external_attr = 3, e['mode'] << 16
        info.compress_type = zipfile.ZIP_DEFLATED if e['zeros'] else zipfile.ZIP_STORED
        z.writestr(info, bytes(e['zeros']) if e['zeros'] else base64.b64decode(e['data']))
data = bytearray(open(out, 'rb').read())
for placeholder, name in raw.items():
    data = data.replace(placeholder, name)
by_name = {base64.b64decode(e['name']): e for e in entries}
pos = data.find(b'PK\x01\x02')
while pos >= 0:
    e = by_name.get(bytes(data[pos + 46:pos + 46 + struct.unpack_from('<H', data, pos + 28)[0]]), {})
    local = struct.unpack_from('<I', data, pos + 42)[0]
    if e.get('claim', -1) >= 0:
        struct.pack_into('<I', data, pos + 24, e['claim'])
        struct.pack_into('<I', data, local + 22, e['claim'])
    if e.get('encrypted'):
        data[pos + 8] |= 1
        data[local + 6] |= 1
    pos = data.find(b'PK\x01\x02', pos + 46)
open(out, 'wb').write(data)
)PY";
    QJsonArray list;
    for (const ZipEntry &e : entries) {
        list.append(QJsonObject{{"name", QString::fromLatin1(e.name.toBase64())},
                                {"data", QString::fromLatin1(e.data.toBase64())},
                                {"mode", e.mode}, {"zeros", e.zeros}, {"claim", e.claimedSize},
                                {"encrypted", e.encrypted}});
    }
    // The system's interpreter starts faster than a version manager's wrapper.
    const QString python = QFileInfo::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    bool ok = false;
    run(python, {"-c", builder, path, QJsonDocument(list).toJson(QJsonDocument::Compact)}, QFileInfo(path).path(), &ok);
    if (!ok) {
        qFatal("could not build the archive %s", qPrintable(path));
    }
}

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
    return QString("Refused archive entry \"%1\": %2").arg(name, reason);
}

} // namespace

class TestPatchApplier : public QObject
{
    Q_OBJECT

    // The archive, the repository and the user's temporary directory, all in one fresh folder
    // for every test, so that a write anywhere near shows in its tree.
    std::optional<QTemporaryDir> m_box;
    QString m_zip;
    QString m_repo;
    QString m_temp;

    PatchAnalysis analyzed(const QList<ZipEntry> &archive, const QString &repo = {}, const PatchLimits &limits = {})
    {
        makeZip(m_zip, archive);
        return PatchApplier::analyze(m_zip, repo.isEmpty() ? m_repo : repo, limits);
    }

private Q_SLOTS:
    void init()
    {
        m_box.emplace();
        m_zip = m_box->filePath("reply.zip");
        m_repo = m_box->filePath("repo");
        m_temp = m_box->filePath("temp");
        QVERIFY(QDir().mkpath(m_temp));
        qputenv("TMPDIR", QFile::encodeName(m_temp));
    }

    // Every analysis here ends in apply or cancel, which must remove its temporary folder.
    void cleanup()
    {
        resetToolPaths();
        QVERIFY2(QTest::currentTestFailed() || entryNames(m_temp).isEmpty(), "a temporary folder was left behind");
    }

    void relativePaths_data()
    {
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QStringList>("expected");
        const auto add = [](const char *row, const QList<ZipEntry> &zip, const QStringList &expected) {
            QTest::addRow("%s", row) << zip << expected;
        };
        add("enclosing folder beside __MACOSX", {zipFile("p/src/a.c"), zipFile("p/b"), zipFile("__MACOSX/p/._b")},
            {"b", "src/a.c"});
        add("file beside the folder", {zipFile("p/src/a.c"), zipFile("README")}, {"README", "p/src/a.c"});
        add("one folder holding one file", {zipFile("proj/a.c")}, {"a.c"});
        add("hidden entries and folders skipped",
            {zipFile(".env"), zipFile("p/.git/config"), zipFile("p/a.c"), zipFile("p/sub/.DS_Store")}, {"a.c"});
        add("UTF-8 names", {zipFile("src/ü.txt"), zipFile("Grüße/名前.md")}, {"Grüße/名前.md", "src/ü.txt"});
        add("metadata folder never maps into the repository",
            {zipFile("a.txt"), zipFile("__MACOSX/a.txt"), zipFile("__MACOSX/b.txt")}, {"a.txt"});
        add("folders and hidden files only", {zipFile("empty/", "", 040755), zipFile(".hidden")}, {});
        add("sorted by code point, not UTF-16 unit",
            {zipFile("😀"), zipFile("\xef\xbc\xa1"), zipFile("a"), zipFile("é"), zipFile("B")},
            {"B", "a", "é", "\uFF21", "😀"});
    }

    void relativePaths()
    {
        QFETCH(QList<ZipEntry>, archive);
        const PatchAnalysis analysis = analyzed(archive);
        QCOMPARE(analysis.errors, QStringList());
        QStringList paths;
        for (const PatchFileEntry &entry : analysis.entries) {
            paths << entry.relativePath;
            QVERIFY(entry.patchFileURL.startsWith(QFileInfo(analysis.tmpDir).canonicalFilePath() + '/'));
            QVERIFY(entry.isNew);
        }
        QTEST(paths, "expected");
        QVERIFY2(analysis.tmpDir.startsWith(m_temp + "/patch_"), qPrintable(analysis.tmpDir));
        PatchApplier::cancel(analysis);
    }

    // A single folder holding the whole archive is a wrapper to strip, unless it names a folder
    // the repository has at its top (then the files belong there), or the repository itself.
    void enclosingFolder_data()
    {
        QTest::addColumn<QString>("repoSetup");  // run in the repository (named "repo")
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QStringList>("expected");
        const QList<ZipEntry> src{zipFile("src/a.c"), zipFile("src/sub/b.c")};
        QTest::addRow("a folder the repository has") << "mkdir src" << src << QStringList{"src/a.c", "src/sub/b.c"};
        QTest::addRow("a folder the repository lacks") << "mkdir lib" << src << QStringList{"a.c", "sub/b.c"};
        QTest::addRow("a file of that name in the repository") << "touch src" << src << QStringList{"a.c", "sub/b.c"};
        QTest::addRow("a link to a folder of that name") << "mkdir lib; ln -s lib src" << src
                                                         << QStringList{"src/a.c", "src/sub/b.c"};
        QTest::addRow("the repository's own name") << "mkdir src" << QList<ZipEntry>{zipFile("repo/src/a.c")}
                                                   << QStringList{"src/a.c"};
        QTest::addRow("the repository's own name, also a folder in it") << "mkdir repo"
                                                                       << QList<ZipEntry>{zipFile("repo/x.c")}
                                                                       << QStringList{"x.c"};
    }

    void enclosingFolder()
    {
        QFETCH(QString, repoSetup);
        QFETCH(QList<ZipEntry>, archive);
        QVERIFY(QDir().mkpath(m_repo));
        bool ok = false;
        run("/bin/sh", {"-ec", repoSetup}, m_repo, &ok);
        QVERIFY(ok);
        const PatchAnalysis analysis = analyzed(archive);
        QCOMPARE(analysis.errors, QStringList());
        QStringList paths;
        for (const PatchFileEntry &entry : analysis.entries) {
            paths << entry.relativePath;
        }
        PatchApplier::cancel(analysis);
        QTEST(paths, "expected");
    }

    // A repository file that changed after the review (saved by the editor meanwhile, say) is
    // never overwritten: apply names it and says why.
    void changedAfterTheReview_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("error");  // empty: applied
        QTest::addRow("unchanged") << "" << "";
        QTest::addRow("saved with the same size, later") << "same size" << "changed on disk after the review";
        QTest::addRow("grown, same date") << "grown" << "changed on disk after the review";
        QTest::addRow("removed") << "removed" << "removed after the review";
        QTest::addRow("created where nothing was") << "created" << "created there after the review";
    }

    void changedAfterTheReview()
    {
        QFETCH(QString, change);
        QFETCH(QString, error);
        const QString file = m_repo + (change == "created" ? "/new.txt" : "/f.txt");
        writeFile(m_repo, "f.txt", "old\n");
        const FileTime seen{1'600'000'000'000'000'000};
        QVERIFY(setModificationTime(m_repo + "/f.txt", seen));
        const PatchAnalysis analysis = analyzed({zipFile(change == "created" ? "new.txt" : "f.txt", "new\n")});
        QCOMPARE(analysis.entries.size(), 1);
        QByteArray expected = "new\n";
        if (change == "same size" || change == "grown") {
            writeFile(m_repo, "f.txt", change == "grown" ? "mine!\n" : "mine\n");
            QVERIFY(setModificationTime(m_repo + "/f.txt", change == "grown" ? seen : FileTime{seen.nanoseconds + 1}));
            expected = change == "grown" ? "mine!\n" : "mine\n";
        } else if (change == "removed") {
            QVERIFY(QFile::remove(file));
            expected = QByteArray();
        } else if (change == "created") {
            writeFile(m_repo, "new.txt", "mine\n");
            expected = "mine\n";
        }
        const PatchApplyResult result = PatchApplier::apply(analysis, {});
        const QString name = QFileInfo(file).fileName();
        if (error.isEmpty()) {
            QCOMPARE(result.applied, QStringList{name});
            QCOMPARE(result.errors, QStringList());
        } else {
            QCOMPARE(result.applied, QStringList());
            QCOMPARE(result.errors.size(), 1);
            QVERIFY2(result.errors.first().startsWith(name + ": ") && result.errors.first().contains(error),
                     qPrintable(result.errors.first()));
        }
        QCOMPARE(readFile(file), expected);
    }

    // What analyze tells of one file: whether it is new, its dates and the size of the change.
    void describesTheFile_data()
    {
        QTest::addColumn<QByteArray>("repoContent");  // null: no file; "/": a folder stands there
        QTest::addColumn<QByteArray>("patchContent");
        QTest::addColumn<qint64>("added");
        QTest::addColumn<qint64>("removed");
        QTest::addColumn<int>("repoNewerByDays");  // the repository file's date against the archive's
        const auto add = [](const char *row, const QByteArray &repo, const QByteArray &patch, qint64 added,
                            qint64 removed, int newerByDays = 0) {
            QTest::addRow("%s", row) << repo << patch << added << removed << newerByDays;
        };
        const QByteArray none;
        add("new file ending in a line feed", none, "a\nb\n", 3, 0);
        add("new empty file", none, "", 1, 0);
        add("new file not UTF-8", none, "caf\xe9\n", 0, 0);
        add("new file cut off inside a character", none, "ab\xc3", 0, 0);
        add("identical files", "a\nb\n", "a\nb\n", 0, 0, 30);
        add("one line replaced", "a\nb\nc\n", "a\nB\nc\n", 1, 1, -30);
        add("lines beginning with -- and ++", "x\n-- a\n--\n", "x\n++ a\n++\n", 2, 2, 30);
        add("lines like file headers", "--- a\nk\n", "+++ b\nk\n", 1, 1, -30);
        add("no final line feed", "a", "a\nb", 2, 1, 30);
        add("binary files", QByteArray("\0\1\2", 3), QByteArray("\0\1\3", 3), 0, 0, -30);
        add("diff output not UTF-8", "caf\xe9\n", "cafe\n", 0, 0, 30);
        add("folder at the repository path", "/", "a\n", 0, 0, -30);
    }

    void describesTheFile()
    {
        QFETCH(QByteArray, repoContent);
        QFETCH(QByteArray, patchContent);
        QFETCH(int, repoNewerByDays);
        // Zip keeps local time without a zone; a day of slack covers every zone.
        constexpr qint64 day = 86'400'000'000'000;
        const qint64 stored = QDateTime(QDate(2020, 6, 1), QTime(12, 0)).toMSecsSinceEpoch() * 1'000'000;
        if (!repoContent.isNull()) {
            writeFile(m_repo, repoContent == "/" ? "src/f.txt/f.txt" : "src/f.txt", repoContent);  // a namesake inside
            QVERIFY(setModificationTime(m_repo + "/src/f.txt", FileTime{stored + repoNewerByDays * day}));
        }
        const PatchAnalysis analysis = analyzed({zipFile("src/f.txt", patchContent), zipFile("other")});
        PatchApplier::cancel(analysis);
        QCOMPARE(analysis.errors, QStringList());
        const PatchFileEntry &entry = analysis.entries.last();
        QCOMPARE(entry.relativePath, "src/f.txt");
        QCOMPARE(entry.isNew, repoContent.isNull());
        QTEST(entry.addedLines, "added");
        QTEST(entry.removedLines, "removed");
        QVERIFY(entry.patchModDate && qAbs(entry.patchModDate->nanoseconds - stored) <= day);
        QCOMPARE(entry.repoModDate.has_value(), !entry.isNew);
        QCOMPARE(entry.repoNewer, repoNewerByDays > 0);
    }

    void failures_data()
    {
        QTest::addColumn<Tool>("tool");          // Zip: no stand-in (unzip and diff are the real ones)
        QTest::addColumn<QByteArray>("script");  // the tool's stand-in (empty: none there); for Zip, the damage
        QTest::addColumn<QString>("error");      // the start of the one error; empty: counts are 0 and 0
        const QString failed = "Failed to unzip reply.zip";
        const QByteArray listing = "[ \"$1\" = -Z ] && exec /usr/bin/unzip \"$@\"\n";
        QTest::addRow("unzip missing") << Tool::Unzip << QByteArray() << "Could not run";
        QTest::addRow("listing hangs") << Tool::Unzip << QByteArray("exec sleep 60") << failed;
        QTest::addRow("listing unreadable") << Tool::Unzip << QByteArray("echo nonsense") << failed;
        const QByteArray entry = "-rw-r--r--  3.0 unx        1 tx stor 20-Jun-01 12:00 ";
        const QByteArray forged = "cat <<'E'\nZip file size: 9 bytes, number of entries: 2\n" + entry + "../evil\n"
                                  + entry + "a\n" + entry + "b\n2 files, 2 bytes uncompressed, 2 bytes compressed\nE";
        QTest::addRow("listing with a line break in a name") << Tool::Unzip << forged << failed;
        QTest::addRow("unpacking hangs") << Tool::Unzip << listing + "exec sleep 60" << failed;
        QTest::addRow("unpacking fails") << Tool::Unzip << listing + "exit 3" << failed;
        QTest::addRow("unpacking renames") << Tool::Unzip << listing + "/usr/bin/unzip \"$@\" && touch \"$5/extra\""
                                           << "Unpacking produced \"extra\", which the archive does not list";
        QTest::addRow("diff missing") << Tool::Diff << QByteArray() << QString();
        QTest::addRow("diff hangs") << Tool::Diff << QByteArray("exec sleep 60") << QString();
        for (const char *damage : {"not an archive", "archive cut off", "no archive"}) {
            QTest::addRow("%s", damage) << Tool::Zip << QByteArray(damage) << failed;
        }
        QTest::addRow("no temporary folder") << Tool::Zip << QByteArray("no temporary folder")
                                             << "Could not create a temporary folder: Not a directory";
    }

    void failures()
    {
        QFETCH(Tool, tool);
        QFETCH(QByteArray, script);
        QFETCH(QString, error);
        const QByteArray damage = tool == Tool::Zip ? script : QByteArray();
        makeZip(m_zip, {zipFile("a.txt", QByteArray(300, 'a')), zipFile("b")});
        writeFile(m_repo, "a.txt", "old\n");
        PatchLimits limits;  // only a stand-in that hangs gets a short bound
        if (tool != Tool::Zip) {
            setToolPath(tool, script.isEmpty() ? m_box->filePath("missing")
                                               : writeScript(m_box->path(), "tool", script));
        }
        if (script.contains("sleep")) {
            auto &bound = tool == Tool::Diff ? limits.diffTimeout
                                             : script.startsWith('[') ? limits.unzipTimeout : limits.listTimeout;
            bound = std::chrono::milliseconds(300);
        }
        if (damage == "not an archive" || damage == "archive cut off") {
            writeFile(m_box->path(), "reply.zip",
                      damage == "not an archive" ? QByteArray("PK garbage") : readFile(m_zip).left(120));
        }
        QVERIFY(damage != "no archive" || QFile::remove(m_zip));
        if (damage == "no temporary folder") {
            qputenv("TMPDIR", QFile::encodeName(writeFile(m_box->path(), "file", "x")));
        }
        const PatchAnalysis analysis = PatchApplier::analyze(m_zip, m_repo, limits);
        qputenv("TMPDIR", QFile::encodeName(m_temp));
        PatchApplier::cancel(analysis);
        if (error.isEmpty()) {
            QCOMPARE(analysis.errors, QStringList());
            QCOMPARE(analysis.entries.first().addedLines + analysis.entries.first().removedLines, 0);
        } else {
            QCOMPARE(analysis.errors.size(), 1);
            QVERIFY2(analysis.errors.first().startsWith(error), qPrintable(analysis.errors.first()));
            QVERIFY(analysis.entries.isEmpty());
            QCOMPARE(analysis.tmpDir.isEmpty(), damage == "no temporary folder");
        }
    }

    void refusedBeforeUnpacking_data()
    {
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QStringList>("errors");
        const QString climbs = "its path leads out of the archive's folder";
        const QString control = "its name holds a control character";
        const QString same = "another entry has the same name";
        const QString folder = "another entry uses it as a folder";
        const QString odd = "its path has an empty or \".\" part";
        const QString irregular = "it is not a regular file or folder";
        // One refused entry per row: the archive, then the name as reported and the reason.
        const auto add = [](const char *row, const QList<ZipEntry> &zip, const QString &name, const QString &why) {
            QTest::addRow("%s", row) << zip << QStringList{refused(name, why)};
        };
        add("parent folder", {zipFile("../../evil")}, "../../evil", climbs);
        add("parent folder inside", {zipFile("a/../../evil")}, "a/../../evil", climbs);
        add("absolute path", {zipFile("/tmp/evil")}, "/tmp/evil", "its path is absolute");
        add("drive letter", {zipFile("C:/evil")}, "C:/evil", "its path begins with a drive letter");
        add("backslash", {zipFile("..\\evil")}, "..\\evil", "its name holds a backslash");
        add("line feed", {zipFile("evil\n.txt")}, "evil^J.txt", control);
        add("escape sequence", {zipFile("a\x1b[2J")}, "a^[[2J", control);
        add("delete character", {zipFile("del\x7f")}, "del\x7f", control);
        add("right-to-left override", {zipFile("evil\u202Etxt.sh")}, "evil\u202Etxt.sh", control);
        add("symbolic link", {zipFile("link", "/etc/passwd", 0120777)}, "link", "it is a symbolic link");
        add("through a linked folder", {zipFile("d", "/tmp", 0120777), zipFile("d/x")}, "d", "it is a symbolic link");
        add("named pipe", {zipFile("pipe", "", 010644)}, "pipe", irregular);
        add("device", {zipFile("disk", "", 060644)}, "disk", irregular);
        add("encrypted", {{.name = "s.txt", .encrypted = true}}, "s.txt", "it is encrypted");
        add("name not UTF-8", {zipFile("bad\xff")}, "bad\uFFFD", "its name is not valid UTF-8");
        add("same name in another case", {zipFile("README"), zipFile("src/x"), zipFile("readMe")}, "readMe", same);
        add("composed and decomposed", {zipFile("caf\xc3\xa9"), zipFile("cafe\xcc\x81")}, "cafe\u0301", same);
        add("same name twice", {zipFile("a", "1"), zipFile("a", "2")}, "a", same);
        add("file and folder at once", {zipFile("a"), zipFile("A/b")}, "a", folder);
        add("folder entry and file", {zipFile("a/", "", 040755), zipFile("a")}, "a", folder);
        add("dot part", {zipFile("./a")}, "./a", odd);
        add("empty part", {zipFile("a//b")}, "a//b", odd);
        add("one bad among good ones", {zipFile("good"), zipFile("../keep.txt"), zipFile("ok")}, "../keep.txt", climbs);
        QList<ZipEntry> many;
        QStringList manyErrors;
        for (int i = 0; i < 30; ++i) {
            many << zipFile("../" + QByteArray::number(i));
            manyErrors << refused("../" + QString::number(i), climbs);
        }
        manyErrors.resize(20);
        QTest::addRow("many bad entries summed up") << many << (manyErrors << "10 more archive entries were refused");
    }

    void refusedBeforeUnpacking()
    {
        QFETCH(QList<ZipEntry>, archive);
        makeZip(m_zip, archive);
        QStringList expectedTree = treeOf(m_box->path());
        const PatchAnalysis analysis = PatchApplier::analyze(m_zip, m_repo);
        QTEST(analysis.errors, "errors");
        QVERIFY(analysis.entries.isEmpty());
        expectedTree << analysis.tmpDir.mid(m_box->path().size());  // the one new thing, and it is empty
        expectedTree.sort();
        QCOMPARE(treeOf(m_box->path()), expectedTree);
        PatchApplier::cancel(analysis);
    }

    void limits_data()
    {
        QTest::addColumn<QList<ZipEntry>>("archive");
        QTest::addColumn<QString>("error");         // empty: within the limits
        QTest::addColumn<bool>("judgedByListing");  // refused before anything is unpacked
        const QString tooLarge = "The archive unpacks to more than 1 MiB";
        const ZipEntry exactly{.name = "exactly", .zeros = 1 << 20};
        const ZipEntry lying{.name = "lying", .zeros = 64 << 20, .claimedSize = 10};
        QTest::addRow("at both limits") << QList<ZipEntry>{exactly, zipFile("d/", "", 040755), zipFile("d/e", "")}
                                        << QString() << false;
        QTest::addRow("too many entries") << QList<ZipEntry>{zipFile("a"), zipFile("b"), zipFile("c"), zipFile("d")}
                                          << "The archive holds more than 3 entries" << true;
        QTest::addRow("claims too much") << QList<ZipEntry>{{.name = "large", .zeros = 2 << 20}} << tooLarge << true;
        QTest::addRow("claims little, unpacks to much") << QList<ZipEntry>{lying, zipFile("b")} << tooLarge << false;
    }

    void limits()
    {
        QFETCH(QList<ZipEntry>, archive);
        QFETCH(QString, error);
        QFETCH(bool, judgedByListing);
        const PatchAnalysis analysis = analyzed(archive, m_repo, {.maxUnpackedBytes = 1 << 20, .maxEntries = 3});
        const bool nothingUnpacked = treeOf(analysis.tmpDir).isEmpty();
        PatchApplier::cancel(analysis);
        QCOMPARE(analysis.errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(analysis.entries.isEmpty(), !error.isEmpty());
        QVERIFY(nothingUnpacked || !judgedByListing);
    }

    // The sizes an archive claims may lie; the disk it fills is watched while unzip runs.
    void unpackingStopsWhenTheDiskFills()
    {
        const ZipEntry lying{.name = "lying", .zeros = qint64(256) << 20, .claimedSize = 10};
        makeZip(m_zip, {lying});
        const UnpackOutcome outcome = unpackArchive(m_zip, m_box->path(), 8 << 20, std::chrono::minutes(5));
        QVERIFY(outcome.overBudget);
        QCOMPARE(outcome.outcome, ToolOutcome::Failed);
        QVERIFY(QFileInfo(m_box->filePath("lying")).size() < lying.zeros);
    }

    void destinations_data()
    {
        QTest::addColumn<QString>("link");  // when set, the path's first part is a link to it; "@": the folder outside
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");  // empty: applied
        const QString outside = ": its folder leads outside the repository";
        QTest::addRow("missing folders are created") << "" << "deep/new/f" << QString();
        QTest::addRow("folder at the destination") << "" << "f" << "f: Is a directory";
        QTest::addRow("folder linked outside") << "@" << "out/evil" << "out/evil" + outside;
        QTest::addRow("relative link to the parent") << ".." << "up/evil" << "up/evil" + outside;
        QTest::addRow("folder linked inside") << "deep" << "alias/f" << QString();
        QTest::addRow("link at the destination") << "@/conf" << "conf" << QString();
        QTest::addRow("parent is a file") << "" << "a/b" << "a/b: Not a directory";
    }

    void destinations()
    {
        QFETCH(QString, link);
        QFETCH(QString, path);
        QFETCH(QString, error);
        const QString outside = m_box->filePath("outside");
        writeFile(outside, "conf", "outside\n");
        writeFile(m_repo, "a", "a\n");
        writeFile(m_repo, "f/inner", "inner\n");
        QDir(m_repo).mkdir("deep");
        const QString linkPath = m_repo + '/' + path.section('/', 0, 0);
        QVERIFY(link.isEmpty() || makeSymlink(QString(link).replace('@', outside), linkPath));
        // The repository is opened through a link, as a path under /tmp is on macOS.
        QVERIFY(makeSymlink(m_repo, m_box->filePath("repo-link")));
        const PatchAnalysis analysis =
            analyzed({zipFile(path.toUtf8(), "patched\n"), zipFile("x")}, m_box->filePath("repo-link"));
        const qsizetype other = analysis.entries.first().relativePath == "x" ? 0 : 1;

        const PatchApplyResult result = PatchApplier::apply(analysis, {other});
        QCOMPARE(result.errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(result.applied, error.isEmpty() ? QStringList{path} : QStringList());
        QCOMPARE(result.skipped, QStringList{"x"});
        QCOMPARE(entryNames(outside), QStringList{"conf"});
        QCOMPARE(readFile(outside + "/conf"), "outside\n");
        QCOMPARE(readFile(m_repo + "/a") + readFile(m_repo + "/f/inner"), "a\ninner\n");
        const QString written = m_repo + '/' + (link == "deep" ? "deep/f" : path);
        QCOMPARE(readFile(written), error.isEmpty() ? "patched\n" : "");
        QVERIFY(!QFileInfo(written).isSymLink());
    }

    // One apply, file by file in the entries' order: an excluded file is not touched, one whose
    // copy fails half way (even for root) keeps the old file, a replaced file keeps its permission
    // bits and a new one is executable when the archive says so, less the umask.
    void appliesFileByFile()
    {
        const mode_t previousMask = ::umask(022);
        writeFile(m_repo, "a", "old a\n");
        writeFile(m_repo, "f", "old f\n");
        QVERIFY(setPermissionBits(writeFile(m_repo, "private", "old\n"), 0600));
        QVERIFY(setPermissionBits(writeFile(m_repo, "unusual", "old\n"), 0751));
        const PatchAnalysis analysis =
            analyzed({zipFile("p/a"), zipFile("p/b", "new b\n", 0100755), zipFile("p/c", "new c\n", 0100666),
                      zipFile("p/f", QByteArray(8192, 'n')), zipFile("p/private", "new\n", 0100777),
                      zipFile("p/unusual", "new\n", 0100644)});
        const PatchApplyResult result = [&] {
            const FileSizeLimit limit(1024);
            return PatchApplier::apply(analysis, {0});
        }();
        ::umask(previousMask);
        QCOMPARE(result.skipped, QStringList{"a"});
        QCOMPARE(result.applied, (QStringList{"b", "c", "private", "unusual"}));
        QCOMPARE(result.errors, QStringList{"f: File too large"});
        QStringList files;  // every file in the repository (no side file is left), its bits and content
        for (const QString &name : entryNames(m_repo)) {
            const QString path = m_repo + '/' + name;
            files << QString("%1 %2 %3").arg(name).arg(permissionBits(path), 0, 8).arg(readFile(path));
        }
        QCOMPARE(files, (QStringList{"a 644 old a\n", "b 755 new b\n", "c 644 new c\n", "f 644 old f\n",
                                     "private 600 new\n", "unusual 751 new\n"}));
    }

    // Applying honours the repository file's permissions and never hands it to another owner.
    void ownersAndPermissions_data()
    {
        QTest::addColumn<QString>("file");  // "owner:group mode"; "u" is the other user
        QTest::addColumn<QString>("error");  // empty: applied
        QTest::addRow("another user's file keeps its owner") << "u:u 0644" << "";
        QTest::addRow("a group's file keeps its group") << "0:u 0664" << "";
        QTest::addRow("no write bit at all") << "0:0 0444" << "f: the file is read-only";
    }

    void ownersAndPermissions()
    {
        QFETCH(QString, file);
        QFETCH(QString, error);
        const QString owner = file.section(' ', 0, 0).replace("u", QString::number(otherUserId));
        const int mode = file.section(' ', 1).toInt(nullptr, 8);
        const QString path = writeFile(m_repo, "f", "old\n");
        const bool root = ::geteuid() == 0;
        if (!root && owner != "0:0") {
            QSKIP("only root can hand a file to another user");
        }
        QVERIFY(!root || setOwner(path, owner.section(':', 0, 0).toUInt(), owner.section(':', 1).toUInt()));
        QVERIFY(setPermissionBits(path, mode));
        const PatchApplyResult result = PatchApplier::apply(analyzed({zipFile("f", "new\n")}), {});
        QCOMPARE(result.errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(readFile(path), error.isEmpty() ? "new\n" : "old\n");
        QCOMPARE(ownerOf(path), root ? owner : ownerOf(path));
        QCOMPARE(permissionBits(path), mode);
        QCOMPARE(entryNames(m_repo), QStringList{"f"});
    }

    // The analysis is a plain value; one damaged on its way back still writes nothing outside
    // the repository and deletes nothing but a patch directory.
    void damagedAnalysis()
    {
        PatchAnalysis analysis = analyzed({zipFile("a"), zipFile("b")});
        analysis.entries[0].relativePath = "../escape";
        analysis.entries[1].patchFileURL = writeFile(m_box->path(), "secret", "secret\n");
        const QStringList before = entryNames(m_box->path());
        QCOMPARE(PatchApplier::apply(analysis, {}).errors,
                 (QStringList{"../escape: the path is not a plain relative path",
                              "b: the unpacked file is not in the patch's temporary folder"}));
        QCOMPARE(entryNames(m_box->path()), before);
        PatchApplier::cancel(PatchAnalysis{{}, m_box->path(), {}, {}});
        QVERIFY(QFileInfo::exists(m_box->filePath("secret")));
    }
};

QTEST_GUILESS_MAIN(TestPatchApplier)
#include "tst_patch_applier.moc"
