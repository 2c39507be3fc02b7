#include "editor/editor_view_model.h"
#include "platform/background.h"
#include "platform/file_time.h"
#include "platform/preferences.h"
#include "test_support.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"
#include "workspace/workspace_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vesk;
namespace t = vesk::test;

namespace {

QStringList tabNames(const AppState &app)
{
    QStringList names;
    for (const RepositoryTab &tab : app.tabs()) {
        names.append(tab.name);
    }
    return names;
}

QString activeName(const AppState &app)
{
    return app.activeTab() ? app.activeTab()->name : QString();
}

QString openFile(const AppState &app)
{
    RepositoryState *state = app.activeTabState();
    return state ? state->editor()->currentFilePath().value_or(QString()) : QString();
}

std::unique_ptr<AppState> restoredApp()
{
    auto app = std::make_unique<AppState>();
    [&] { QTRY_VERIFY(app->hasRestored()); }();
    return app;
}

QString stored(const PerRepoState &state)
{
    return *state.toStoredText();
}

QString base64(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

} // namespace

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
    void storeWorkspace(const QStringList &paths, const QVariantMap &perRepo = {})
    {
        Preferences::instance().setValue("savedRepoPaths", paths);
        Preferences::instance().setValue("perRepoState", perRepo);
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
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<QString>("file");  // open in the active tab afterwards

        const QStringList outer{"outer"}, two{"outer", "other"};
        QTest::addRow("same folder again") << "repos/outer" << outer << "";
        QTest::addRow("new folder, trailing slash") << "repos/other/" << two << "";
        QTest::addRow("same folder, trailing slash") << "repos/outer/" << outer << "";
        QTest::addRow("same folder, dot segments") << "repos/outer/../outer/." << outer << "";
        QTest::addRow("same folder through a link") << "linked" << outer << "";
        QTest::addRow("file in the open repository") << ">repos/outer/src/a.txt" << outer << "repos/outer/src/a.txt";
        QTest::addRow("file in a nested repository") << ">repos/outer/in/n.txt" << outer << "repos/outer/in/n.txt";
        QTest::addRow("link to a file inside") << ">link.txt" << outer << "repos/outer/src/a.txt";
        QTest::addRow("file in no repository") << ">plain/p.txt" << QStringList{"outer", "plain"} << "plain/p.txt";
        QTest::addRow("file deep in another repository") << ">repos/other/sub/o.txt" << two << "repos/other/sub/o.txt";
        QTest::addRow("folder in another repository") << ">repos/other/sub" << two << "";
        QTest::addRow("nothing there") << ">repos/outer/missing.txt" << outer << "";
    }
    void openFromOutside()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, tabs);
        QFETCH(QString, file);
        repo("outer");
        t::writeFile(path("repos/outer"), "src/a.txt", "a\n");
        t::initGitRepo(path("repos/outer/in"));
        t::writeFile(path("repos/outer/in"), "n.txt", "n\n");
        repo("other");
        t::writeFile(path("repos/other"), "sub/o.txt", "o\n");
        t::writeFile(path("plain"), "p.txt", "p\n");
        QVERIFY(QFile::link(path("repos/outer/src/a.txt"), path("link.txt")));
        QVERIFY(QFile::link(path("repos/outer"), path("linked")));

        auto app = restoredApp();
        app->openRepository(path("repos/outer"));
        if (target.startsWith(u'>')) {
            app->openFileFromFinder(path(target.mid(1)));
        } else {
            app->openRepository(path(target));
        }
        QCOMPARE(tabNames(*app), tabs);
        QCOMPARE(activeName(*app), tabs.last());
        QCOMPARE(openFile(*app), file.isEmpty() ? QString() : path(file));
        QCOMPARE(app->recentFiles(), file.isEmpty() ? QStringList() : QStringList{path(file)});
        QCOMPARE(Preferences::instance().stringValue("activeRepoPath"), app->activeTab()->path);
    }

    void closeMoveAndSwitchTabs_data()
    {
        QTest::addColumn<int>("active");
        QTest::addColumn<int>("closed");  // -1: none
        QTest::addColumn<QList<int>>("move");  // from, to (-1: a tab that is gone)
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("activeAfter");
        QTest::addRow("close the active first of three") << 0 << 0 << QList<int>{} << QStringList{"b", "c"} << "c";
        QTest::addRow("close the active middle of three") << 1 << 1 << QList<int>{} << QStringList{"a", "c"} << "c";
        QTest::addRow("close an inactive tab") << 0 << 2 << QList<int>{} << QStringList{"a", "b"} << "a";
        QTest::addRow("move first onto third") << 0 << -1 << QList<int>{0, 2} << QStringList{"b", "c", "a"} << "a";
        QTest::addRow("move third onto first") << 0 << -1 << QList<int>{2, 0} << QStringList{"c", "a", "b"} << "a";
        QTest::addRow("move second onto third") << 0 << -1 << QList<int>{1, 2} << QStringList{"a", "c", "b"} << "a";
        QTest::addRow("move onto a closed tab") << 0 << -1 << QList<int>{0, -1} << QStringList{"a", "b", "c"} << "a";
    }
    void closeMoveAndSwitchTabs()
    {
        QFETCH(int, active);
        QFETCH(int, closed);
        QFETCH(QList<int>, move);
        QFETCH(QStringList, order);
        QFETCH(QString, activeAfter);
        auto app = restoredApp();
        for (const char *name : {"a", "b", "c"}) {
            app->openRepository(repo(name));
        }
        app->setActiveTabId(app->tabs()[active].id);
        const RepositoryTab gone = closed < 0 ? RepositoryTab() : app->tabs()[closed];
        if (closed >= 0) {
            app->closeTab(gone);
            QVERIFY(!app->tabState(gone.id));
        } else {
            app->moveTab(app->tabs()[move[0]].id, move[1] < 0 ? QUuid::createUuid() : app->tabs()[move[1]].id);
        }
        QCOMPARE(tabNames(*app), order);
        QCOMPARE(activeName(*app), activeAfter);

        app->setActiveTabId(app->tabs().last().id);
        app->selectNextTab();
        QCOMPARE(activeName(*app), order.last());  // no wrap-around
        for (int i = 0; i < 3; ++i) {
            app->selectPreviousTab();
        }
        QCOMPARE(activeName(*app), order.first());
    }

    void closeTabSavesItsFileFirst()
    {
        const QString dir = repo("a");
        auto app = restoredApp();
        app->openFileFromFinder(dir + "/f.txt");
        EditorViewModel *editor = app->activeTabState()->editor();
        editor->insertAtCursors("typed ");
        QFile::setPermissions(dir + "/f.txt", QFileDevice::ReadOwner);
        app->closeTab(*app->activeTab());
        QCOMPARE(app->tabs().size(), 1);  // the file could not be written: the tab and its edits stay
        QVERIFY(app->errorMessage().has_value());
        QFile::setPermissions(dir + "/f.txt", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        app->closeTab(*app->activeTab());
        QVERIFY(app->tabs().isEmpty());
        QVERIFY(!app->activeTab());
        QVERIFY(t::readFile(dir + "/f.txt").startsWith("typed line 0\n"));
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
            app->activeTabState()->editor()->setCursors({TextCursor::at(4, 3)});
            app->openFileFromFinder(b + "/f.txt");
            app->setActiveTabId(app->tabs()[0].id);
            app->setSidebarWidth(333);
            app->saveState();
        }
        Preferences::useFile(path("prefs.ini"));  // read back what reached the disk
        auto app = restoredApp();
        QCOMPARE(tabNames(*app), QStringList({"a", "b"}));
        QCOMPARE(activeName(*app), "a");
        QCOMPARE(app->sidebarWidth(), 333.0);
        EditorViewModel *editor = app->activeTabState()->editor();
        QCOMPARE(editor->currentFilePath(), a + "/f.txt");
        QCOMPARE(editor->cursors().size(), 1);
        QCOMPARE(editor->cursors()[0].line, 4);
        QCOMPARE(editor->cursors()[0].column, 3);
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
            return QVariantMap{{"@entry", stored({QStringLiteral("@file"), line, column, 12.5})}};
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
        QTest::addRow("width not a number") << with(caret(1, 1), "sidebarWidth", QStringList{"wide"}) << "a" << "1:1"
                                            << 280.0;
        const QVariantMap junk{{"x", 1}};
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
        QTest::addRow("recent files not a list") << with(caret(1, 1), "recentFiles", junk) << "a"
                                                 << "1:1" << 280.0;
    }
    void restoreRules()
    {
        QFETCH(QVariantMap, store);
        QFETCH(QString, active);
        QFETCH(QString, caret);
        QFETCH(double, width);
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
        storeWorkspace({a, repo("b"), path("repos/gone"), repo("c")}, perRepo);
        for (auto it = store.cbegin(); it != store.cend(); ++it) {
            const QString text = it.value().toString();
            const bool placeholder = it.value().typeId() == QMetaType::QString && text.startsWith(u'@');
            Preferences::instance().setValue(it.key(), placeholder ? path("repos/" + text.mid(1)) : it.value());
        }

        auto app = restoredApp();
        QCOMPARE(tabNames(*app), active.isEmpty() ? QStringList() : QStringList({"a", "b", "c"}));
        QCOMPARE(activeName(*app), active);
        QCOMPARE(app->sidebarWidth(), width);
        if (active.isEmpty()) {
            QVERIFY(Preferences::instance().contains("savedRepoPaths"));  // unreadable, so kept
            return;
        }
        EditorViewModel *editor = app->tabState(app->tabs()[0].id)->editor();
        QCOMPARE(editor->currentFilePath().value_or(QString()), caret.isEmpty() ? QString() : a + "/f.txt");
        if (!caret.isEmpty()) {
            QCOMPARE(QStringLiteral("%1:%2").arg(editor->cursors()[0].line).arg(editor->cursors()[0].column), caret);
        }
    }

    void nothingRestorableClearsTheWorkspaceKeys()
    {
        storeWorkspace({path("gone1"), path("gone2")}, {{path("gone1"), "x"}});
        Preferences::instance().setValue("activeRepoPath", path("gone1"));
        auto app = restoredApp();
        QVERIFY(app->tabs().isEmpty());
        for (const char *key : {"savedRepoPaths", "activeRepoPath", "perRepoState"}) {
            QVERIFY2(!Preferences::instance().contains(key), key);
        }
    }

    void savesAndRefreshesEveryEditor()
    {
        const QString a = repo("a");
        t::writeFile(path("loose"), "s.txt", "s\n");
        auto app = restoredApp();
        app->openFileFromFinder(a + "/f.txt");
        EditorViewModel *tabEditor = app->activeTabState()->editor();
        EditorViewModel standalone;
        standalone.openFile(path("loose/s.txt"));
        auto gone = std::make_unique<EditorViewModel>();
        app->addStandaloneEditor(&standalone);
        app->addStandaloneEditor(gone.get());
        gone.reset();
        tabEditor->insertAtCursors("1");
        standalone.insertAtCursors("2");
        app->saveAllFiles();
        QVERIFY(t::readFile(a + "/f.txt").startsWith("1line 0"));
        QCOMPARE(t::readFile(path("loose/s.txt")), QByteArray("2s\n"));

        // Changed behind the clean editor, and a new file beside it.
        t::writeFile(a, "f.txt", "outside\n");
        setModificationTime(a + "/f.txt", {modificationTime(a + "/f.txt")->nanoseconds + 5'000'000'000LL});
        t::writeFile(a, "new.txt", "");
        app->refreshAllTabs();
        QCOMPARE(tabEditor->document()->text(), "outside\n");
        QTRY_COMPARE(app->activeTabState()->fileTree().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestAppState)
#include "tst_app_state.moc"
