#include "sidebar_test_util.h"
#include "editor/ui/standalone_editor_window.h"
#include "platform/ui/file_manager.h"
#include "workspace/git_manager.h"
#include "workspace/ui/changes_list_model.h"
#include "workspace/ui/git_changes_view.h"

#include <QLabel>
#include <QListView>

using namespace vesk;
namespace t = vesk::test;

namespace {

// The rows on show: headers as "# title", entries as "path [Label]".
QStringList rows(GitChangesView *view)
{
    QStringList list;
    const QAbstractItemModel *model = view->listView()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        const auto kind = ChangesListModel::Kind(index.data(ChangesListModel::KindRole).toInt());
        if (kind == ChangesListModel::Kind::favoritesHeader || kind == ChangesListModel::Kind::changesHeader) {
            list.append("# " + index.data().toString());
        } else {
            list.append(index.data().toString() + " ["
                        + label(ChangeStatus(index.data(ChangesListModel::StatusRole).toInt())) + "]");
        }
    }
    return list;
}

QModelIndex rowShowing(GitChangesView *view, const QString &text)
{
    const QAbstractItemModel *model = view->listView()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().toString() == text) {
            return model->index(row, 0);
        }
    }
    return {};
}

// A repository with one commit of a.txt, b.txt, old.txt, gone.txt and keep.txt, then: a merge
// conflict in a.txt, old.txt renamed to new.txt (staged), gone.txt deleted, c.txt untracked.
const char *changedRepository =
    "printf 'base\\n' > a.txt; echo b > b.txt; echo o > old.txt; echo g > gone.txt; echo k > keep.txt;"
    "git add -A; git commit -qm base;"
    "git checkout -qb other; printf 'theirs\\n' > a.txt; git commit -qam theirs;"
    "git checkout -q main; printf 'ours\\n' > a.txt; git commit -qam ours;"
    "git merge -q other >/dev/null 2>&1 || true;"
    "git mv old.txt new.txt; rm gone.txt; echo c > c.txt";

} // namespace

class TestSidebarChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        setRevealHandler({});
        t::settle();
    }

    void listing_data();
    void listing();
    void choosing_data();
    void choosing();
    void menusAndOpenFile();
};

void TestSidebarChanges::listing_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("git");
    QTest::addColumn<QStringList>("favorites");
    QTest::addColumn<QStringList>("expected");  // "" alone: the clean view
    QTest::addColumn<bool>("notRepoShown");
    QTest::addColumn<bool>("refreshFailed");

    QTest::addRow("clean") << "echo a > a.txt; git add -A; git commit -qm c" << true << QStringList{}
                           << QStringList{""} << false << false;
    QTest::addRow("no git, no favorites") << "echo a > a.txt" << false << QStringList{} << QStringList{""} << true
                                          << false;
    QTest::addRow("git cannot read its index: not claimed clean")
        << "echo a > a.txt; git add -A; git commit -qm c; echo b > b.txt; printf 'not an index' > .git/index" << true
        << QStringList{} << QStringList{""} << false << true;
    QTest::addRow("favorites sorted by path, each with its status")
        << "echo a > a.txt; mkdir z; echo z > z/z.txt; git add -A; git commit -qm c; echo more >> z/z.txt"
        << true << QStringList{"z/z.txt", "a.txt"}
        << QStringList{"# Favorites", "a.txt [Clean]", "z/z.txt [Modified]", "# Changes", "z/z.txt [Modified]"}
        << false << false;
    QTest::addRow("merge conflict, rename, deletion, untracked, in git's order")
        << changedRepository << true << QStringList{"new.txt"}
        << QStringList{"# Favorites", "new.txt [Renamed]", "# Changes", "a.txt [Conflict]", "gone.txt [Deleted]",
                       "old.txt -> new.txt [Renamed]", "c.txt [Untracked]"}
        << false << false;
}

void TestSidebarChanges::listing()
{
    QFETCH(QString, script);
    QFETCH(bool, git);
    QFETCH(QStringList, favorites);
    QFETCH(QStringList, expected);
    QFETCH(bool, notRepoShown);
    QFETCH(bool, refreshFailed);
    t::SidebarFixture f(script, git);
    QSet<QString> paths;
    for (const QString &favorite : favorites) {
        paths.insert(f.path(favorite));
    }
    f.state->setFavorites(paths);
    f.sidebar->setSelectedTab(SidebarTab::gitStatus);
    t::settle();
    GitChangesView *view = f.sidebar->changesView();
    const bool clean = expected == QStringList{""};
    QCOMPARE(view->cleanView()->isVisible(), clean);
    QCOMPARE(view->listView()->isVisible(), !clean);
    QCOMPARE(view->refreshErrorLabel()->isVisible(), refreshFailed);
    QCOMPARE(view->refreshErrorLabel()->text().startsWith("Git status could not be refreshed"), refreshFailed);
    if (clean) {
        QStringList texts;
        for (QLabel *text : view->cleanView()->findChildren<QLabel *>()) {
            if (text->isVisible() && !text->text().isEmpty()) {
                texts.append(text->text());
            }
        }
        texts.sort();
        const QStringList shown = refreshFailed ? QStringList{}
                                  : notRepoShown ? QStringList{"Not a git repository", "Working tree clean"}
                                                 : QStringList{"Working tree clean"};
        QCOMPARE(texts, shown);
    } else {
        QCOMPARE(rows(view), expected);
    }
}

void TestSidebarChanges::choosing_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("opened");  // "" when nothing opens

    QTest::addRow("conflicted file") << "a.txt" << "a.txt";
    QTest::addRow("rename opens the file that exists now") << "old.txt -> new.txt" << "new.txt";
    QTest::addRow("deleted file opens nothing") << "gone.txt" << "";
    QTest::addRow("untracked file") << "c.txt" << "c.txt";
    QTest::addRow("favorite") << "keep.txt" << "keep.txt";
}

void TestSidebarChanges::choosing()
{
    QFETCH(QString, row);
    QFETCH(QString, opened);
    t::SidebarFixture f(changedRepository);
    f.state->setFavorites({f.path("keep.txt")});
    f.sidebar->setSelectedTab(SidebarTab::gitStatus);
    t::settle();
    GitChangesView *view = f.sidebar->changesView();
    const QModelIndex index = rowShowing(view, row);
    QVERIFY(index.isValid());
    QTest::mouseClick(view->listView()->viewport(), Qt::LeftButton, {}, view->listView()->visualRect(index).center());
    t::settle();
    QCOMPARE(f.openFile(), opened);
    QVERIFY(!f.state->editor()->openError());
}

// Row menus, and the list keeping the open file's row in view and selected.
void TestSidebarChanges::menusAndOpenFile()
{
    QString script = "for i in $(seq 10 70); do echo x > f$i.txt; done; git add -A; git commit -qm c;"
                     "for i in $(seq 10 70); do echo y >> f$i.txt; done";
    t::SidebarFixture f(script);
    f.sidebar->resize(320, 300);
    f.sidebar->setSelectedTab(SidebarTab::gitStatus);
    t::settle();
    GitChangesView *view = f.sidebar->changesView();
    QCOMPARE(t::entryTexts(view->contextMenuFor(rowShowing(view, "f10.txt"))),
             (QStringList{"Open in New Window", "Add to Favorites", "Show in File Manager"}));
    QVERIFY(!view->contextMenuFor(view->listView()->model()->index(0, 0)));  // the header
    QVERIFY(t::trigger(view->contextMenuFor(rowShowing(view, "f10.txt")), "Add to Favorites"));
    t::settle();
    QCOMPARE(rows(view).mid(0, 3), (QStringList{"# Favorites", "f10.txt [Modified]", "# Changes"}));
    QCOMPARE(Preferences::instance().stringListValue(RepositoryState::favoritesKey(f.repo)),
             QStringList{f.path("f10.txt")});
    QStringList revealed;
    setRevealHandler([&](const QString &path) { revealed.append(path); });
    QVERIFY(t::trigger(view->contextMenuFor(rowShowing(view, "f10.txt")), "Show in File Manager"));
    QCOMPARE(revealed, QStringList{f.path("f10.txt")});
    QVERIFY(t::trigger(view->contextMenuFor(rowShowing(view, "f11.txt")), "Open in New Window"));
    std::unique_ptr<StandaloneEditorWindow> window(standaloneWindow(f.path("f11.txt")));
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->editor()->currentFilePath(), f.path("f11.txt"));
    QCOMPARE(f.openFile(), QString());  // the tab's editor is left alone
    QVERIFY(t::trigger(view->contextMenuFor(rowShowing(view, "f10.txt")), "Remove from Favorites"));
    t::settle();
    QCOMPARE(rows(view).first(), "# Changes");

    f.sidebar->selectFile(f.path("f65.txt"));
    t::settle();
    const QModelIndex current = view->listView()->currentIndex();
    QCOMPARE(current.data(ChangesListModel::RowIdRole).toString(), "change-f65.txt");
    QVERIFY(view->listView()->viewport()->rect().contains(view->listView()->visualRect(current)));
}

QTEST_MAIN(TestSidebarChanges)
#include "tst_sidebar_changes.moc"
