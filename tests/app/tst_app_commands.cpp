#include "app/appearance.h"
#include "app/menu_commands.h"
#include "app/settings_window.h"
#include "app/termination_watcher.h"
#include "app_test_util.h"
#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/go_to_line_panel.h"
#include "app/editor_area_view.h"
#include "app/repository_view.h"
#include "editor/ui/editor_pane_view.h"
#include "workspace/ui/sidebar_view.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <csignal>

using namespace vesk;
namespace t = vesk::test;

namespace {

QWidget *visibleTopLevel(const QString &objectName)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->objectName() == objectName) {
            return widget;
        }
    }
    return nullptr;
}

QStringList menuTitles(const QMenu *menu)
{
    QStringList titles;
    for (const QAction *action : menu->actions()) {
        titles.append(action->isSeparator() ? QStringLiteral("-")
                                            : action->text() + (action->isEnabled() ? "" : " (disabled)"));
    }
    return titles;
}

} // namespace

class TestAppCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<t::Workspace> m_workspace;
    t::FixedDesktop m_desktop;

    // Repositories "a" and "b" in tabs, "a" active with a.txt (three lines) open.
    std::unique_ptr<VeskApp> twoTabs()
    {
        auto app = t::startApp(&m_desktop);
        const QString a = m_workspace->repo("a", {{"a.txt", "one\ntwo\nthree\n"}});
        app->state().openRepository(a);
        t::waitForOpens(app->state());
        app->state().openRepository(m_workspace->repo("b", {{"b.txt", "b\n"}}));
        t::waitForOpens(app->state());
        app->state().openFileFromFinder(a + "/a.txt");
        t::waitForOpens(app->state());
        t::activeEditor(*app)->goToLine(1, 0);
        return app;
    }

    void press(VeskApp &app, const QKeySequence &sequence)
    {
        QWidget *window = app.mainWindow();
        if (QApplication::activeWindow() != window) {
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
        }
        QTest::keyClick(window, Qt::Key(sequence[0].key()), sequence[0].keyboardModifiers());
    }

private Q_SLOTS:
    void init()
    {
        m_workspace = std::make_unique<t::Workspace>();
        m_desktop.dark = false;
    }
    void cleanup()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QDialog *>(widget) || widget->objectName() == u"settingsWindow") {
                widget->close();
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_workspace.reset();
    }

    // Every command through its shortcut, with a tab and a file to work on.
    void shortcuts_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("expected");
        QTest::addRow("open") << "Open Repo/Directory\u2026" << QKeySequence("Ctrl+O") << "open panel";
        QTest::addRow("new tab") << "New Tab" << QKeySequence("Ctrl+T") << "open panel";
        QTest::addRow("close tab") << "Close Tab" << QKeySequence("Ctrl+W") << "tabs *b";
        QTest::addRow("save") << "Save" << QKeySequence("Ctrl+S") << "saved";
        QTest::addRow("refresh") << "Refresh" << QKeySequence("Ctrl+R") << "refreshed";
        QTest::addRow("next tab") << "Next Tab" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_BracketRight)
                                  << "tabs a *b";
        QTest::addRow("next tab, Page Down") << "Next Tab" << QKeySequence("Ctrl+PgDown") << "tabs a *b";
        QTest::addRow("previous tab at the first") << "Previous Tab" << QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_BracketLeft)
                                                   << "tabs *a b";
        QTest::addRow("add cursor above") << "Add Cursor Above" << QKeySequence("Ctrl+Alt+Up") << "carets 1:0 0:0";
        QTest::addRow("add cursor below") << "Add Cursor Below" << QKeySequence("Ctrl+Alt+Down") << "carets 1:0 2:0";
        QTest::addRow("go to line") << "Go to Line\u2026" << QKeySequence("Ctrl+L") << "go to line panel";
        QTest::addRow("settings") << "Settings\u2026" << QKeySequence("Ctrl+,") << "settings";
        QTest::addRow("quit") << "Quit" << QKeySequence("Ctrl+Q") << "closed";
    }
    void shortcuts()
    {
        QFETCH(QString, title);
        QFETCH(QKeySequence, keys);
        QFETCH(QString, expected);
        auto app = twoTabs();
        QAction *action = app->mainWindow()->commands()->action(title);
        QVERIFY(action);
        QVERIFY(action->shortcuts().contains(keys));
        EditorViewModel *editor = t::activeEditor(*app);
        const QString repoA = m_workspace->path("a");
        if (expected == u"saved" || expected == u"closed") {
            editor->insertAtCursors(QStringLiteral("new "));
        }
        t::writeFile(repoA, "added.txt", "x\n");

        press(*app, keys);

        if (expected == u"open panel") {
            QTRY_VERIFY(visibleTopLevel("openPanel"));
        } else if (expected.startsWith(u"tabs ")) {
            QCOMPARE(t::tabLayout(app->state()), expected.mid(5));
        } else if (expected == u"saved") {
            QTRY_COMPARE(t::readFile(repoA + "/a.txt"), QByteArray("one\nnew two\nthree\n"));
        } else if (expected == u"refreshed") {
            QTRY_VERIFY(std::any_of(app->state().activeTabState()->fileTree().cbegin(),
                                    app->state().activeTabState()->fileTree().cend(),
                                    [](const FileNode &node) { return node.name == u"added.txt"; }));
        } else if (expected.startsWith(u"carets ")) {
            QStringList carets;
            for (const TextCursor &cursor : editor->cursors()) {
                carets.append(QStringLiteral("%1:%2").arg(cursor.line).arg(cursor.column));
            }
            QCOMPARE(carets.join(u' '), expected.mid(7));
        } else if (expected == u"go to line panel") {
            QTRY_VERIFY(openGoToLinePanel() && openGoToLinePanel()->isVisible());
        } else if (expected == u"settings") {
            QTRY_VERIFY(settingsWindow() && settingsWindow()->isVisible());
        } else if (expected == u"closed") {
            QTRY_VERIFY(!app->mainWindow()->isVisible());
            QCOMPARE(t::readFile(repoA + "/a.txt"), QByteArray("one\nnew two\nthree\n"));
            QCOMPARE(Preferences::instance().stringListValue("savedRepoPaths").size(), 2);
        }
    }

    // The Edit menu's commands act on the field that has the focus, as its own keys would.
    void editMenuActsOnTheFocusedField_data()
    {
        QTest::addColumn<QString>("field");     // "editor" or "search"
        QTest::addColumn<QStringList>("steps");  // typed text as "type:…", or menu titles
        QTest::addColumn<QString>("expected");  // the field's text after the steps
        QTest::addColumn<QString>("clipboard");
        const QString file = QStringLiteral("one\ntwo\nthree\n");
        QTest::addRow("undo and redo typing in the editor")
            << "editor" << QStringList{"type:new ", "Undo"} << file << "";
        QTest::addRow("redo after undo") << "editor" << QStringList{"type:new ", "Undo", "Redo"}
                                         << "one\nnew two\nthree\n" << "";
        QTest::addRow("select all and copy in the editor")
            << "editor" << QStringList{"Select All", "Copy"} << file << file;
        QTest::addRow("cut everything, paste it twice")
            << "editor" << QStringList{"Select All", "Cut", "Paste", "Paste"} << file + file << file;
        QTest::addRow("search field: the editor keeps its text")
            << "search" << QStringList{"type:needle", "Select All", "Cut"} << "" << "needle";
        QTest::addRow("search field: paste") << "search" << QStringList{"type:ab", "Select All", "Copy", "Paste", "Paste"}
                                             << "abab" << "ab";
    }
    void editMenuActsOnTheFocusedField()
    {
        QFETCH(QString, field);
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        QFETCH(QString, clipboard);
        auto app = twoTabs();
        QApplication::clipboard()->setText(QString());
        QWidget *window = app->mainWindow();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        EditorViewModel *editor = t::activeEditor(*app);
        QTRY_VERIFY(app->mainWindow()->activeView() && app->mainWindow()->activeView()->editorArea()->showsEditor());
        QWidget *target = app->mainWindow()->activeView()->editorArea()->pane()->canvas();
        if (field == u"search") {
            target = window->findChild<QLineEdit *>(QStringLiteral("searchQuery"));
            QVERIFY(target);
            QWidget *sidebar = app->mainWindow()->activeView()->sidebar();
            auto *view = qobject_cast<SidebarView *>(sidebar) ? qobject_cast<SidebarView *>(sidebar)
                                                               : sidebar->findChild<SidebarView *>();
            QVERIFY(view);
            view->setSelectedTab(SidebarTab::search);
        }
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        for (const QString &step : steps) {
            if (step.startsWith(u"type:")) {
                QTest::keyClicks(target, step.mid(5));
            } else {
                QAction *action = app->mainWindow()->commands()->action(step);
                QVERIFY2(action, qPrintable(step));
                action->trigger();
            }
        }
        const QString shown = field == u"search" ? static_cast<QLineEdit *>(target)->text() : editor->document()->text();
        QCOMPARE(shown, expected);
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
        if (field == u"search") {
            QCOMPARE(editor->document()->text(), QStringLiteral("one\ntwo\nthree\n"));
        }
    }

    // With no tab, or no file open, the commands that need one do nothing.
    void commandsWithoutTarget_data()
    {
        QTest::addColumn<bool>("withTab");
        QTest::addRow("no tab") << false;
        QTest::addRow("a tab without a file") << true;
    }
    void commandsWithoutTarget()
    {
        QFETCH(bool, withTab);
        auto app = t::startApp(&m_desktop);
        if (withTab) {
            app->state().openRepository(m_workspace->repo("a", {{"a.txt", "a\n"}}));
            t::waitForOpens(app->state());
        }
        const QString before = t::tabLayout(app->state());
        for (const char *keys : {"Ctrl+S", "Ctrl+R", "Ctrl+Alt+Up", "Ctrl+Alt+Down", "Ctrl+L", "Ctrl+PgDown", "Ctrl+PgUp"}) {
            press(*app, QKeySequence(keys));
        }
        QVERIFY(!openGoToLinePanel());
        QCOMPARE(t::tabLayout(app->state()), before);
        if (withTab) {
            QCOMPARE(t::activeEditor(*app)->cursors().size(), 1);
        }
        press(*app, QKeySequence("Ctrl+W"));
        press(*app, QKeySequence("Ctrl+W"));
        QCOMPARE(app->state().tabs().size(), 0);
    }

    void openRecent()
    {
        auto app = t::startApp(&m_desktop);
        const QString repo = m_workspace->repo("r", {{"one.txt", "1\n"}, {"two.txt", "2\n"}, {"gone.txt", "3\n"}});
        QMenu *menu = app->mainWindow()->commands()->openRecentMenu();
        QCOMPARE(menuTitles(menu), QStringList{"No Recent Files (disabled)"});
        for (const char *name : {"gone.txt", "one.txt", "two.txt"}) {
            app->state().openFileFromFinder(repo + "/" + name);
            t::waitForOpens(app->state());
        }
        QTRY_COMPARE(menuTitles(menu), (QStringList{"two.txt", "one.txt", "gone.txt", "-", "Clear Menu"}));

        menu->actions()[1]->trigger();
        QCOMPARE(t::activeEditor(*app)->currentFileName(), QStringLiteral("one.txt"));
        QFile::remove(repo + "/gone.txt");
        QTRY_COMPARE(menu->actions()[2]->text(), QStringLiteral("gone.txt"));
        menu->actions()[2]->trigger();  // nothing there any more: it leaves the list
        QTRY_COMPARE(menuTitles(menu), (QStringList{"one.txt", "two.txt", "-", "Clear Menu"}));
        QCOMPARE(t::activeEditor(*app)->currentFileName(), QStringLiteral("one.txt"));

        menu->actions().last()->trigger();
        QVERIFY(!Preferences::instance().contains("recentFiles"));
        QTRY_COMPARE(menuTitles(menu), QStringList{"No Recent Files (disabled)"});
    }

    void settingsWindowChangesTheStore()
    {
        auto app = t::startApp(&m_desktop);
        const QString repo = m_workspace->repo("r", {{"f.txt", "\tindented with a tab\n"}});
        app->state().openFileFromFinder(repo + "/f.txt");
        t::waitForOpens(app->state());
        QTRY_VERIFY(app->mainWindow()->activeView() && app->mainWindow()->activeView()->editorArea()->showsEditor());
        EditorCanvasView *canvas = app->mainWindow()->activeView()->editorArea()->pane()->canvas();
        QTRY_VERIFY(canvas->isVisible());
        const QImage withMarks = canvas->grab().toImage();
        const double tabEnd = canvas->xForCol(1, 0);

        SettingsWindow *settings = showSettingsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(settings));
        QCOMPARE(settings->footer("Editor")->text(), QStringLiteral("Spaces shown as \u00B7 and tabs as \u21E5"));
        QCOMPARE(settings->footer("Files")->text(),
                 QStringLiteral("Show hidden files like .gitignore and .env in the file tree"));
        QCheckBox *whitespace = settings->toggle("showWhitespace");
        QCOMPARE(whitespace->text(), QStringLiteral("Show whitespace characters"));
        QVERIFY(whitespace->isChecked());  // the registered default
        QTest::mouseClick(whitespace, Qt::LeftButton, {}, QPoint(8, whitespace->height() / 2));
        QCOMPARE(Preferences::instance().value("showWhitespace"), QVariant(false));
        QTRY_VERIFY(canvas->grab().toImage() != withMarks);

        QComboBox *tabWidth = settings->picker("tabWidth");
        QCOMPARE(tabWidth->currentText(), QStringLiteral("4"));
        tabWidth->setFocus();
        QTest::keyClick(tabWidth, Qt::Key_Down);
        QCOMPARE(Preferences::instance().intValue("tabWidth"), 8);
        QCOMPARE(canvas->xForCol(1, 0) - canvas->xForCol(0, 0), 2 * (tabEnd - canvas->xForCol(0, 0)));

        QCheckBox *dotFiles = settings->toggle("showDotFiles");
        QCOMPARE(dotFiles->text(), QStringLiteral("Show dot files"));
        QTest::mouseClick(dotFiles, Qt::LeftButton, {}, QPoint(8, dotFiles->height() / 2));
        QCOMPARE(Preferences::instance().value("showDotFiles"), QVariant(true));

        // A change made elsewhere shows in the window.
        Preferences::instance().setValue("showWhitespace", true);
        QVERIFY(whitespace->isChecked());
    }

    // The appearance setting against the desktop's darkness: the palette of the whole
    // application, and so of the editor.
    void appearance_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("desktopDark");
        QTest::addColumn<bool>("dark");
        QTest::addRow("system, light desktop") << "system" << false << false;
        QTest::addRow("system, dark desktop") << "system" << true << true;
        QTest::addRow("light on a dark desktop") << "light" << true << false;
        QTest::addRow("dark on a light desktop") << "dark" << false << true;
        QTest::addRow("opposite of dark") << "opposite" << true << false;
        QTest::addRow("opposite of light") << "opposite" << false << true;
        QTest::addRow("opposite, nothing stored for the desktop") << "opposite" << false << true;
        QTest::addRow("unknown value is system") << "sepia" << true << true;
        QTest::addRow("case matters") << "Dark" << false << false;
        QTest::addRow("nothing stored") << "" << true << true;
    }
    void appearance()
    {
        QFETCH(QString, setting);
        QFETCH(bool, desktopDark);
        QFETCH(bool, dark);
        m_desktop.dark = desktopDark;
        if (!setting.isEmpty()) {
            Preferences::instance().setValue("appearance", setting);
        }
        auto app = t::startApp(&m_desktop);
        QCOMPARE(isDarkPalette(QApplication::palette()), dark);
        QCOMPARE(app->appearance()->scheme() == ColorScheme::dark, dark);
        // The desktop switching over is followed live, except where the setting forces a scheme.
        m_desktop.switchTo(!desktopDark);
        const bool follows = !Appearance::forcedScheme(setting, desktopDark) || setting == u"opposite";
        QCOMPARE(isDarkPalette(QApplication::palette()), follows ? !dark : dark);
        QTRY_COMPARE(isDarkPalette(app->mainWindow()->palette()), follows ? !dark : dark);
    }

    void appearanceChangesLive()
    {
        auto app = t::startApp(&m_desktop);
        const QString repo = m_workspace->repo("r", {{"f.txt", "text\n"}});
        app->state().openFileFromFinder(repo + "/f.txt");
        t::waitForOpens(app->state());
        QTRY_VERIFY(app->mainWindow()->activeView() && app->mainWindow()->activeView()->editorArea()->showsEditor());
        EditorCanvasView *canvas = app->mainWindow()->activeView()->editorArea()->pane()->canvas();
        QVERIFY(!isDarkPalette(canvas->palette()));
        SettingsWindow *settings = showSettingsWindow();
        QComboBox *picker = settings->picker("appearance");
        QCOMPARE(picker->currentText(), QStringLiteral("System"));
        picker->setFocus();
        QTest::keyClick(picker, Qt::Key_Down);
        QTest::keyClick(picker, Qt::Key_Down);
        QCOMPARE(Preferences::instance().stringValue("appearance"), QStringLiteral("dark"));
        QTRY_VERIFY(isDarkPalette(canvas->palette()));
        QVERIFY(isDarkPalette(settings->palette()));
        const QImage image = canvas->grab().toImage();
        QVERIFY(qGray(image.pixel(image.width() - 5, image.height() - 5)) < 100);
    }

    void desktopSettingsFiles_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<int>("dark");  // -1: says nothing
        QTest::addRow("dark theme name") << "[Settings]\ngtk-theme-name=Adwaita-dark\n" << 1;
        QTest::addRow("prefers dark") << "[Settings]\ngtk-theme-name=Adwaita\ngtk-application-prefer-dark-theme=1\n" << 1;
        QTest::addRow("prefers dark, true") << "[Settings]\ngtk-application-prefer-dark-theme = true\n" << 1;
        QTest::addRow("light theme") << "[Settings]\ngtk-theme-name=Adwaita\n" << 0;
        QTest::addRow("prefers light") << "[Settings]\ngtk-application-prefer-dark-theme=0\n" << 0;
        QTest::addRow("nothing about themes") << "[Settings]\ngtk-font-name=Sans 10\n" << -1;
        QTest::addRow("empty") << "" << -1;
    }
    void desktopSettingsFiles()
    {
        QFETCH(QString, ini);
        QFETCH(int, dark);
        const std::optional<bool> read = SystemDesktopAppearance::darkFromGtkSettings(ini);
        QCOMPARE(read ? int(*read) : -1, dark);
    }

    void portalColorScheme()
    {
        QCOMPARE(SystemDesktopAppearance::darkFromColorScheme(1), std::optional<bool>(true));
        QCOMPARE(SystemDesktopAppearance::darkFromColorScheme(2), std::optional<bool>(false));
        QCOMPARE(SystemDesktopAppearance::darkFromColorScheme(0), std::nullopt);
        QCOMPARE(SystemDesktopAppearance::darkFromColorScheme(7), std::nullopt);
        QVERIFY(SystemDesktopAppearance::isDarkThemeName("Adwaita:dark"));
        QVERIFY(!SystemDesktopAppearance::isDarkThemeName("Adwaita"));
    }

    // Leaving the application saves every file and the workspace, even when nothing changed.
    void leavingSaves_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addRow("with an edit") << true;
        QTest::addRow("nothing changed") << false;
    }
    void leavingSaves()
    {
        QFETCH(bool, edited);
        auto app = twoTabs();
        if (edited) {
            t::activeEditor(*app)->insertAtCursors(QStringLiteral("new "));
        }
        for (const char *key : {"savedRepoPaths", "activeRepoPath", "perRepoState"}) {
            Preferences::instance().remove(key);
        }
        Q_EMIT qApp->applicationStateChanged(Qt::ApplicationInactive);
        // Leaving for another application lets the files be written in the background.
        QTRY_COMPARE(t::readFile(m_workspace->path("a/a.txt")),
                 edited ? QByteArray("one\nnew two\nthree\n") : QByteArray("one\ntwo\nthree\n"));
        QCOMPARE(Preferences::instance().stringListValue("savedRepoPaths").size(), 2);
        QVERIFY(Preferences::instance().stringValue("activeRepoPath").endsWith("/a"));
        QVERIFY(Preferences::instance().contains("perRepoState"));
    }

    void comingBackReloads()
    {
        auto app = twoTabs();
        t::changeOnDisk(m_workspace->path("a/a.txt"), "changed elsewhere\n");
        Q_EMIT qApp->applicationStateChanged(Qt::ApplicationActive);
        QTRY_COMPARE(t::activeEditor(*app)->document()->text(), QStringLiteral("changed elsewhere\n"));
    }

    void leavingWaitsForTheWrites_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addRow("Ctrl+Q") << "quit";
        QTest::addRow("Close Tab (Ctrl+W)") << "close tab";
        QTest::addRow("closing the main window") << "close window";
        QTest::addRow("SIGTERM") << "sigterm";
    }

    // Both tabs' files are written (side by side, in the background) before the application,
    // the window or the tab goes: checked the moment that step returns, with no event loop turn
    // in between that could let a write finish late.
    void leavingWaitsForTheWrites()
    {
        QFETCH(QString, how);
        auto app = twoTabs();
        QByteArray big;
        for (int i = 0; i < 60000; ++i) {
            big += "line " + QByteArray::number(i) + " of a file that takes a moment to write\n";
        }
        const QString a = m_workspace->path("a/a.txt");
        const QString b = m_workspace->path("b/b.txt");
        t::writeFile(m_workspace->path("b"), "b.txt", big);
        app->state().openFileFromFinder(b);
        t::waitForOpens(app->state());
        EditorViewModel *editorB = t::activeEditor(*app);
        QCOMPARE(editorB->currentFilePath(), std::optional<QString>(b));
        editorB->insertAtCursors(QStringLiteral("typed in b "));
        app->state().openFileFromFinder(a);
        t::waitForOpens(app->state());
        EditorViewModel *editorA = t::activeEditor(*app);
        editorA->insertAtCursors(QStringLiteral("typed in a "));
        // Written and handed back: a write that merely happened to be quick would still be
        // under way as far as the editors know.
        const auto bothWritten = [&] {
            QVERIFY(!editorB->isSaving() && !editorB->hasUnsavedEdits());
            QCOMPARE(t::readFile(b), "typed in b " + big);
            QVERIFY(t::readFile(a).startsWith("typed in a one\n"));
        };
        if (how == u"sigterm") {
            auto *watcher = app->findChild<TerminationWatcher *>();
            QVERIFY(watcher && watcher->isWatching());
            bool checked = false;
            // Connected after the application's own handler, so it runs the moment that returns.
            connect(watcher, &TerminationWatcher::terminationRequested, this, [&] {
                bothWritten();
                checked = true;
            });
            QCOMPARE(::raise(SIGTERM), 0);
            QTRY_VERIFY(checked);
        } else if (how == u"close tab") {
            QPointer<EditorViewModel> closing(editorA);
            press(*app, QKeySequence("Ctrl+W"));
            QVERIFY(!closing || (!closing->isSaving() && !closing->hasUnsavedEdits()));
            QCOMPARE(t::readFile(a).left(11), QByteArray("typed in a "));
            QCOMPARE(t::tabLayout(app->state()), QStringLiteral("*b"));
        } else {
            if (how == u"quit") {
                press(*app, QKeySequence("Ctrl+Q"));
            } else {
                app->mainWindow()->close();
            }
            bothWritten();
            QVERIFY(!app->mainWindow()->isVisible());
        }
    }

    // A quit that cannot save asks first; "Cancel" keeps everything, "Quit Without Saving" goes.
    void quitWithUnsavableEdits()
    {
        auto app = twoTabs();
        EditorViewModel *editor = t::activeEditor(*app);
        editor->insertAtCursors(QStringLiteral("kept "));
        const QString replaced = m_workspace->path("a/a.txt");
        // The file's folder disappears behind the editor, so no write can succeed.
        QVERIFY(QDir(m_workspace->path("a")).rename("a.txt", "moved.txt"));
        QVERIFY(QDir().mkpath(replaced + "/blocker"));

        press(*app, QKeySequence("Ctrl+Q"));
        QTRY_VERIFY(app->unsavedQuestion() && app->unsavedQuestion()->isVisible());
        QVERIFY(app->mainWindow()->isVisible());
        app->unsavedQuestion()->reject();
        QTRY_VERIFY(!app->unsavedQuestion());
        QVERIFY(app->mainWindow()->isVisible());
        QVERIFY(editor->hasUnsavedEdits());

        press(*app, QKeySequence("Ctrl+Q"));
        QTRY_VERIFY(app->unsavedQuestion() && app->unsavedQuestion()->isVisible());
        QPushButton *discard = nullptr;
        for (QAbstractButton *button : app->unsavedQuestion()->buttons()) {
            if (button->text() == u"Quit Without Saving") {
                discard = qobject_cast<QPushButton *>(button);
            }
        }
        QVERIFY(discard);
        discard->click();
        QTRY_VERIFY(!app->mainWindow()->isVisible());
    }
};

QTEST_MAIN(TestAppCommands)
#include "tst_app_commands.moc"
