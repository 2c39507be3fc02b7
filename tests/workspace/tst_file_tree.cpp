#include "platform/background.h"
#include "platform/preferences.h"
#include "platform/tool_paths.h"
#include "test_support.h"
#include "workspace/file_node.h"
#include "workspace/git_manager.h"
#include "workspace/repository_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vesk;
namespace t = vesk::test;

namespace {

// Every node depth first as its path relative to the root, folders marked with "/".
QStringList flatten(const QList<FileNode> &nodes, const QString &prefix = {})
{
    QStringList paths;
    for (const FileNode &node : nodes) {
        paths.append(prefix + node.name + (node.isDirectory ? "/" : ""));
        paths += flatten(node.children, prefix + node.name + "/");
    }
    return paths;
}

const FileNode *findNode(const QList<FileNode> &nodes, const QString &relativePath)
{
    const QString first = relativePath.section(u'/', 0, 0);
    const QString rest = relativePath.section(u'/', 1);
    for (const FileNode &node : nodes) {
        if (node.name == first) {
            return rest.isEmpty() ? &node : findNode(node.children, rest);
        }
    }
    return nullptr;
}

// Runs `script` with sh in the new folder `dir`, made a repository first when `git`.
void prepare(const QString &dir, const QString &script, bool git = true)
{
    git ? t::initGitRepo(dir) : void(QDir().mkpath(dir));
    bool ok = false;
    t::run(QStringLiteral("/bin/sh"), {QStringLiteral("-ec"), script}, dir, &ok);
    QVERIFY2(ok, qPrintable(script));
}

} // namespace

class TestFileTree : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;
    QString freshDir() { return m_dir.filePath(QStringLiteral("case%1").arg(++m_counter)); }

private Q_SLOTS:
    void init() { Preferences::useFile(m_dir.filePath(QStringLiteral("prefs%1.ini").arg(++m_counter))); }
    void cleanup()
    {
        resetToolPaths();
        waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
    }

    void listing_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("showDotFiles");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("case-insensitive order, folders first") << "touch b.txt A.txt a.md; mkdir z" << false
                                                               << QStringList{"z/", "a.md", "A.txt", "b.txt"};
        QTest::addRow("dot names hidden") << "touch .gitignore f; mkdir .github" << false << QStringList{"f"};
        QTest::addRow("dot names shown") << "touch .gitignore f; mkdir .github .git; touch .git/HEAD" << true
                                         << QStringList{".git/", ".git/HEAD", ".github/", ".gitignore", "f"};
        QTest::addRow("node_modules and .build at any depth")
            << "mkdir -p node_modules/x .build src/node_modules src/.build; touch src/k" << true
            << QStringList{"src/", "src/k"};
        QTest::addRow("link to a folder is a folder, a dangling link a file")
            << "mkdir real; touch real/f; ln -s real alias; ln -s real/f file-link; ln -s nowhere gone" << false
            << QStringList{"alias/", "real/", "real/f", "file-link", "gone"};
        QTest::addRow("a link met before the folder it leads to") << "mkdir -p zz/real; touch zz/real/f; ln -s zz/real aa"
                                                                  << false << QStringList{"aa/", "zz/", "zz/real/", "zz/real/f"};
        QTest::addRow("two links to a folder outside") << "mkdir -p ../ext; touch ../ext/o; ln -s ../ext l1; ln -s ../ext l2"
                                                       << false << QStringList{"l1/", "l1/o", "l2/"};
        // Eight folders each linking to the other seven: every real folder is listed once.
        QString mesh = QStringLiteral("for a in 1 2 3 4 5 6 7 8; do mkdir m$a; touch m$a/f; done; "
                                      "for a in 1 2 3 4 5 6 7 8; do for b in 1 2 3 4 5 6 7 8; do "
                                      "[ $a = $b ] || ln -s ../m$b m$a/to$b; done; done");
        QStringList meshed;
        for (int a = 1; a <= 8; ++a) {
            meshed.append(QStringLiteral("m%1/").arg(a));
            for (int b = 1; b <= 8; ++b) {
                if (a != b) {
                    meshed.append(QStringLiteral("m%1/to%2/").arg(a).arg(b));
                }
            }
            meshed.append(QStringLiteral("m%1/f").arg(a));
        }
        QTest::addRow("folders linking to each other") << mesh << false << meshed;
        QTest::addRow("links back up are not entered")
            << "mkdir d; ln -s . self; ln -s .. d/up; ln -s ../d d/again" << false
            << QStringList{"d/", "d/again/", "d/up/", "self/"};
        QString deep = QStringLiteral("d0");
        QStringList expected{"d0/"};
        for (int level = 1; level < 12; ++level) {
            deep += QStringLiteral("/d%1").arg(level);
            if (level < fileTreeDepthLimit) {
                expected.append(deep + "/");
            }
        }
        QTest::addRow("depth limit") << QStringLiteral("mkdir -p %1; touch %1/f").arg(deep) << false << expected;
    }

    void listing()
    {
        QFETCH(QString, script);
        QFETCH(bool, showDotFiles);
        const QString dir = freshDir();
        prepare(dir, script, false);
        QTEST(flatten(buildFileTree(dir, dir, {}, showDotFiles, 0)), "expected");
    }

    void statuses_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expected");  // "path=status", or "path=absent" for no node
        const QString commit = QStringLiteral("git add -A; git commit -qm base; ");
        QTest::addRow("deleted beats modified beats untracked")
            << "mkdir d e; touch d/gone d/keep; echo 1 > d/c; echo 1 > e/a; " + commit
                   + "rm d/gone; echo 2 > d/c; echo 2 > e/a; touch d/new e/new"
            << QStringList{"d=D", "d/gone=absent", "d/keep= ", "d/c=M", "d/new=?", "e=M", "e/a=M", "e/new=?"};
        QTest::addRow("conflict anywhere below")
            << "mkdir -p top/deep; echo base > top/deep/c; touch top/other; " + commit
                   + "git checkout -qb side; echo side > top/deep/c; git commit -qam side; git checkout -q main; "
                     "echo main > top/deep/c; git commit -qam main; echo x > top/other; git merge -q side || true"
            << QStringList{"top=U", "top/deep=U", "top/deep/c=U", "top/other=M"};
        QTest::addRow("untracked folder") << "touch seed; " + commit + "mkdir fresh; touch fresh/a fresh/b"
                                          << QStringList{"fresh=?", "fresh/a= ", "seed= "};
        QTest::addRow("rename shows under the new name")
            << "mkdir old new; echo t > old/f; " + commit + "git mv old/f new/f"
            << QStringList{"new=R", "new/f=R", "old/f=absent"};
        QTest::addRow("same name deeper lends no status")
            << "mkdir docs; touch README docs/README; " + commit + "echo x > docs/README"
            << QStringList{"README= ", "docs/README=M"};
        const QString subCommit = QStringLiteral("git -c user.name=t -c user.email=t@t commit -q");
        QTest::addRow("modified submodule marks its folder and the folders above")
            << "mkdir -p libs/sub; touch seed; (cd libs/sub && git init -q && " + subCommit + " --allow-empty -m s); "
                   "git add -A 2>/dev/null; git commit -qm base; (cd libs/sub && echo x > f && git add f && "
                   + subCommit + " -m more)"
            << QStringList{"libs=M", "libs/sub=M", "seed= "};
        // Below the root, a folder may repeat the root's own path; relative paths still start at the root.
        QTest::addRow("root path repeated inside")
            << "mkdir -p a$PWD; echo 1 > a$PWD/f; " + commit + "echo 2 > a$PWD/f" << QStringList{"a/@root/f=M"};
    }

    void statuses()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, expected);
        const QString repo = freshDir();
        prepare(repo, script);
        const QList<FileNode> tree = buildFileTree(repo, repo, GitManager::collectStatus(repo).entries, false, 0);
        for (const QString &row : expected) {
            const QString path = row.section(u'=', 0, 0).replace("@root", QDir(repo).canonicalPath().mid(1));
            const QString status = row.section(u'=', 1);
            const FileNode *node = findNode(tree, path);
            QVERIFY2(bool(node) == (status != u"absent"), qPrintable(path));
            if (node) {
                QCOMPARE(rawValue(node->gitStatus), status);
                QCOMPARE(node->path, repo + "/" + path);
            }
        }
    }

    // A refresh publishes the tree (as the dot-file preference says) and the git status. Here
    // the first refresh's git reads the status, then stalls until released; meanwhile a file
    // changes and a second refresh completes. The stalled one finishes last with the older view
    // of the disk, which must not replace the newer one.
    void staleRefreshFinishingLastIsDropped()
    {
        const QString repo = freshDir();
        prepare(repo, "echo one > a; touch .hidden; git add -A; git commit -qm base");
        Preferences::instance().setValue("showDotFiles", true);
        const QString control = freshDir();
        QDir().mkpath(control);
        setToolPath(Tool::Git, t::writeScript(control, "git", QStringLiteral(R"(
case "$*" in *status*) ;; *) exec /usr/bin/git "$@" ;; esac
if mkdir "%1/claimed" 2>/dev/null; then
    /usr/bin/git "$@" > "%1/snapshot"; touch "%1/taken"
    while [ ! -e "%1/release" ]; do sleep 0.01; done
    cat "%1/snapshot"
else
    exec /usr/bin/git "$@"
fi
)").arg(control).toUtf8()));

        RepositoryState state(RepositoryTab::forPath(repo));
        QVERIFY(state.fileTree().isEmpty());
        state.refresh();
        QTRY_VERIFY(QFile::exists(control + "/taken"));
        t::writeFile(repo, "a", "two\n");
        state.refresh();
        const QRegularExpression topLevel("^[^/]*$");
        QTRY_COMPARE(flatten(state.fileTree()).filter(topLevel), QStringList({".hidden", "a"}));
        QCOMPARE(findNode(state.fileTree(), "a")->gitStatus, ChangeStatus::modified);
        QVERIFY(state.git()->isRepo());

        QSignalSpy changes(&state, &RepositoryState::willChange);
        t::writeFile(control, "release", "");
        waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(changes.count(), 0);
        QCOMPARE(findNode(state.fileTree(), "a")->gitStatus, ChangeStatus::modified);
        QCOMPARE(state.git()->statusEntries().size(), 1);
    }

    // The result of a refresh whose state is gone finds nothing to hand itself to.
    void refreshOutlivedByItsResult()
    {
        const QString repo = freshDir();
        prepare(repo, "touch a");
        auto *state = new RepositoryState(RepositoryTab::forPath(repo));
        state->refresh();
        delete state;
        waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
    }

    void favoritesPersistPerRepository()
    {
        const QString outer = freshDir();
        const QString inner = outer + "/sub";
        QDir().mkpath(inner);
        {
            RepositoryState a(RepositoryTab::forPath(outer)), b(RepositoryTab::forPath(inner));
            a.setFavorites({outer + "/x", outer + "/y"});
            b.setFavorites({inner + "/z"});
            a.saveFavorites();
            b.saveFavorites();
        }
        using Paths = QSet<QString>;
        QCOMPARE(RepositoryState(RepositoryTab::forPath(outer)).favorites(), Paths({outer + "/x", outer + "/y"}));
        QCOMPARE(RepositoryState(RepositoryTab::forPath(inner)).favorites(), Paths({inner + "/z"}));
        QVERIFY(RepositoryState(RepositoryTab::forPath(outer + "/other")).favorites().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFileTree)
#include "tst_file_tree.moc"
