#include "workspace/git_manager.h"

#include "platform/file_time.h"
#include "platform/tool_paths.h"
#include "test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using vesk::ChangeStatus;
using vesk::GitManager;
using vesk::GitStatusEntry;
using vesk::RefreshResult;
namespace t = vesk::test;

Q_DECLARE_METATYPE(ChangeStatus)

namespace {

// "path=status" for each entry, sorted.
QString describe(const RefreshResult &result)
{
    QStringList rows;
    for (const GitStatusEntry &entry : result.entries) {
        rows.append(entry.path + '=' + vesk::rawValue(entry.status));
    }
    rows.sort();
    return rows.join(' ');
}

// Every file under .git with its time and content, to prove a read wrote nothing.
QStringList snapshot(const QString &gitDir)
{
    QStringList lines;
    QDirIterator it(gitDir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const auto time = vesk::modificationTime(path);
        const QByteArray hash = QFileInfo(path).isFile()
            ? QCryptographicHash::hash(t::readFile(path), QCryptographicHash::Sha1).toHex()
            : QByteArray();
        lines.append(QStringLiteral("%1 %2 %3").arg(path).arg(time ? time->nanoseconds : -1).arg(hash));
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
    // A script that only leaves the file `name`-ran behind when run.
    QString markingScript(const QString &name)
    {
        return t::writeScript(m_dir.path(), name, "touch '" + m_dir.filePath(name + "-ran").toUtf8() + "'");
    }

private Q_SLOTS:
    void cleanup()
    {
        vesk::resetToolPaths();
        GitManager::setCacheRefreshPolicy({});
    }

    void statusCodes_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<ChangeStatus>("expected");
        const QList<std::pair<ChangeStatus, QList<const char *>>> groups{
            {ChangeStatus::modified, {" M", "M ", "MM", " T", "TM"}},
            {ChangeStatus::added, {"A ", "AM", " A", "C "}},
            {ChangeStatus::deleted, {"D ", " D", "AD", "MD", "RD"}},
            {ChangeStatus::renamed, {"R ", "RM", " R"}},
            {ChangeStatus::untracked, {"??", "!!", "X "}},
            {ChangeStatus::conflict, {"UU", "AA", "DD", "AU", "UA", "DU", "UD"}},
        };
        for (const auto &[status, codes] : groups) {
            for (const char *code : codes) {
                QTest::addRow("%s", code) << QByteArray(code) << status;
            }
        }
    }

    void statusCodes()
    {
        QFETCH(QByteArray, code);
        QByteArray output = code + " some/file.txt" + '\0';
        if (code.contains('R') || code.contains('C')) {
            output += QByteArray("from.txt") + '\0';
        }
        output += QByteArray("?? after.txt") + '\0';
        const QList<GitStatusEntry> entries = GitManager::parseStatus(output);
        QCOMPARE(entries.size(), 2);  // a rename's source record is not an entry of its own
        QCOMPARE(entries[0].path, QStringLiteral("some/file.txt"));
        QTEST(entries[0].status, "expected");
        QCOMPARE(vesk::changeStatusFromRawValue(vesk::rawValue(entries[0].status)), entries[0].status);
        QCOMPARE(entries[1].path, QStringLiteral("after.txt"));
    }

    void parseKeepsOrderAndSkipsBadRecords()
    {
        static constexpr char records[] =
            " M src/a.c\0?? notes/\0A  b.c\0 D old.txt\0 M \xff\xfe.txt\0R  new\0\xc0\0xy\0 M last\0";
        const QByteArray output(records, sizeof(records) - 1);  // the records, without the literal's own NUL
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
        QCOMPARE(describe(result), QStringLiteral("both.txt=M folder/=? link.txt=M loose.txt=? missing.txt=D "
                                                  "modified.txt=M new.txt=A newgone.txt=D newmod.txt=A removed.txt=D "
                                                  "renamed.txt=R renamedmod.txt=R staged.txt=M"));
        for (const GitStatusEntry &entry : result.entries) {
            QCOMPARE(entry.originalPath.isEmpty(), entry.status != ChangeStatus::renamed);
            if (entry.path == QLatin1String("renamed.txt")) {
                QCOMPARE(entry.displayPath(), QStringLiteral("old.txt -> renamed.txt"));
            }
        }
    }

    // Names git would quote or split in its plain short status come through as the file
    // system names them. A status belongs to its whole path from the top level only.
    void unusualNamesAndLookup()
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
        t::writeFile(repo, "fresh/n.txt", "new\n");

        GitManager manager;
        manager.apply(GitManager::collectStatus(repo));
        QCOMPARE(manager.statusEntries().size(), 8);
        for (const QString &name : names.mid(0, 6)) {
            QCOMPARE(manager.statusFor("dir/" + name), ChangeStatus::modified);
        }
        QCOMPARE(manager.statusFor(QStringLiteral("dir/\u00e7 d.txt")), ChangeStatus::renamed);
        QCOMPARE(manager.statusFor(QStringLiteral("fresh/")), ChangeStatus::untracked);
        for (const char *other : {"dir/a b.txt", "caf\u00e9.txt", "fresh/n.txt", "dir"}) {
            QCOMPARE(manager.statusFor(QString::fromUtf8(other)), ChangeStatus::unmodified);
        }
    }

    void folderKinds_data()
    {
        QTest::addColumn<bool>("repo");       // made a repository before `setup` runs in it
        QTest::addColumn<QString>("setup");   // shell script
        QTest::addColumn<QByteArray>("git");  // a stand-in git's script; empty: the real one
        QTest::addColumn<QString>("read");    // the folder read, relative to the one made
        QTest::addColumn<QString>("expected");  // "isRepo|branch|entries"
        const QString commit = QStringLiteral("git commit -q --allow-empty -m a; ");
        QTest::addRow("not a repository runs no git") << false << "echo a > a.txt" << QByteArray("touch ran") << ""
                                                      << "0||";
        QTest::addRow("no commits yet") << true << "echo a > a.txt" << QByteArray() << "" << "1|unknown|a.txt=?";
        QTest::addRow("linked worktree, .git a file")
            << true << commit + "git worktree add -q -b feature/x wt; echo b > wt/b.txt" << QByteArray() << "wt"
            << "1|feature/x|b.txt=?";
        QTest::addRow("detached head") << true << commit + "git checkout -q --detach" << QByteArray() << ""
                                       << "1|HEAD|";
        QTest::addRow("git exits with an error") << true << "" << QByteArray("echo main; echo ' M a.txt'; exit 1") << ""
                                                 << "1|unknown|";
        QTest::addRow("git prints invalid UTF-8") << true << "" << QByteArray("printf 'ma\\377in\\n'") << ""
                                                  << "1|unknown|";
        QTest::addRow("git never finishes") << true << "" << QByteArray("exec sleep 60") << "" << "1|unknown|";
        QTest::addRow("git prints a branch with spaces") << true << "" << QByteArray("printf '  dev \\n'") << ""
                                                         << "1|dev|";
    }

    void folderKinds()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, git);
        QFETCH(QString, read);
        QFETCH(bool, repo);
        const QString dir = m_dir.filePath(QTest::currentDataTag());
        repo ? t::initGitRepo(dir) : void(QDir().mkpath(dir));
        t::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), setup}, dir);
        if (!git.isEmpty()) {
            vesk::setToolPath(vesk::Tool::Git, t::writeScript(m_dir.path(), "stand-in-git", git));
        }
        const RefreshResult result = GitManager::collectStatus(QDir(dir).filePath(read));
        QTEST(QStringLiteral("%1|%2|%3").arg(result.isRepo).arg(result.branch, describe(result)), "expected");
        QVERIFY(!QFile::exists(dir + "/ran"));
    }

    // A status read must not write the repository, not even the index refresh `git status`
    // does on its own when file times have moved, nor run the monitor its config names.
    void readingLeavesTheRepositoryAlone()
    {
        const QString repo = makeRepo(m_dir.filePath("readonly"), R"(
            for i in $(seq 20); do echo same > f$i.txt; done; git add -A && git commit -qm base)");
        t::git(repo, {"config", "core.fsmonitor", markingScript("monitor.sh")});
        for (int i = 1; i <= 20; ++i) {
            const QString path = QDir(repo).filePath(QStringLiteral("f%1.txt").arg(i));
            vesk::setModificationTime(path, {vesk::modificationTime(path)->nanoseconds - 60'000'000'000LL});
        }
        t::writeFile(repo, "f1.txt", "different\n");
        const QString gitDir = QDir(repo).filePath(".git");
        const QStringList before = snapshot(gitDir);
        QCOMPARE(describe(GitManager::collectStatus(repo)), QStringLiteral("f1.txt=M"));
        QCOMPARE(snapshot(gitDir), before);
        QVERIFY(!QFile::exists(m_dir.filePath("monitor.sh-ran")));

        t::git(repo, {"-c", "core.fsmonitor=false", "status", "--porcelain"});  // the snapshot sees git's refresh
        QVERIFY(snapshot(gitDir) != before);
    }

    // A git that fails or does not start leaves the last status that was read on show, with a
    // word that it could not be refreshed; the next read that works clears the word.
    void failedReadKeepsLastStatus_data()
    {
        QTest::addColumn<QByteArray>("git");  // stand-in script; empty: a program that cannot start
        QTest::addColumn<QString>("branch");  // shown after the failed read
        QTest::addRow("status fails") << QByteArray("case \"$*\" in *rev-parse*) echo side;; *) exit 128;; esac")
                                      << "side";
        QTest::addRow("git cannot start") << QByteArray() << "main";
    }

    void failedReadKeepsLastStatus()
    {
        QFETCH(QByteArray, git);
        const QString repo = makeRepo(m_dir.filePath(QStringLiteral("keep-%1").arg(QTest::currentDataTag())),
                                      "echo a > a.txt; git add -A; git commit -qm base; echo b >> a.txt");
        GitManager manager;
        manager.apply(GitManager::collectStatus(repo));
        QCOMPARE(manager.branch(), QStringLiteral("main"));
        QCOMPARE(manager.statusEntries().size(), 1);
        QVERIFY(manager.refreshError().isEmpty());

        vesk::setToolPath(vesk::Tool::Git, git.isEmpty() ? m_dir.filePath("no-such-git")
                                                         : t::writeScript(m_dir.path(), "failing-git", git));
        const RefreshResult failed = GitManager::collectStatus(repo);
        QVERIFY(failed.statusFailed);
        QCOMPARE(failed.branchUnanswered, git.isEmpty());
        manager.apply(failed);
        QTEST(manager.branch(), "branch");
        QCOMPARE(describe({true, {}, manager.statusEntries()}), QStringLiteral("a.txt=M"));
        QVERIFY(!manager.refreshError().isEmpty());

        GitManager fresh;  // nothing read before: nothing to keep, but the word is there
        fresh.apply(failed);
        QVERIFY(fresh.statusEntries().isEmpty());
        QVERIFY(!fresh.refreshError().isEmpty());

        vesk::resetToolPaths();
        manager.apply(GitManager::collectStatus(repo));
        QCOMPARE(manager.branch(), QStringLiteral("main"));
        QVERIFY(manager.refreshError().isEmpty());
    }

    // After the folder's files were touched (as a checkout or a copy does), a slow read of a
    // large index lets git refresh the cached file times, so later reads are fast; not while
    // another git process holds the index lock, and never for small or quick reads.
    void staleCacheRefresh_data()
    {
        QTest::addColumn<bool>("large");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("refreshed");
        QTest::addRow("large index, slow read") << true << false << true;
        QTest::addRow("index locked by another git") << true << true << false;
        QTest::addRow("small index") << false << false << false;
    }

    void staleCacheRefresh()
    {
        QFETCH(bool, large);
        QFETCH(bool, locked);
        const QString repo = makeRepo(m_dir.filePath(QStringLiteral("stale-%1").arg(QTest::currentDataTag())),
                                      "for i in $(seq 30); do echo same > f$i.txt; done; git add -A && "
                                      "git commit -qm base; echo changed > f1.txt");
        for (int i = 2; i <= 30; ++i) {
            const QString path = QDir(repo).filePath(QStringLiteral("f%1.txt").arg(i));
            vesk::setModificationTime(path, {vesk::modificationTime(path)->nanoseconds - 60'000'000'000LL});
        }
        GitManager::setCacheRefreshPolicy({large ? 10 : 100, std::chrono::milliseconds(0)});
        const QString index = QDir(repo).filePath(".git/index");
        const QByteArray before = t::readFile(index);
        if (locked) {
            t::writeFile(repo, ".git/index.lock", QByteArray());
        }
        QCOMPARE(describe(GitManager::collectStatus(repo)), QStringLiteral("f1.txt=M"));
        QTEST(t::readFile(index) != before, "refreshed");
        QCOMPARE(describe(GitManager::collectStatus(repo)), QStringLiteral("f1.txt=M"));
    }

    void applyAnnouncesEachField()
    {
        GitManager manager;
        QStringList seen;
        connect(&manager, &GitManager::willChange, this, [&] {
            seen.append(QStringLiteral("%1|%2|%3").arg(manager.isRepo()).arg(manager.branch()).arg(
                manager.statusEntries().size()));
        });
        manager.apply({true, QStringLiteral("main"), GitManager::parseStatus(QByteArray(" M a\0", 5))});
        QCOMPARE(seen, (QStringList{"0||0", "1||0", "1|main|0", "1|main|1"}));
        QCOMPARE(manager.statusEntries().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestGitManager)
#include "tst_git_manager.moc"
