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

void gitMayFail(const QString &repo, const QStringList &arguments)
{
    bool ok = false;
    t::run(QStringLiteral("/usr/bin/git"), arguments, repo, &ok);
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
        const QString repo = m_dir.filePath(QStringLiteral("statuses"));
        t::initGitRepo(repo);
        for (const char *name : {"modified.txt", "staged.txt", "both.txt", "removed.txt", "missing.txt", "old.txt",
                                 "oldmod.txt", "link.txt"}) {
            t::writeFile(repo, QString::fromLatin1(name), QByteArray(name).repeated(20) + "\n");
        }
        t::commitAll(repo);
        t::writeFile(repo, "modified.txt", "changed\n");
        t::writeFile(repo, "staged.txt", "changed\n");
        t::writeFile(repo, "both.txt", "changed\n");
        t::git(repo, {"add", "staged.txt", "both.txt"});
        t::writeFile(repo, "both.txt", "changed again\n");
        t::writeFile(repo, "new.txt", "new\n");
        t::writeFile(repo, "newmod.txt", "new\n");
        t::writeFile(repo, "newgone.txt", "new\n");
        t::git(repo, {"add", "new.txt", "newmod.txt", "newgone.txt"});
        t::writeFile(repo, "newmod.txt", "new and edited\n");
        QFile::remove(QDir(repo).filePath("newgone.txt"));
        t::git(repo, {"rm", "-q", "removed.txt"});
        QFile::remove(QDir(repo).filePath("missing.txt"));
        t::git(repo, {"mv", "old.txt", "renamed.txt"});
        t::git(repo, {"mv", "oldmod.txt", "renamedmod.txt"});
        t::writeFile(repo, "renamedmod.txt", QByteArray("oldmod.txt").repeated(20) + "more\n");
        QFile::remove(QDir(repo).filePath("link.txt"));
        QFile::link(QStringLiteral("modified.txt"), QDir(repo).filePath("link.txt"));
        t::writeFile(repo, "loose.txt", "x\n");
        t::writeFile(repo, "folder/inner.txt", "x\n");

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
            const bool rename = entry.status == ChangeStatus::renamed;
            QCOMPARE(entry.originalPath.isEmpty(), !rename);
            if (entry.path == QLatin1String("renamed.txt")) {
                QCOMPARE(entry.displayPath(), QStringLiteral("old.txt -> renamed.txt"));
            }
        }
    }

    void mergeConflicts()
    {
        const QString repo = m_dir.filePath(QStringLiteral("conflicts"));
        t::initGitRepo(repo);
        t::writeFile(repo, "both.txt", "base\n");
        t::writeFile(repo, "gone_here.txt", "base\n");
        t::writeFile(repo, "gone_there.txt", "base\n");
        t::commitAll(repo);
        t::git(repo, {"checkout", "-q", "-b", "other"});
        t::writeFile(repo, "both.txt", "theirs\n");
        t::writeFile(repo, "added.txt", "theirs\n");
        t::writeFile(repo, "gone_here.txt", "theirs\n");
        QFile::remove(QDir(repo).filePath("gone_there.txt"));
        t::commitAll(repo);
        t::git(repo, {"checkout", "-q", "main"});
        t::writeFile(repo, "both.txt", "ours\n");
        t::writeFile(repo, "added.txt", "ours\n");
        QFile::remove(QDir(repo).filePath("gone_here.txt"));
        t::writeFile(repo, "gone_there.txt", "ours\n");
        t::commitAll(repo);
        gitMayFail(repo, {"merge", "-q", "other"});

        const QMap<QString, ChangeStatus> expected{
            {"both.txt", ChangeStatus::conflict},      // UU
            {"added.txt", ChangeStatus::conflict},     // AA
            {"gone_here.txt", ChangeStatus::conflict}, // DU
            {"gone_there.txt", ChangeStatus::conflict} // UD
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
        // Paths are relative to the top level; a tree opened below it is matched by suffix.
        QCOMPARE(manager.statusFor(QStringLiteral("caf\u00e9.txt")), ChangeStatus::modified);
        QCOMPARE(manager.statusFor(QStringLiteral("\u00e9.txt")), ChangeStatus::unmodified);
    }

    void branchAndRepositoryKinds()
    {
        const QString empty = m_dir.filePath(QStringLiteral("nocommits"));
        t::initGitRepo(empty);
        t::writeFile(empty, "a.txt", "a\n");
        RefreshResult result = GitManager::collectStatus(empty);
        QVERIFY(result.isRepo);
        QCOMPARE(result.branch, QStringLiteral("unknown"));
        QCOMPARE(result.entries.size(), 1);

        const QString repo = m_dir.filePath(QStringLiteral("kinds"));
        t::initGitRepo(repo);
        t::writeFile(repo, "a.txt", "a\n");
        t::commitAll(repo);
        result = GitManager::collectStatus(repo);
        QCOMPARE(result.branch, QStringLiteral("main"));
        QVERIFY(result.entries.isEmpty());

        // A linked worktree has a .git file rather than a folder.
        const QString worktree = m_dir.filePath(QStringLiteral("kinds-worktree"));
        t::git(repo, {"worktree", "add", "-q", "-b", "feature/x", worktree});
        t::writeFile(worktree, "b.txt", "b\n");
        QVERIFY(QFileInfo(QDir(worktree).filePath(".git")).isFile());
        result = GitManager::collectStatus(worktree);
        QVERIFY(result.isRepo);
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
    void readingLeavesGitUntouched()
    {
        const QString repo = m_dir.filePath(QStringLiteral("readonly"));
        t::initGitRepo(repo);
        for (int i = 0; i < 20; ++i) {
            t::writeFile(repo, QStringLiteral("f%1.txt").arg(i), "same\n");
        }
        t::commitAll(repo);
        for (int i = 0; i < 20; ++i) {
            const QString path = QDir(repo).filePath(QStringLiteral("f%1.txt").arg(i));
            vesk::setModificationTime(path, {vesk::modificationTime(path)->nanoseconds - 7'000'000'000LL});
        }
        t::writeFile(repo, "f0.txt", "different\n");
        const QString gitDir = QDir(repo).filePath(".git");
        const QStringList before = snapshot(gitDir);

        const RefreshResult result = GitManager::collectStatus(repo);
        QCOMPARE(statusByPath(result), (QMap<QString, ChangeStatus>{{"f0.txt", ChangeStatus::modified}}));
        QCOMPARE(snapshot(gitDir), before);

        t::git(repo, {"status", "--porcelain"});  // the snapshot does see git's own refresh
        QVERIFY(snapshot(gitDir) != before);
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
        QTest::addRow("exact entry wins over suffix") << entries << "a.c" << ChangeStatus::added;
        QTest::addRow("suffix after a slash") << entries << "b.c" << ChangeStatus::deleted;
        QTest::addRow("suffix must start at a slash") << QByteArray(" M sub/xa.c\0", 12) << "a.c"
                                                      << ChangeStatus::unmodified;
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
            rows.append(vesk::rawValue(status) + "|" + vesk::label(status) + "|" + vesk::symbolName(status) + "|"
                        + vesk::colorName(status));
            QCOMPARE(vesk::changeStatusFromRawValue(vesk::rawValue(status)), status);
        }
        QCOMPARE(rows, (QStringList{
                           "M|Modified|pencil.circle.fill|orange",
                           "A|Added|plus.circle.fill|green",
                           "D|Deleted|minus.circle.fill|red",
                           "R|Renamed|arrow.right.circle.fill|purple",
                           "?|Untracked|questionmark.circle.fill|gray",
                           "U|Conflict|exclamationmark.triangle.fill|red",
                           " |Clean|circle|secondary",
                       }));
        QVERIFY(!vesk::changeStatusFromRawValue(u"??"));
        QVERIFY(!vesk::changeStatusFromRawValue(u""));
        QVERIFY(!vesk::changeStatusFromRawValue(u"m"));
    }
};

QTEST_GUILESS_MAIN(TestGitManager)
#include "tst_git_manager.moc"
