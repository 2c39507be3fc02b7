#include "workspace/git_manager.h"

#include "platform/file_time.h"
#include "platform/tool_paths.h"
#include "test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using vesk::ChangeStatus;
using vesk::GitManager;
using vesk::GitStatusEntry;
using vesk::RefreshResult;
namespace t = vesk::test;

Q_DECLARE_METATYPE(ChangeStatus)

namespace {

QMap<QString, ChangeStatus> statusByPath(const RefreshResult &result)
{
    QMap<QString, ChangeStatus> map;
    for (const GitStatusEntry &entry : result.entries) {
        map.insert(entry.path, entry.status);
    }
    return map;
}

// Every file under .git with its size, time and content, to prove a read wrote nothing.
QStringList snapshot(const QString &gitDir)
{
    QStringList lines;
    QDirIterator it(gitDir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const auto time = vesk::modificationTime(path);
        const QByteArray hash = info.isFile()
            ? QCryptographicHash::hash(t::readFile(path), QCryptographicHash::Sha1).toHex()
            : QByteArray();
        lines.append(QStringLiteral("%1 %2 %3 %4")
                         .arg(path)
                         .arg(info.size())
                         .arg(time ? time->nanoseconds : -1)
                         .arg(QString::fromLatin1(hash)));
    }
    lines.sort();
    return lines;
}

// A fresh repository in `dir` with `script` run in it by the shell (git is on its path).
QString makeRepo(const QString &dir, const char *script)
{
    t::initGitRepo(dir);
    t::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromUtf8(script)}, dir);
    return dir;
}

} // namespace

class TestGitManager : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void cleanup() { vesk::resetToolPaths(); }

    void statusCodes_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<ChangeStatus>("expected");
        const struct
        {
            const char *code;
            ChangeStatus status;
        } rows[] = {
            {" M", ChangeStatus::modified},  {"M ", ChangeStatus::modified},  {"MM", ChangeStatus::modified},
            {" T", ChangeStatus::modified},  {"TM", ChangeStatus::modified},  {"A ", ChangeStatus::added},
            {"AM", ChangeStatus::added},     {" A", ChangeStatus::added},     {"C ", ChangeStatus::added},
            {"D ", ChangeStatus::deleted},   {" D", ChangeStatus::deleted},   {"AD", ChangeStatus::deleted},
            {"MD", ChangeStatus::deleted},   {"R ", ChangeStatus::renamed},   {"RM", ChangeStatus::renamed},
            {" R", ChangeStatus::renamed},   {"RD", ChangeStatus::deleted},   {"??", ChangeStatus::untracked},
            {"UU", ChangeStatus::conflict},  {"AA", ChangeStatus::conflict},  {"DD", ChangeStatus::conflict},
            {"AU", ChangeStatus::conflict},  {"UA", ChangeStatus::conflict},  {"DU", ChangeStatus::conflict},
            {"UD", ChangeStatus::conflict},  {"!!", ChangeStatus::untracked}, {"X ", ChangeStatus::untracked},
        };
        for (const auto &row : rows) {
            QTest::addRow("%s", row.code) << QByteArray(row.code) << row.status;
        }
    }

    void statusCodes()
    {
        QFETCH(QByteArray, code);
        QFETCH(ChangeStatus, expected);
        QByteArray output = code + " some/file.txt";
        output.append('\0');
        if (code.contains('R') || code.contains('C')) {
            output.append("from.txt");
            output.append('\0');
        }
        output.append("?? after.txt");
        output.append('\0');
        const QList<GitStatusEntry> entries = GitManager::parseStatus(output);
        QCOMPARE(entries.size(), 2);  // a rename's source record is not an entry of its own
        QCOMPARE(entries[0].path, QStringLiteral("some/file.txt"));
        QCOMPARE(entries[0].status, expected);
        QCOMPARE(entries[1].path, QStringLiteral("after.txt"));
    }

    void parseKeepsOrderAndSkipsBadRecords()
    {
        const QByteArray output(" M src/a.c\0?? notes/\0A  b.c\0 D old.txt\0 M \xff\xfe.txt\0R  new\0\xc0\0xy\0 M last\0",
                                73);
        const QList<GitStatusEntry> entries = GitManager::parseStatus(output);
        QStringList paths;
        for (const GitStatusEntry &entry : entries) {
            paths.append(entry.path);
        }
        QCOMPARE(paths, (QStringList{"src/a.c", "notes/", "b.c", "old.txt", "last"}));
        QCOMPARE(entries[1].status, ChangeStatus::untracked);
        QCOMPARE(entries[3].status, ChangeStatus::deleted);
        QVERIFY(entries[0].id != entries[4].id);
    }

    void realRepositoryStatuses()
    {
        const QString repo = makeRepo(m_dir.filePath("statuses"), R"(
            for f in modified staged both removed missing old oldmod link; do seq 1 30 > $f.txt; done
            git add -A && git commit -qm base
            echo x >> modified.txt; echo x >> staged.txt; echo x >> both.txt
            git add staged.txt both.txt; echo y >> both.txt
            echo n > new.txt; echo n > newmod.txt; echo n > newgone.txt; git add new*.txt
            echo m >> newmod.txt; rm newgone.txt missing.txt; git rm -q removed.txt
            git mv old.txt renamed.txt; git mv oldmod.txt renamedmod.txt; echo m >> renamedmod.txt
            rm link.txt; ln -s modified.txt link.txt
            echo u > loose.txt; mkdir folder; echo u > folder/inner.txt)");
        const RefreshResult result = GitManager::collectStatus(repo);
        QVERIFY(result.isRepo);
        QCOMPARE(result.branch, QStringLiteral("main"));
        const QMap<QString, ChangeStatus> expected{
            {"modified.txt", ChangeStatus::modified}, {"staged.txt", ChangeStatus::modified},
            {"both.txt", ChangeStatus::modified},     {"new.txt", ChangeStatus::added},
            {"newmod.txt", ChangeStatus::added},      {"newgone.txt", ChangeStatus::deleted},
            {"removed.txt", ChangeStatus::deleted},   {"missing.txt", ChangeStatus::deleted},
            {"renamed.txt", ChangeStatus::renamed},   {"renamedmod.txt", ChangeStatus::renamed},
            {"link.txt", ChangeStatus::modified},     {"loose.txt", ChangeStatus::untracked},
            {"folder/", ChangeStatus::untracked},
        };
        QCOMPARE(statusByPath(result), expected);
        for (const GitStatusEntry &entry : result.entries) {
            QCOMPARE(entry.originalPath.isEmpty(), entry.status != ChangeStatus::renamed);
            if (entry.path == QLatin1String("renamed.txt")) {
                QCOMPARE(entry.displayPath(), QStringLiteral("old.txt -> renamed.txt"));
            }
        }
    }

    void mergeConflicts()
    {
        const QString repo = makeRepo(m_dir.filePath("conflicts"), R"(
            echo base > both.txt; echo base > gone_here.txt; echo base > gone_there.txt
            git add -A && git commit -qm base && git checkout -qb other
            echo theirs > both.txt; echo theirs > added.txt; echo theirs > gone_here.txt; rm gone_there.txt
            git add -A && git commit -qm theirs && git checkout -q main
            echo ours > both.txt; echo ours > added.txt; rm gone_here.txt; echo ours > gone_there.txt
            git add -A && git commit -qm ours && git merge -q other)");
        const QMap<QString, ChangeStatus> expected{
            {"both.txt", ChangeStatus::conflict},       // UU
            {"added.txt", ChangeStatus::conflict},      // AA
            {"gone_here.txt", ChangeStatus::conflict},  // DU
            {"gone_there.txt", ChangeStatus::conflict}, // UD
        };
        QCOMPARE(statusByPath(GitManager::collectStatus(repo)), expected);
    }

    // Names git would quote or split in its plain short status come through as the file
    // system names them, so the tree and the changes list can find them.
    void unusualNames()
    {
        const QString repo = m_dir.filePath(QStringLiteral("names"));
        t::initGitRepo(repo);
        const QStringList names{"sp ace.txt", "qu\"ote.txt", "caf\u00e9.txt", "ar -> row.txt", "new\nline.txt",
                                "back\\slash.txt", "a b.txt"};
        for (const QString &name : names) {
            t::writeFile(repo, "dir/" + name, "content\n");
        }
        t::commitAll(repo);
        for (const QString &name : names.mid(0, 6)) {
            t::writeFile(repo, "dir/" + name, "changed\n");
        }
        t::git(repo, {"mv", "dir/a b.txt", "dir/\u00e7 d.txt"});

        GitManager manager;
        manager.apply(GitManager::collectStatus(repo));
        QCOMPARE(manager.statusEntries().size(), 7);
        for (const QString &name : names.mid(0, 6)) {
            QCOMPARE(manager.statusFor("dir/" + name), ChangeStatus::modified);
        }
        QCOMPARE(manager.statusFor(QStringLiteral("dir/\u00e7 d.txt")), ChangeStatus::renamed);
        QCOMPARE(manager.statusFor(QStringLiteral("dir/a b.txt")), ChangeStatus::unmodified);
        // Paths are relative to the top level: the same name elsewhere is another file.
        QCOMPARE(manager.statusFor(QStringLiteral("caf\u00e9.txt")), ChangeStatus::unmodified);
    }

    void branchAndRepositoryKinds()
    {
        const QString empty = makeRepo(m_dir.filePath("nocommits"), "echo a > a.txt");
        RefreshResult result = GitManager::collectStatus(empty);
        QVERIFY(result.isRepo);
        QCOMPARE(result.branch, QStringLiteral("unknown"));
        QCOMPARE(result.entries.size(), 1);

        // A linked worktree has a .git file rather than a folder.
        const QString repo = makeRepo(m_dir.filePath("kinds"), R"(
            echo a > a.txt; git add -A && git commit -qm a
            git worktree add -q -b feature/x ../kinds-worktree; echo b > ../kinds-worktree/b.txt)");
        QCOMPARE(GitManager::collectStatus(repo).branch, QStringLiteral("main"));
        const QString worktree = m_dir.filePath("kinds-worktree");
        QVERIFY(QFileInfo(QDir(worktree).filePath(".git")).isFile());
        result = GitManager::collectStatus(worktree);
        QCOMPARE(result.branch, QStringLiteral("feature/x"));
        QCOMPARE(statusByPath(result), (QMap<QString, ChangeStatus>{{"b.txt", ChangeStatus::untracked}}));

        t::git(repo, {"checkout", "-q", "--detach"});
        QCOMPARE(GitManager::collectStatus(repo).branch, QStringLiteral("HEAD"));
    }

    void notARepositoryRunsNoGit()
    {
        const QString plain = m_dir.filePath(QStringLiteral("plain"));
        t::writeFile(plain, "a.txt", "a\n");
        const QString marker = m_dir.filePath(QStringLiteral("git-ran"));
        vesk::setToolPath(vesk::Tool::Git, t::writeScript(m_dir.path(), "marking-git", "touch '" + marker.toUtf8() + "'"));
        const RefreshResult result = GitManager::collectStatus(plain);
        QVERIFY(!result.isRepo);
        QVERIFY(result.branch.isEmpty());
        QVERIFY(result.entries.isEmpty());
        QVERIFY(!QFile::exists(marker));
    }

    void failingGit_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("branch");
        QTest::addRow("exits with an error") << QByteArray("echo main; echo ' M a.txt'; exit 1") << "unknown";
        QTest::addRow("prints invalid UTF-8") << QByteArray("printf 'ma\\377in\\n'") << "unknown";
        QTest::addRow("never finishes") << QByteArray("exec sleep 60") << "unknown";
        QTest::addRow("prints a branch with spaces") << QByteArray("printf '  dev \\n'") << "dev";
    }

    void failingGit()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, branch);
        const QString repo = m_dir.filePath(QStringLiteral("failing"));
        t::initGitRepo(repo);
        vesk::setToolPath(vesk::Tool::Git, t::writeScript(m_dir.path(), "stand-in-git", script));
        const RefreshResult result = GitManager::collectStatus(repo);
        QVERIFY(result.isRepo);
        QCOMPARE(result.branch, branch);
        QVERIFY(result.entries.isEmpty());
    }

    // A status read must not write the repository, not even the index refresh `git status`
    // does on its own when file times have moved.
    // A status read must not write the repository, not even the index refresh `git status`
    // does on its own when file times have moved.
    void readingLeavesGitUntouched()
    {
        const QString repo = makeRepo(m_dir.filePath("readonly"), R"(
            for i in $(seq 20); do echo same > f$i.txt; done; git add -A && git commit -qm base)");
        for (int i = 1; i <= 20; ++i) {
            const QString path = QDir(repo).filePath(QStringLiteral("f%1.txt").arg(i));
            vesk::setModificationTime(path, {vesk::modificationTime(path)->nanoseconds - 60'000'000'000LL});
        }
        t::writeFile(repo, "f1.txt", "different\n");
        const QString gitDir = QDir(repo).filePath(".git");
        const QStringList before = snapshot(gitDir);
        const RefreshResult result = GitManager::collectStatus(repo);
        QCOMPARE(statusByPath(result), (QMap<QString, ChangeStatus>{{"f1.txt", ChangeStatus::modified}}));
        QCOMPARE(snapshot(gitDir), before);

        t::git(repo, {"status", "--porcelain"});  // the snapshot does see git's own refresh
        QVERIFY(snapshot(gitDir) != before);
    }

    void repositoryConfigRunsNoCommand()
    {
        const QString marker = m_dir.filePath("fsmonitor-ran");
        const QString monitor = t::writeScript(m_dir.path(), "monitor.sh", "touch '" + marker.toUtf8() + "'");
        const QString repo = makeRepo(m_dir.filePath("handed-over"), R"(
            echo a > a.txt; git add -A && git commit -qm base; echo b > a.txt)");
        t::git(repo, {"config", "core.fsmonitor", monitor});
        const RefreshResult result = GitManager::collectStatus(repo);
        QCOMPARE(statusByPath(result), (QMap<QString, ChangeStatus>{{"a.txt", ChangeStatus::modified}}));
        QVERIFY(!QFile::exists(marker));
    }

    void applyAnnouncesEachField()
    {
        GitManager manager;
        QStringList seen;
        connect(&manager, &GitManager::willChange, this, [&] {
            seen.append(QStringLiteral("%1|%2|%3").arg(manager.isRepo()).arg(manager.branch()).arg(
                manager.statusEntries().size()));
        });
        RefreshResult result{true, QStringLiteral("main"), GitManager::parseStatus(QByteArray(" M a\0", 5))};
        manager.apply(result);
        QCOMPARE(seen, (QStringList{"0||0", "1||0", "1|main|0"}));
        QCOMPARE(manager.statusEntries().size(), 1);
    }

    void statusForLookup_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("path");
        QTest::addColumn<ChangeStatus>("expected");
        const QByteArray entries(" M sub/a.c\0A  a.c\0?? notes/\0 D x/b.c\0", 37);
        QTest::addRow("exact entry") << entries << "a.c" << ChangeStatus::added;
        QTest::addRow("nested path") << entries << "x/b.c" << ChangeStatus::deleted;
        QTest::addRow("same name deeper is another file") << entries << "b.c" << ChangeStatus::unmodified;
        QTest::addRow("untracked folder names only itself") << entries << "notes/n.txt" << ChangeStatus::unmodified;
        QTest::addRow("unknown path") << entries << "zzz" << ChangeStatus::unmodified;
    }

    void statusForLookup()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, path);
        QFETCH(ChangeStatus, expected);
        GitManager manager;
        manager.apply({true, QStringLiteral("main"), GitManager::parseStatus(output)});
        QCOMPARE(manager.statusFor(path), expected);
    }

    void vocabulary()
    {
        QStringList rows;
        for (ChangeStatus status : vesk::allChangeStatuses()) {
            rows.append(QStringList{vesk::rawValue(status), vesk::label(status), vesk::symbolName(status),
                                    vesk::colorName(status)}.join('|'));
            QCOMPARE(vesk::changeStatusFromRawValue(vesk::rawValue(status)), status);
        }
        QCOMPARE(rows.join('\n'), QStringLiteral("M|Modified|pencil.circle.fill|orange\n"
                                                 "A|Added|plus.circle.fill|green\n"
                                                 "D|Deleted|minus.circle.fill|red\n"
                                                 "R|Renamed|arrow.right.circle.fill|purple\n"
                                                 "?|Untracked|questionmark.circle.fill|gray\n"
                                                 "U|Conflict|exclamationmark.triangle.fill|red\n"
                                                 " |Clean|circle|secondary"));
        QVERIFY(!vesk::changeStatusFromRawValue(u"??") && !vesk::changeStatusFromRawValue(u"m"));
    }
};

QTEST_GUILESS_MAIN(TestGitManager)
#include "tst_git_manager.moc"
