#include "editor/ui/symbol_icons.h"
#include "platform/ui/file_manager.h"
#include "sidebar_test_util.h"
#include "workspace/file_operations.h"
#include "workspace/ui/file_tree_view.h"
#include "workspace/ui/new_item_dialog.h"

#include <QDesktopServices>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>

using namespace vesk;
namespace t = vesk::test;

namespace {

// Everything below `dir` but .git, sorted, folders with "/".
QStringList listing(const QString &dir)
{
    QStringList paths;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString relative = QDir(dir).relativeFilePath(it.filePath());
        if (relative != ".git" && !relative.startsWith(".git/")) {
            paths.append(relative + (it.fileInfo().isDir() && !it.fileInfo().isSymLink() ? "/" : ""));
        }
    }
    paths.sort();
    return paths;
}

QStringList relativeFavorites(const t::SidebarFixture &f)
{
    QStringList list;
    for (const QString &path : f.state->favorites()) {
        list.append(QString(path).remove(f.repo + u'/'));
    }
    list.sort();
    return list;
}

QMessageBox *messageShown(QWidget *sidebar)
{
    for (QMessageBox *box : sidebar->findChildren<QMessageBox *>(QStringLiteral("sidebarMessage"))) {
        if (box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace

class TestSidebarFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        // The trash lives in the home's data folder; both are private to this test.
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QDir().mkpath(m_home.filePath("data"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath("data")));
    }
    void cleanup()
    {
        setRevealHandler({});
        setShowItemsCall({});
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath("data")));
        t::settle();
    }

    void fileOperations_data();
    void fileOperations();
    void createThroughDialog_data();
    void createThroughDialog();
    void rename_data();
    void rename();
    void deleteFile_data();
    void deleteFile();
    void dotFileSetting();
    void expansionSurvivesRefresh();
    void expandToCurrentFile();
    void mouseAndKeys();
    void menus();
    void reveal_data();
    void reveal();
};

void TestSidebarFiles::fileOperations_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("operation");  // file, folder, rename, trash
    QTest::addColumn<QString>("target");     // the folder to create in, or the item
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");  // part of the refusal; "" for success, "-" for a silent no
    QTest::addColumn<QStringList>("after");

    QTest::addRow("file next to an existing file") << "echo hi > a.txt" << "file" << "" << "a.txt"
                                                   << "already exists" << QStringList{"a.txt"};
    QTest::addRow("name trimmed of white space and line breaks")
        << "" << "file" << "" << " \t b.txt\n" << "" << QStringList{"b.txt"};
    QTest::addRow("name with a slash") << "mkdir sub" << "file" << "" << "sub/c.txt" << "cannot contain"
                                       << QStringList{"sub/"};
    QTest::addRow("folder named ..") << "" << "folder" << "" << ".." << "cannot be used" << QStringList{};
    QTest::addRow("folder leading outside through a link")
        << "mkdir ../outside && ln -s ../outside out" << "file" << "out" << "x.txt" << "outside the repository"
        << QStringList{"out"};
    QTest::addRow("folder next to an existing folder")
        << "mkdir lib" << "folder" << "" << "lib" << "already exists" << QStringList{"lib/"};
    QTest::addRow("rename onto an existing name") << "echo a > a.txt; echo b > b.txt" << "rename" << "a.txt"
                                                  << "b.txt" << "already exists" << QStringList{"a.txt", "b.txt"};
    QTest::addRow("rename onto a dangling link") << "echo a > a.txt; ln -s nowhere b.txt" << "rename" << "a.txt"
                                                 << "b.txt" << "already exists" << QStringList{"a.txt", "b.txt"};
    QTest::addRow("rename to the same name") << "echo a > a.txt" << "rename" << "a.txt" << " a.txt " << "-"
                                             << QStringList{"a.txt"};
    QTest::addRow("rename out of its folder") << "echo a > a.txt" << "rename" << "a.txt" << "../a.txt"
                                              << "cannot contain" << QStringList{"a.txt"};
    QTest::addRow("rename a folder") << "mkdir d; echo x > d/x" << "rename" << "d" << "e" << ""
                                     << QStringList{"e/", "e/x"};
    QTest::addRow("trash a file") << "echo a > a.txt; echo b > b.txt" << "trash" << "a.txt" << "" << ""
                                  << QStringList{"b.txt"};
    QTest::addRow("trash through a link leading outside")
        << "mkdir ../outside && echo o > ../outside/f && ln -s ../outside out" << "trash" << "out/f" << ""
        << "outside the repository" << QStringList{"out"};
}

// Each operation stays inside the repository, never replaces anything, and says why it refused.
void TestSidebarFiles::fileOperations()
{
    QFETCH(QString, script);
    QFETCH(QString, operation);
    QFETCH(QString, target);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QFETCH(QStringList, after);
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("data"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    const QString repo = dir.filePath("repo");
    QDir().mkpath(repo);
    bool ok = false;
    t::run("/bin/sh", {"-ec", script}, repo, &ok);
    QVERIFY(ok);
    const QStringList contentBefore = [&] {
        QStringList contents;
        for (const QString &entry : listing(repo)) {
            contents.append(QString::fromUtf8(t::readFile(repo + u'/' + entry)));
        }
        return contents;
    }();

    const QString targetPath = target.isEmpty() ? repo : repo + u'/' + target;
    FileOperationResult result;
    if (operation == "file") {
        result = FileOperations::createFile(repo, targetPath, name);
    } else if (operation == "folder") {
        result = FileOperations::createFolder(repo, targetPath, name);
    } else if (operation == "rename") {
        result = FileOperations::renameItem(repo, targetPath, name);
    } else {
        result = FileOperations::moveToTrash(repo, targetPath);
    }
    QCOMPARE(result.ok, message.isEmpty());
    if (message == "-") {
        QCOMPARE(result.message, QString());
    } else {
        QVERIFY2(result.message.contains(message), qPrintable(result.message));
    }
    QCOMPARE(listing(repo), after);
    if (!result.ok) {
        QStringList contents;
        for (const QString &entry : listing(repo)) {
            contents.append(QString::fromUtf8(t::readFile(repo + u'/' + entry)));
        }
        QCOMPARE(contents, contentBefore);
    }
    QCOMPARE(QDir(dir.filePath("outside")).entryList(QDir::Files), QDir(dir.filePath("outside")).exists() && script.contains("outside/f") ? QStringList{"f"} : QStringList{});
    if (operation == "trash" && result.ok) {
        QVERIFY(QFileInfo::exists(dir.filePath("data/Trash/files/") + QFileInfo(target).fileName()));
        QVERIFY(QFileInfo::exists(dir.filePath("data/Trash/info/") + QFileInfo(target).fileName() + ".trashinfo"));
    }
}

void TestSidebarFiles::createThroughDialog_data()
{
    QTest::addColumn<QString>("row");    // whose menu is used
    QTest::addColumn<QString>("entry");  // "New File" or "New Folder"
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("problem");  // shown in the dialog, which stays open; "" when it closes
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("opened");

    QTest::addRow("file next to a file opens it") << "a.txt" << "New File" << "b.txt" << "" << "b.txt" << "b.txt";
    QTest::addRow("file in a folder") << "sub" << "New File" << "c.md" << "" << "sub/c.md" << "sub/c.md";
    QTest::addRow("existing name") << "a.txt" << "New File" << "a.txt" << "already exists" << "" << "";
    QTest::addRow("hostile name") << "sub" << "New File" << "../../evil.txt" << "cannot contain" << "" << "";
    QTest::addRow("folder named ..") << "a.txt" << "New Folder" << ".." << "cannot be used" << "" << "";
    QTest::addRow("new folder") << "sub" << "New Folder" << " lib " << "" << "sub/lib/" << "";
    QTest::addRow("blank name cannot be submitted") << "a.txt" << "New File" << "  " << "" << "" << "";
}

void TestSidebarFiles::createThroughDialog()
{
    QFETCH(QString, row);
    QFETCH(QString, entry);
    QFETCH(QString, typed);
    QFETCH(QString, problem);
    QFETCH(QString, created);
    QFETCH(QString, opened);
    t::SidebarFixture f("echo hi > a.txt; mkdir sub");
    FileTreeView *tree = f.sidebar->fileTree();
    const QStringList before = listing(f.repo);
    QVERIFY(t::trigger(tree->contextMenuFor(tree->model()->indexForPath(f.path(row))), entry));
    QPointer<NewItemDialog> dialog = f.sidebar->findChild<NewItemDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), entry);
    QCOMPARE(dialog->nameField()->placeholderText(), entry == "New File" ? "Filename" : "Folder name");
    QVERIFY(dialog->findChild<QLabel *>("message")->text().startsWith("Enter a name for the new "));
    QTest::keyClicks(dialog->nameField(), typed);
    QCOMPARE(dialog->createButton()->isEnabled(), !typed.trimmed().isEmpty());
    QTest::mouseClick(dialog->createButton(), Qt::LeftButton);
    t::settle();

    QCOMPARE(!dialog.isNull() && dialog->isVisible(), !problem.isEmpty() || typed.trimmed().isEmpty());
    if (!problem.isEmpty()) {
        QVERIFY(dialog->problemLabel()->isVisible());
        QVERIFY2(dialog->problemLabel()->text().contains(problem), qPrintable(dialog->problemLabel()->text()));
    }
    QStringList expected = before;
    if (!created.isEmpty()) {
        expected.append(created);
        expected.sort();
    }
    QCOMPARE(listing(f.repo), expected);
    QCOMPARE(t::readFile(f.path("a.txt")), QByteArray("hi\n"));
    QVERIFY(!QFileInfo::exists(f.dir.filePath("evil.txt")));
    QCOMPARE(f.openFile(), opened);
    if (!created.isEmpty()) {
        // The new item shows in the refreshed tree, its folder opened.
        QVERIFY(t::visibleRows(*tree->treeView()).join(',').contains(QFileInfo(f.path(created)).fileName()));
    }
    if (dialog) {
        dialog->reject();
    }
}

void TestSidebarFiles::rename_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("openBefore");
    QTest::addColumn<QString>("problem");  // said in a message; "" when renamed or silently nothing
    QTest::addColumn<QStringList>("favoritesAfter");
    QTest::addColumn<QString>("openAfter");
    QTest::addColumn<QStringList>("listingAfter");

    const QStringList untouched{"a.txt", "b.txt", "d/", "d/x.txt"};
    QTest::addRow("favorite and open file follow") << "a.txt" << "c.txt" << "a.txt" << ""
                                                   << QStringList{"c.txt", "d/x.txt"} << "c.txt"
                                                   << QStringList{"b.txt", "c.txt", "d/", "d/x.txt"};
    QTest::addRow("onto an existing name") << "a.txt" << "b.txt" << "a.txt" << "already exists"
                                           << QStringList{"a.txt", "d/x.txt"} << "a.txt" << untouched;
    QTest::addRow("same name") << "a.txt" << "a.txt" << "a.txt" << "" << QStringList{"a.txt", "d/x.txt"} << "a.txt"
                               << untouched;
    QTest::addRow("folder with a favorite and the open file inside")
        << "d" << "e" << "d/x.txt" << "" << QStringList{"a.txt", "e/x.txt"} << "e/x.txt"
        << QStringList{"a.txt", "b.txt", "e/", "e/x.txt"};
    QTest::addRow("hostile name") << "b.txt" << "../b.txt" << "a.txt" << "cannot contain"
                                  << QStringList{"a.txt", "d/x.txt"} << "a.txt" << untouched;
}

// The row turns into a field; Return commits the typed name.
void TestSidebarFiles::rename()
{
    QFETCH(QString, target);
    QFETCH(QString, typed);
    QFETCH(QString, openBefore);
    QFETCH(QString, problem);
    QFETCH(QStringList, favoritesAfter);
    QFETCH(QString, openAfter);
    QFETCH(QStringList, listingAfter);
    t::SidebarFixture f("echo a > a.txt; echo b > b.txt; mkdir d; echo x > d/x.txt");
    f.state->setFavorites({f.path("a.txt"), f.path("d/x.txt")});
    f.state->saveFavorites();
    f.sidebar->selectFile(f.path(openBefore));
    f.state->editor()->insertAtCursors("edited ");  // unsaved edits travel with the file
    t::settle();

    FileTreeView *tree = f.sidebar->fileTree();
    QVERIFY(t::trigger(tree->contextMenuFor(tree->model()->indexForPath(f.path(target))), "Rename…"));
    auto *field = tree->findChild<QLineEdit *>("renameField");
    QVERIFY(field && field->isVisible());
    QCOMPARE(field->text(), target);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, typed);
    QTest::keyClick(field, Qt::Key_Return);
    t::settle();

    QCOMPARE(listing(f.repo), listingAfter);
    QCOMPARE(relativeFavorites(f), favoritesAfter);
    QCOMPARE(Preferences::instance().stringListValue(RepositoryState::favoritesKey(f.repo)).size(), 2);
    QCOMPARE(f.openFile(), openAfter);
    QVERIFY(f.state->editor()->hasUnsavedEdits() || t::readFile(f.path(openAfter)).startsWith("edited "));
    QMessageBox *box = messageShown(f.sidebar.get());
    QCOMPARE(box != nullptr, !problem.isEmpty());
    if (box) {
        QVERIFY2(box->text().contains(problem), qPrintable(box->text()));
        box->close();
    }
    // The tree shows the disk as it is now.
    QStringList top;
    for (const QString &row : t::visibleRows(*tree->treeView())) {
        if (!row.startsWith(' ')) {
            top.append(row);
        }
    }
    QStringList expectedTop;
    for (const QString &entry : listingAfter) {
        if (!entry.chopped(1).contains('/')) {
            expectedTop.append(entry);
        }
    }
    std::sort(expectedTop.begin(), expectedTop.end(), [](const QString &a, const QString &b) {
        return a.endsWith('/') != b.endsWith('/') ? a.endsWith('/') : a < b;
    });
    QCOMPARE(top, expectedTop);
}

void TestSidebarFiles::deleteFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("trashAvailable");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<QString>("openAfter");
    QTest::addColumn<QStringList>("favoritesAfter");

    QTest::addRow("the open favorite file") << "a.txt" << true << true << "" << QStringList{};
    QTest::addRow("another file") << "b.txt" << true << true << "a.txt" << QStringList{"a.txt"};
    QTest::addRow("no trash: nothing deleted") << "a.txt" << false << false << "a.txt" << QStringList{"a.txt"};
}

void TestSidebarFiles::deleteFile()
{
    QFETCH(QString, target);
    QFETCH(bool, trashAvailable);
    QFETCH(bool, deleted);
    QFETCH(QString, openAfter);
    QFETCH(QStringList, favoritesAfter);
    t::SidebarFixture f("echo a > a.txt; echo b > b.txt");
    // Without a trash folder that can be made, the desktop has no trash for this disk.
    t::writeFile(f.dir.path(), "blocker", "");
    QDir().mkpath(f.dir.filePath("data"));
    const QString dataHome = f.dir.filePath(trashAvailable ? "data" : "blocker/data");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
    f.state->setFavorites({f.path("a.txt")});
    f.sidebar->selectFile(f.path("a.txt"));
    t::settle();

    FileTreeView *tree = f.sidebar->fileTree();
    QVERIFY(t::trigger(tree->contextMenuFor(tree->model()->indexForPath(f.path(target))), "Delete File"));
    auto *box = f.sidebar->findChild<QMessageBox *>("deleteConfirm");
    QVERIFY(box && box->isVisible());
    QCOMPARE(box->windowTitle(), "Delete File");
    QCOMPARE(box->text(), QString("Are you sure you want to delete \"%1\"? This cannot be undone.").arg(target));
    QTest::mouseClick(t::button(box, "Delete"), Qt::LeftButton);
    t::settle();

    QCOMPARE(QFileInfo::exists(f.path(target)), !deleted);
    QVERIFY(!QFileInfo::exists(QDir::current().filePath("files/" + target)));  // nothing put aside elsewhere
    QCOMPARE(QFileInfo::exists(dataHome + "/Trash/files/" + target), deleted);
    QCOMPARE(f.openFile(), openAfter);
    if (openAfter.isEmpty()) {
        QCOMPARE(f.state->editor()->currentFileName(), "Untitled");
        QCOMPARE(f.state->editor()->document()->lineCount(), 1);
    }
    QCOMPARE(relativeFavorites(f), favoritesAfter);
    QMessageBox *message = messageShown(f.sidebar.get());
    QCOMPARE(message != nullptr, !deleted);
    if (message) {
        QVERIFY2(message->text().contains("could not be moved to the Trash"), qPrintable(message->text()));
        message->close();
    }
    QCOMPARE(tree->model()->indexForPath(f.path(target)).isValid(), !deleted);
}

// Turning the setting on shows hidden entries once the refresh it starts is done, and off again.
void TestSidebarFiles::dotFileSetting()
{
    t::SidebarFixture f("touch .gitignore a.txt; mkdir .github");
    QTreeView *view = f.sidebar->fileTree()->treeView();
    QCOMPARE(t::visibleRows(*view), QStringList{"a.txt"});
    Preferences::instance().setValue("showDotFiles", true);
    t::settle();
    QCOMPARE(t::visibleRows(*view), (QStringList{".git/", ".github/", ".gitignore", "a.txt"}));
    Preferences::instance().setValue("showDotFiles", false);
    t::settle();
    QCOMPARE(t::visibleRows(*view), QStringList{"a.txt"});
}

// Open folders, the selected row and the scroll position stay across a refresh that brings
// new entries.
void TestSidebarFiles::expansionSurvivesRefresh()
{
    t::SidebarFixture f("for d in a b c; do mkdir $d; for i in $(seq 10 40); do touch $d/f$i.txt; done; done;"
                        "mkdir a/inner; touch a/inner/deep.txt");
    FileTreeView *tree = f.sidebar->fileTree();
    QTreeView *view = tree->treeView();
    for (const char *folder : {"a", "a/inner", "c"}) {
        const QModelIndex index = tree->model()->indexForPath(f.path(QString::fromLatin1(folder)));
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }
    QCOMPARE(tree->expandedDirs(), (QSet<QString>{f.path("a"), f.path("a/inner"), f.path("c")}));
    f.sidebar->selectFile(f.path("c/f20.txt"));  // selects its row
    t::settle();
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() - 3);
    const int scroll = view->verticalScrollBar()->value();
    QVERIFY(scroll > 0);
    QStringList rows = t::visibleRows(*view);

    t::writeFile(f.repo, "c/f99.txt", "");
    t::writeFile(f.repo, "b/new.txt", "");
    f.refresh();
    rows.insert(rows.indexOf("  f40.txt", rows.indexOf("c/")) + 1, "  f99.txt");
    QCOMPARE(t::visibleRows(*view), rows);
    QCOMPARE(view->currentIndex().data(FileTreeModel::PathRole).toString(), f.path("c/f20.txt"));
    QCOMPARE(view->verticalScrollBar()->value(), scroll);
}

void TestSidebarFiles::expandToCurrentFile()
{
    t::SidebarFixture f("mkdir -p x/y/z w; touch x/y/z/deep.txt w/other.txt");
    FileTreeView *tree = f.sidebar->fileTree();
    f.state->editor()->openFile(f.dir.filePath("prefs.ini"));  // outside the repository: nothing opens
    t::settle();
    QCOMPARE(tree->expandedDirs(), QSet<QString>{});
    f.state->editor()->openFile(f.path("x/y/z/deep.txt"));
    t::settle();
    QCOMPARE(tree->expandedDirs(), (QSet<QString>{f.path("x"), f.path("x/y"), f.path("x/y/z")}));
    QCOMPARE(t::visibleRows(*tree->treeView()), (QStringList{"w/", "x/", "  y/", "    z/", "      deep.txt"}));
    QCOMPARE(tree->treeView()->currentIndex().data(FileTreeModel::PathRole).toString(), f.path("x/y/z/deep.txt"));

    // A file made outside and opened before the tree lists it is selected once the tree has it.
    t::writeFile(f.repo, "late/new.txt", "");
    f.state->editor()->openFile(f.path("late/new.txt"));
    t::settle();
    f.refresh();
    QCOMPARE(tree->treeView()->currentIndex().data(FileTreeModel::PathRole).toString(), f.path("late/new.txt"));
    QVERIFY(t::visibleRows(*tree->treeView()).contains("  new.txt"));
}

// A folder click opens and closes it, a file click opens the file; arrows, Return and typing
// work as in any tree; rows drag out as file URLs.
void TestSidebarFiles::mouseAndKeys()
{
    t::SidebarFixture f("mkdir src; touch src/main.c apple.txt banana.txt");
    FileTreeView *tree = f.sidebar->fileTree();
    QTreeView *view = tree->treeView();
    const QModelIndex src = tree->model()->indexForPath(f.path("src"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(src).center());
    QCOMPARE(t::visibleRows(*view), (QStringList{"src/", "  main.c", "apple.txt", "banana.txt"}));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(src).center());
    QCOMPARE(t::visibleRows(*view), (QStringList{"src/", "apple.txt", "banana.txt"}));

    view->setFocus();
    view->setCurrentIndex(src);
    QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(tree->expandedDirs(), QSet<QString>{f.path("src")});
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(f.openFile(), "src/main.c");
    QTest::keyClicks(view, "ba");
    QCOMPARE(view->currentIndex().data().toString(), "banana.txt");
    QTest::keyClick(view, Qt::Key_Enter);
    QCOMPARE(f.openFile(), "banana.txt");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(tree->model()->indexForPath(f.path("apple.txt"))).center());
    QCOMPARE(f.openFile(), "apple.txt");

    std::unique_ptr<QMimeData> mime(tree->model()->mimeData({tree->model()->indexForPath(f.path("src/main.c"))}));
    QCOMPARE(mime->urls(), QList<QUrl>{QUrl::fromLocalFile(f.path("src/main.c"))});
    QVERIFY(view->dragEnabled());
    QCOMPARE(tree->model()->flags(src) & Qt::ItemIsDragEnabled, Qt::ItemIsDragEnabled);
}

// The entries of the row menus, favorites through them, and the symbols they draw.
void TestSidebarFiles::menus()
{
    t::SidebarFixture f("mkdir src; touch src/main.c");
    FileTreeView *tree = f.sidebar->fileTree();
    const QModelIndex file = tree->model()->indexForPath(f.path("src/main.c"));
    const QModelIndex folder = tree->model()->indexForPath(f.path("src"));
    QCOMPARE(t::entryTexts(tree->contextMenuFor(file)),
             (QStringList{"Open in New Window", "Add to Favorites", "Show in File Manager", "New File", "New Folder",
                          "Rename…", "Delete File"}));
    QCOMPARE(t::entryTexts(tree->contextMenuFor(folder)),
             (QStringList{"Show in File Manager", "New File", "New Folder", "Rename…"}));
    QVERIFY(t::trigger(tree->contextMenuFor(file), "Add to Favorites"));
    t::settle();
    QVERIFY(tree->model()->indexForPath(f.path("src/main.c")).data(FileTreeModel::FavoriteRole).toBool());
    QCOMPARE(Preferences::instance().stringListValue(RepositoryState::favoritesKey(f.repo)),
             QStringList{f.path("src/main.c")});
    QCOMPARE(t::entryTexts(tree->contextMenuFor(tree->model()->indexForPath(f.path("src/main.c")))).at(1),
             "Remove from Favorites");
    QVERIFY(t::trigger(tree->contextMenuFor(tree->model()->indexForPath(f.path("src/main.c"))),
                       "Remove from Favorites"));
    QCOMPARE(f.state->favorites(), QSet<QString>{});

    QStringList revealed;
    setRevealHandler([&](const QString &path) { revealed.append(path); });
    QVERIFY(t::trigger(tree->contextMenuFor(tree->model()->indexForPath(f.path("src"))), "Show in File Manager"));
    QCOMPARE(revealed, QStringList{f.path("src")});

    for (const char *name : {"chevron.down", "chevron.right", "star.fill", "star", "macwindow.badge.plus",
                             "doc.badge.plus", "folder.badge.plus", "pencil", "trash", "magnifyingglass",
                             "clock.arrow.circlepath", "checkmark.circle", "xmark.circle.fill"}) {
        QVERIFY2(!symbolIcon(name, Qt::black).pixmap(16, 16).toImage().isNull(), name);
    }
}

void TestSidebarFiles::reveal_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fileManagerAnswers");
    QTest::addColumn<QString>("uri");  // under the folder's URL

    QTest::addRow("file manager shows the item") << "notes.txt" << true << "/notes.txt";
    QTest::addRow("name that needs escaping") << "a b#%.txt" << true << "/a%20b%23%25.txt";
    QTest::addRow("no file manager: the folder opens") << "notes.txt" << false << "/notes.txt";
}

// Linux asks the desktop's file manager over D-Bus; without one the containing folder opens.
void TestSidebarFiles::reveal()
{
    QFETCH(QString, name);
    QFETCH(bool, fileManagerAnswers);
    QFETCH(QString, uri);
    QTemporaryDir dir;
    const QString path = t::writeFile(dir.path(), "sub/" + name, "");
    QList<QStringList> calls;
    setShowItemsCall([&](const QStringList &uris, std::function<void(bool)> done) {
        calls.append(uris);
        done(fileManagerAnswers);
    });
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    revealInFileManager(path);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(calls, QList<QStringList>{{QUrl::fromLocalFile(dir.filePath("sub")).toString() + uri}});
    QCOMPARE(catcher.urls, fileManagerAnswers ? QList<QUrl>{} : QList<QUrl>{QUrl::fromLocalFile(dir.filePath("sub"))});
    QCOMPARE(revealInFileManagerTitle(), "Show in File Manager");
}

QTEST_MAIN(TestSidebarFiles)
#include "tst_sidebar_files.moc"
