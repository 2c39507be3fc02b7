#include "editor/editor_view_model.h"
#include "editor/ui/key_translation.h"
#include "platform/background.h"
#include "platform/file_time.h"
#include "platform/preferences.h"
#include "platform/tool_paths.h"
#include "test_support.h"
#include "workspace/app_state.h"
#include "workspace/key_hook.h"
#include "workspace/repository_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

using namespace vesk;
namespace t = vesk::test;

namespace {

// The tab names in order, "*" marking the active one: "a *b c".
QString layout(const AppState &app)
{
    QStringList names;
    for (const RepositoryTab &tab : app.tabs()) {
        names.append((tab.id == app.activeTabId() ? "*" : "") + tab.name);
    }
    return names.join(' ');
}

// The open tab called `name`, else a tab that is gone.
RepositoryTab tabNamed(const AppState &app, const QString &name)
{
    for (const RepositoryTab &tab : app.tabs()) {
        if (tab.name == name) {
            return tab;
        }
    }
    return RepositoryTab::forPath(name);
}

std::unique_ptr<AppState> restoredApp()
{
    auto app = std::make_unique<AppState>();
    [&] { QTRY_VERIFY(app->hasRestored()); }();
    return app;
}

// Every caret of an editor as "line:column", or "" when it shows no file.
QString carets(const EditorViewModel &editor)
{
    QStringList list;
    for (const TextCursor &cursor : editor.cursors()) {
        list.append(QStringLiteral("%1:%2").arg(cursor.line).arg(cursor.column));
    }
    return editor.currentFilePath() ? list.join(' ') : QString();
}

class MemoryClipboard : public TextClipboard
{
public:
    std::optional<QString> text;
    std::optional<QString> plainText() const override { return text; }
    void setPlainText(const QString &value) override { text = value; }
};

enum class Origin { MainWindow, StandaloneWindow, ClosedStandaloneWindow, NoAppState, NoActiveTab };

QString base64(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

} // namespace

Q_DECLARE_METATYPE(Origin)

class TestAppState : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    // Ten lines "line 0" ... "line 9" in repos/<name>/f.txt, each repository committed.
    QString repo(const QString &name)
    {
        const QString dir = path("repos/" + name);
        t::initGitRepo(dir);
        QByteArray text;
        for (int i = 0; i < 10; ++i) {
            text += "line " + QByteArray::number(i) + (i < 9 ? "\n" : "");
        }
        t::writeFile(dir, "f.txt", text);
        t::commitAll(dir);
        return dir;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        Preferences::useFile(path("prefs.ini"));
    }
    void cleanup()
    {
        waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
    }

    void openFromOutside_data()
    {
        QTest::addColumn<QString>("target");  // a folder opened as a repository, or ">" and what is handed over
        QTest::addColumn<QString>("tabs");
        QTest::addColumn<QString>("file");  // open in the active tab afterwards
        QTest::addRow("same folder again") << "repos/outer" << "*outer" << "";
        QTest::addRow("new folder, trailing slash") << "repos/other/" << "outer *other" << "";
        QTest::addRow("same folder, trailing slash") << "repos/outer/" << "*outer" << "";
        QTest::addRow("same folder, dot segments") << "repos/outer/../outer/." << "*outer" << "";
        QTest::addRow("same folder through a link") << "linked" << "*outer" << "";
        QTest::addRow("file in the open repository") << ">repos/outer/src/a.txt" << "*outer" << "repos/outer/src/a.txt";
        QTest::addRow("file in a nested repository") << ">repos/outer/in/n.txt" << "*outer" << "repos/outer/in/n.txt";
        QTest::addRow("link to a file inside") << ">link.txt" << "*outer" << "repos/outer/src/a.txt";
        QTest::addRow("file in no repository") << ">plain/p.txt" << "outer *plain" << "plain/p.txt";
        QTest::addRow("file deep in another repository") << ">repos/other/sub/o.txt" << "outer *other"
                                                         << "repos/other/sub/o.txt";
        QTest::addRow("folder in another repository") << ">repos/other/sub" << "outer *other" << "";
        QTest::addRow("nothing there") << ">repos/outer/missing.txt" << "*outer" << "";
    }
    void openFromOutside()
    {
        QFETCH(QString, target);
        QFETCH(QString, file);
        repo("outer");
        repo("other");
        t::run("/bin/sh", {"-ec", "cd repos; mkdir -p outer/src outer/in other/sub ../plain; git init -q outer/in; "
                                  "touch outer/src/a.txt outer/in/n.txt other/sub/o.txt ../plain/p.txt; "
                                  "ln -s repos/outer/src/a.txt ../link.txt; ln -s repos/outer ../linked"},
               m_dir->path());

        auto app = restoredApp();
        app->openRepository(path("repos/outer"));
        target.startsWith(u'>') ? app->openFileFromFinder(path(target.mid(1))) : app->openRepository(path(target));
        QTRY_VERIFY(!app->isOpening());
        QTEST(layout(*app), "tabs");
        const QString opened = file.isEmpty() ? QString() : path(file);
        QCOMPARE(app->activeTabState()->editor()->currentFilePath().value_or(QString()), opened);
        QCOMPARE(app->recentFiles(), opened.isEmpty() ? QStringList() : QStringList{opened});
        QCOMPARE(Preferences::instance().stringValue("activeRepoPath"), app->activeTab()->path);
    }

    void closeMoveAndSwitchTabs_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("action");  // "close x", or "move x y": x to where y stands
        QTest::addColumn<QString>("after");
        QTest::addRow("close the active first of three") << "*a b c" << "close a" << "b *c";
        QTest::addRow("close the active middle of three") << "a *b c" << "close b" << "a *c";
        QTest::addRow("close an inactive tab") << "*a b c" << "close c" << "*a b";
        QTest::addRow("move first onto third") << "*a b c" << "move a c" << "b c *a";
        QTest::addRow("move third onto first") << "*a b c" << "move c a" << "c *a b";
        QTest::addRow("move second onto third") << "*a b c" << "move b c" << "*a c b";
        QTest::addRow("move onto a closed tab") << "*a b c" << "move a gone" << "*a b c";
    }
    void closeMoveAndSwitchTabs()
    {
        QFETCH(QString, before);
        QFETCH(QString, action);
        QFETCH(QString, after);
        auto app = restoredApp();
        for (const char *name : {"a", "b", "c"}) {
            app->openRepository(repo(name));
        }
        app->setActiveTabId(tabNamed(*app, before.section('*', 1).left(1)).id);
        QCOMPARE(layout(*app), before);
        const QStringList words = action.split(' ');
        const RepositoryTab tab = tabNamed(*app, words[1]);
        if (words[0] == u"close") {
            app->closeTab(tab);
            QVERIFY(!app->tabState(tab.id));
        } else {
            app->moveTab(tab.id, tabNamed(*app, words[2]).id);
        }
        QCOMPARE(layout(*app), after);

        const QStringList order = after.split(' ').replaceInStrings("*", "");
        app->setActiveTabId(app->tabs().last().id);
        app->selectNextTab();
        QCOMPARE(app->activeTab()->name, order.last());  // no wrap-around
        for (int i = 0; i < 3; ++i) {
            app->selectPreviousTab();
        }
        QCOMPARE(app->activeTab()->name, order.first());
    }

    void recentFiles()
    {
        auto app = restoredApp();
        QStringList expected;
        for (int i = 0; i < 16; ++i) {
            app->addRecentFile(path(QString::number(i)));
            expected.prepend(path(QString::number(i)));
        }
        expected.removeLast();  // the 16th pushes the oldest out
        QCOMPARE(app->recentFiles(), expected);
        app->addRecentFile(path("7"));
        expected.move(expected.indexOf(path("7")), 0);
        QCOMPARE(app->recentFiles(), expected);
        app->openRecentFile(path("3"));  // gone: dropped, nothing opened
        expected.removeAll(path("3"));
        QCOMPARE(Preferences::instance().stringListValue("recentFiles"), expected);
        QVERIFY(app->tabs().isEmpty());
        app->clearRecentFiles();
        QVERIFY(!Preferences::instance().contains("recentFiles"));
    }

    void saveAndRestore()
    {
        const QString a = repo("a"), b = repo("b");
        {
            auto app = restoredApp();
            app->openFileFromFinder(a + "/f.txt");
            QTRY_VERIFY(!app->isOpening());
            app->activeTabState()->editor()->setCursors({TextCursor::at(4, 3)});
            app->openFileFromFinder(b + "/f.txt");
            QTRY_VERIFY(!app->isOpening());
            app->setActiveTabId(app->tabs()[0].id);
            app->setSidebarWidth(333);
            app->saveState();
        }
        Preferences::useFile(path("prefs.ini"));  // read back what reached the disk
        auto app = restoredApp();
        QCOMPARE(layout(*app), "*a b");
        QCOMPARE(app->sidebarWidth(), 333.0);
        EditorViewModel *editor = app->activeTabState()->editor();
        QCOMPARE(editor->currentFilePath(), a + "/f.txt");
        QCOMPARE(carets(*editor), "4:3");
        QCOMPARE(editor->minimapScrollTarget(), 4);
        QCOMPARE(app->recentFiles(), QStringList({b + "/f.txt", a + "/f.txt"}));
    }

    void restoreRules_data()
    {
        // Values stored before the restore. "@entry" is the saved entry of repos/a ("@file" in it
        // standing for its f.txt), "@extra" a second entry; a text "@x" stands for repos/x.
        QTest::addColumn<QVariantMap>("store");
        QTest::addColumn<QString>("active");  // of the tabs a, b, c; "" when none was restored
        QTest::addColumn<QString>("caret");   // "line:column" in a's editor, "" for no open file
        QTest::addColumn<double>("width");
        const auto caret = [](std::optional<qint64> line, std::optional<qint64> column) {
            return QVariantMap{{"@entry", *PerRepoState{QStringLiteral("@file"), line, column, 12.5}.toStoredText()}};
        };
        const auto entry = [](const char *json) { return QVariantMap{{"@entry", base64(json)}}; };
        const auto with = [](QVariantMap map, const QString &key, const QVariant &value) {
            map.insert(key, value);
            return map;
        };
        QTest::addRow("line beyond the file") << caret(500, 2) << "a" << "9:2" << 280.0;
        QTest::addRow("column beyond the line") << caret(3, 99) << "a" << "3:6" << 280.0;
        QTest::addRow("negative column") << caret(3, -4) << "a" << "3:0" << 280.0;
        QTest::addRow("no caret stored") << caret({}, {}) << "a" << "0:0" << 280.0;
        QTest::addRow("active second") << QVariantMap{{"activeRepoPath", "@b"}} << "b" << "" << 280.0;
        QTest::addRow("active gone") << QVariantMap{{"activeRepoPath", "@gone"}} << "a" << "" << 280.0;
        for (const double width : {100.0, 101.0, 799.0, 800.0}) {
            QTest::addRow("width %g", width) << QVariantMap{{"sidebarWidth", width}} << "a" << ""
                                             << (width == 100.0 || width == 800.0 ? 280.0 : width);
        }
        // Garbage under a key loses what that key held, nothing else.
        const QVariantMap junk{{"x", 1}};
        QTest::addRow("width not a number") << with(caret(1, 1), "sidebarWidth", QStringList{"wide"}) << "a" << "1:1"
                                            << 280.0;
        QTest::addRow("active not text") << QVariantMap{{"activeRepoPath", junk}} << "a" << "" << 280.0;
        QTest::addRow("paths not a list") << QVariantMap{{"savedRepoPaths", junk}} << "" << "" << 280.0;
        QTest::addRow("per-repo not a dictionary") << QVariantMap{{"perRepoState", "junk"}} << "a" << "" << 280.0;
        QTest::addRow("per-repo value not text") << with(caret(1, 1), "@extra", 5) << "a" << "" << 280.0;
        QTest::addRow("other entry unreadable") << with(caret(1, 1), "@extra", "%%") << "a" << "1:1" << 280.0;
        QTest::addRow("bad Base64") << QVariantMap{{"@entry", "%%%not base64"}} << "a" << "" << 280.0;
        QTest::addRow("bad JSON") << entry("{\"openFilePath\": ") << "a" << "" << 280.0;
        QTest::addRow("fractional line") << entry(R"({"openFilePath":"@file","cursorLine":1.5})") << "a" << "" << 280.0;
        QTest::addRow("unknown keys ignored") << entry(R"({"openFilePath":"@file","cursorLine":2,"x":[1]})") << "a"
                                              << "2:0" << 280.0;
        QTest::addRow("recent files not a list") << with(caret(1, 1), "recentFiles", junk) << "a" << "1:1" << 280.0;
    }
    void restoreRules()
    {
        QFETCH(QVariantMap, store);
        QFETCH(QString, active);
        QFETCH(QString, caret);
        const QString a = repo("a");
        QVariantMap perRepo;
        if (store.contains("@entry")) {
            const QString entry = store.take("@entry").toString();
            const auto json = QByteArray::fromBase64Encoding(entry.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            perRepo.insert(a, json ? base64(QByteArray(*json).replace("@file", (a + "/f.txt").toUtf8())) : entry);
        }
        if (store.contains("@extra")) {
            perRepo.insert(path("repos/b"), store.take("@extra"));
        }
        Preferences::instance().setValue("savedRepoPaths", QStringList{a, repo("b"), path("repos/gone"), repo("c")});
        Preferences::instance().setValue("perRepoState", perRepo);
        for (auto it = store.cbegin(); it != store.cend(); ++it) {
            const QString text = it.value().toString();
            const bool placeholder = it.value().typeId() == QMetaType::QString && text.startsWith(u'@');
            Preferences::instance().setValue(it.key(), placeholder ? path("repos/" + text.mid(1)) : it.value());
        }

        auto app = restoredApp();
        QCOMPARE(layout(*app), active.isEmpty() ? QString() : QString("a b c").replace(active, '*' + active));
        QTEST(app->sidebarWidth(), "width");
        if (active.isEmpty()) {
            QVERIFY(Preferences::instance().contains("savedRepoPaths"));  // unreadable, so kept
            return;
        }
        EditorViewModel *editor = app->tabState(app->tabs()[0].id)->editor();
        QCOMPARE(editor->currentFilePath().value_or(a + "/f.txt"), a + "/f.txt");  // a's file or none
        QCOMPARE(carets(*editor), caret);
    }

    void nothingRestorableClearsTheWorkspaceKeys()
    {
        Preferences::instance().setValue("savedRepoPaths", QStringList{path("gone1"), path("gone2")});
        Preferences::instance().setValue("perRepoState", QVariantMap{{path("gone1"), "x"}});
        Preferences::instance().setValue("activeRepoPath", path("gone1"));
        auto app = restoredApp();
        QVERIFY(app->tabs().isEmpty());
        for (const char *key : {"savedRepoPaths", "activeRepoPath", "perRepoState"}) {
            QVERIFY2(!Preferences::instance().contains(key), key);
        }
    }

    void savesRefreshesAndClosesEveryEditor()
    {
        const QString a = repo("a");
        t::writeFile(path("loose"), "s.txt", "s\n");
        auto app = restoredApp();
        app->openFileFromFinder(a + "/f.txt");
        QTRY_VERIFY(!app->isOpening());
        EditorViewModel *tabEditor = app->activeTabState()->editor();
        EditorViewModel standalone;
        standalone.openFile(path("loose/s.txt"));
        auto gone = std::make_unique<EditorViewModel>();
        app->addStandaloneEditor(&standalone);
        app->addStandaloneEditor(gone.get());
        gone.reset();
        tabEditor->insertAtCursors("1");
        standalone.insertAtCursors("2");
        app->saveAllFilesAndWait();
        QVERIFY(t::readFile(a + "/f.txt").startsWith("1line 0"));
        QCOMPARE(t::readFile(path("loose/s.txt")), QByteArray("2s\n"));

        // Changed behind the clean editor, and a new file beside it.
        t::writeFile(a, "f.txt", "outside\n");
        setModificationTime(a + "/f.txt", {modificationTime(a + "/f.txt")->nanoseconds + 5'000'000'000LL});
        t::writeFile(a, "new.txt", "");
        app->refreshAllTabs();
        QCOMPARE(tabEditor->document()->text(), "outside\n");
        QTRY_COMPARE(app->activeTabState()->fileTree().size(), 2);

        // Closing a tab saves its file first; one that cannot be written keeps the tab and its edits.
        tabEditor->insertAtCursors("typed ");
        QFile::setPermissions(a + "/f.txt", QFileDevice::ReadOwner);
        app->closeTab(*app->activeTab());
        QCOMPARE(app->tabs().size(), 1);
        QVERIFY(app->errorMessage().has_value());
        QFile::setPermissions(a + "/f.txt", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        app->closeTab(*app->activeTab());
        QVERIFY(app->tabs().isEmpty() && !app->activeTab());
        QCOMPARE(t::readFile(a + "/f.txt"), "typed outside\n");
    }

    // The key hook's choice of editor, driven by a real key event through the one translation
    // the windows use. What each key then does is the shared routing's, tested with it.
    // Opening a folder never waits for git on the main thread, and a git that does not answer
    // never makes a folder inside a repository open as a repository of its own.
    void openingNeverWaitsOnGit_data()
    {
        QTest::addColumn<QByteArray>("git");  // the stand-in's body; "RELEASE" stands for the release file
        QTest::addRow("git answers late") << QByteArray("while [ ! -e 'RELEASE' ]; do sleep 0.02; done\nexec /usr/bin/git \"$@\"");
        QTest::addRow("git never answers") << QByteArray("exec sleep 60");
        QTest::addRow("git cannot run") << QByteArray();
    }
    void openingNeverWaitsOnGit()
    {
        QFETCH(QByteArray, git);
        const QString outer = repo("outer");
        t::writeFile(outer, "src/deep/x.txt", "x\n");
        const QString release = path("release");
        setToolPath(Tool::Git, git.isEmpty() ? path("no-git")
                                             : t::writeScript(m_dir->path(), "git", git.replace("RELEASE", release.toUtf8())));
        const auto restore = qScopeGuard([] { resetToolPaths(); });
        auto app = restoredApp();
        app->openChosenDirectory(outer + "/src");
        app->openFileFromFinder(outer + "/src/deep/x.txt");
        app->openRepository(repo("other"));  // waits for its turn behind the two
        QCOMPARE(app->tabs().size(), 0);
        QVERIFY(app->isOpening());
        t::writeFile(m_dir->path(), "release", "");
        QTRY_VERIFY_WITH_TIMEOUT(!app->isOpening(), 15000);
        QCOMPARE(layout(*app), "outer *other");
        QCOMPARE(app->tabState(app->tabs()[0].id)->editor()->currentFilePath(), outer + "/src/deep/x.txt");
    }

    // A file that has become a pipe or a device since it was saved is skipped at the restore
    // (the tab stays); opened as a recent file it says why, and nothing waits on it.
    void filesThatAreNoLongerFiles()
    {
        const QString a = repo("a");
        QVERIFY(QFile::remove(a + "/f.txt"));
        QCOMPARE(::mkfifo(QFile::encodeName(a + "/f.txt").constData(), 0600), 0);
        QVERIFY(t::makeSymlink("/dev/zero", a + "/zero.txt"));
        const PerRepoState saved{a + "/f.txt", 3, 1, 0};
        Preferences::instance().setValue("savedRepoPaths", QStringList{a});
        Preferences::instance().setValue("perRepoState", QVariantMap{{a, *saved.toStoredText()}});
        auto app = restoredApp();
        QCOMPARE(layout(*app), "*a");
        QCOMPARE(app->activeTabState()->editor()->currentFilePath(), std::nullopt);
        for (const QString &name : {QStringLiteral("f.txt"), QStringLiteral("zero.txt")}) {
            app->openRecentFile(a + '/' + name);
            QTRY_VERIFY(!app->isOpening());
            const EditorViewModel *editor = app->activeTabState()->editor();  // a link opens where it leads
            QCOMPARE(editor->currentFilePath(), std::nullopt);
            QVERIFY(editor->openError().has_value());
            QVERIFY2(editor->openError()->contains(name == "f.txt" ? "named pipe" : "device"),
                     qPrintable(*editor->openError()));
        }
    }

    void keyHookRoutes_data()
    {
        QTest::addColumn<Origin>("origin");
        QTest::addColumn<bool>("consumed");
        QTest::addColumn<QString>("texts");  // the tab's, then the standalone window's
        QTest::addRow("main window types into the active tab") << Origin::MainWindow << true << "qtab window";
        QTest::addRow("standalone window types into its own editor") << Origin::StandaloneWindow << true
                                                                     << "tab qwindow";
        QTest::addRow("closed standalone window reaches no editor") << Origin::ClosedStandaloneWindow << false
                                                                    << "tab ";
        QTest::addRow("application state gone") << Origin::NoAppState << false << "tab window";
        QTest::addRow("no active tab") << Origin::NoActiveTab << false << "tab window";
    }

    void keyHookRoutes()
    {
        QFETCH(Origin, origin);
        const QString dir = path(QTest::currentDataTag());
        auto app = restoredApp();
        app->openFileFromFinder(t::writeFile(dir, "tab.txt", "tab"));
        QTRY_VERIFY(!app->isOpening());
        EditorViewModel *tabEditor = app->activeTabState()->editor();
        auto windowEditor = std::make_unique<EditorViewModel>();
        windowEditor->openFile(t::writeFile(dir, "window.txt", "window"));

        KeyPressOrigin where;
        where.standaloneWindow = origin == Origin::StandaloneWindow || origin == Origin::ClosedStandaloneWindow;
        where.windowEditor = windowEditor.get();
        if (origin == Origin::ClosedStandaloneWindow) {
            windowEditor.reset();
        } else if (origin == Origin::NoActiveTab) {
            app->setActiveTabId(std::nullopt);
        }
        MemoryClipboard board;
        const QKeyEvent press(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "q");
        const EditorKeyEvent event = editorKeyEvent(press, KeyboardConvention::Other);
        const AppState *target = origin == Origin::NoAppState ? nullptr : app.get();
        QTEST(KeyHook::handleKeyPress(target, event, where, board), "consumed");
        QTEST(tabEditor->document()->text() + ' ' + (windowEditor ? windowEditor->document()->text() : QString()),
              "texts");
    }
};

QTEST_MAIN(TestAppState)
#include "tst_app_state.moc"
