#include "app/editor_area_view.h"
#include "app/repository_view.h"
#include "app/sidebar_splitter.h"
#include "app/tab_bar_view.h"
#include "app/welcome_view.h"
#include "app_test_util.h"
#include "editor/ui/conflict_panel.h"
#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_pane_view.h"
#include "editor/ui/editor_scroll_host.h"

#include <QFileDialog>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QToolTip>

using namespace vesk;
namespace t = vesk::test;

namespace {

QPoint centerOf(const QRect &rect)
{
    return rect.center();
}

QFileDialog *openPanel()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QFileDialog *>(widget); dialog && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<t::Workspace> m_workspace;
    t::FixedDesktop m_desktop;

    // Three repositories "a", "b", "c" open in tabs, "b" active unless `active` says otherwise.
    std::unique_ptr<VeskApp> threeTabs()
    {
        auto app = t::startApp(&m_desktop);
        for (const char *name : {"a", "b", "c"}) {
            app->state().openRepository(m_workspace->repo(name, {{"f.txt", QByteArray("in ") + name + "\n"}}));
            t::waitForOpens(app->state());
        }
        app->state().setActiveTabId(app->state().tabs()[1].id);
        TabBarView *bar = app->mainWindow()->tabBar();
        [&] { QTRY_COMPARE(bar->tabRect(2).isNull(), false); }();
        return app;
    }

private Q_SLOTS:
    void init() { m_workspace = std::make_unique<t::Workspace>(); }
    void cleanup()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QDialog *>(widget)) {
                widget->close();
            }
        }
        m_workspace.reset();
    }

    // What the tab bar does with the mouse, checked in the app's tabs and the stored workspace.
    void tabBarMouse_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("tabs");
        QTest::addColumn<QString>("storedActive");  // name of activeRepoPath's folder afterwards
        QTest::addRow("click selects and saves") << "click 2" << "a b *c" << "c";
        QTest::addRow("close button closes that tab") << "close 0" << "*b c" << "b";
        QTest::addRow("closing the active tab activates the last") << "close 1" << "a *c" << "c";
        QTest::addRow("middle click closes") << "middle 2" << "a *b" << "b";
        QTest::addRow("drag first onto third") << "drag 0 2" << "b c *a" << "a";
        QTest::addRow("drag third onto first") << "drag 2 0" << "*c a b" << "c";
        QTest::addRow("drag by less than a tab keeps the order") << "nudge 0" << "*a b c" << "a";
    }
    void tabBarMouse()
    {
        QFETCH(QString, gesture);
        QFETCH(QString, tabs);
        QFETCH(QString, storedActive);
        auto app = threeTabs();
        TabBarView *bar = app->mainWindow()->tabBar();
        const QStringList words = gesture.split(u' ');
        const int from = words[1].toInt();
        if (words[0] == u"click") {
            QTest::mouseClick(bar, Qt::LeftButton, {}, centerOf(bar->tabRect(from)));
        } else if (words[0] == u"close") {
            QTest::mouseMove(bar, centerOf(bar->tabRect(from)));
            QTest::mouseClick(bar, Qt::LeftButton, {}, centerOf(bar->closeButtonRect(from)));
        } else if (words[0] == u"middle") {
            QTest::mouseClick(bar, Qt::MiddleButton, {}, centerOf(bar->tabRect(from)));
        } else if (words[0] == u"drag") {
            const QRect target = bar->tabRect(words[2].toInt());
            QTest::mousePress(bar, Qt::LeftButton, {}, centerOf(bar->tabRect(from)));
            QTest::mouseMove(bar, QPoint(target.center().x() + (target.center().x() > 0 ? 1 : 0), target.center().y()));
            QTest::mouseMove(bar, target.center());
            // The order changes while the pointer moves, before the button is released.
            QVERIFY(t::tabLayout(app->state()) != QStringLiteral("a *b c") || gesture == u"nudge 0");
            QTest::mouseRelease(bar, Qt::LeftButton, {}, target.center());
            app->state().saveState();
        } else if (words[0] == u"nudge") {
            const QPoint start = centerOf(bar->tabRect(from));
            QTest::mousePress(bar, Qt::LeftButton, {}, start);
            QTest::mouseMove(bar, start + QPoint(10, 0));
            QTest::mouseRelease(bar, Qt::LeftButton, {}, start + QPoint(10, 0));
        }
        QCOMPARE(t::tabLayout(app->state()), tabs);
        QCOMPARE(QFileInfo(Preferences::instance().stringValue("activeRepoPath")).fileName(), storedActive);
    }

    void tabBarButtons()
    {
        auto app = threeTabs();
        TabBarView *bar = app->mainWindow()->tabBar();
        QCOMPARE(bar->plusButton()->toolTip(), QStringLiteral("Open Repo/Directory (Ctrl+T)"));
        QCOMPARE(TabBarView::closeToolTip(), QStringLiteral("Close Tab (Ctrl+W)"));
        const QPoint closePos = centerOf(bar->closeButtonRect(0));
        QHelpEvent help(QEvent::ToolTip, closePos, bar->mapToGlobal(closePos));
        QApplication::sendEvent(bar, &help);
        QTRY_COMPARE(QToolTip::text(), TabBarView::closeToolTip());

        QTest::mouseClick(bar->plusButton(), Qt::LeftButton);
        QTRY_VERIFY(openPanel());
        QCOMPARE(openPanel()->windowTitle(), QStringLiteral("Choose a Repo or Directory"));
        // Choosing a folder inside a repository opens the repository's tab.
        QDir().mkpath(m_workspace->path("a/sub"));
        QLineEdit *name = openPanel()->findChild<QLineEdit *>("fileNameEdit");
        QVERIFY(name);
        name->setText(m_workspace->path("a/sub"));
        QTest::keyClick(name, Qt::Key_Return);
        QTRY_VERIFY(!openPanel());
        QTRY_COMPARE(t::tabLayout(app->state()), QStringLiteral("*a b c"));
    }

    // A tab whose file cannot be saved is not closed silently: the user chooses.
    void closingATabThatCannotSave()
    {
        auto app = threeTabs();
        app->state().openFileFromFinder(m_workspace->path("b/f.txt"));
        t::waitForOpens(app->state());
        t::activeEditor(*app)->insertAtCursors(QStringLiteral("kept "));
        QVERIFY(QDir(m_workspace->path("b")).rename("f.txt", "moved.txt"));
        QVERIFY(QDir().mkpath(m_workspace->path("b/f.txt/blocker")));
        TabBarView *bar = app->mainWindow()->tabBar();
        QTest::mouseMove(bar, centerOf(bar->tabRect(1)));
        QTest::mouseClick(bar, Qt::LeftButton, {}, centerOf(bar->closeButtonRect(1)));
        QTRY_VERIFY(app->mainWindow()->closeQuestion() && app->mainWindow()->closeQuestion()->isVisible());
        QVERIFY(app->mainWindow()->closeQuestion()->text().contains(QStringLiteral("\u201Cf.txt\u201D")));
        QCOMPARE(t::tabLayout(app->state()), QStringLiteral("a *b c"));
        QVERIFY(!app->mainWindow()->errorAlert());  // asked once, not twice

        app->mainWindow()->closeQuestion()->reject();
        QCOMPARE(t::tabLayout(app->state()), QStringLiteral("a *b c"));
        QTest::keyClick(app->mainWindow(), Qt::Key_W, Qt::ControlModifier);
        QTRY_VERIFY(app->mainWindow()->closeQuestion() && app->mainWindow()->closeQuestion()->isVisible());
        for (QAbstractButton *button : app->mainWindow()->closeQuestion()->buttons()) {
            if (button->text() == u"Close Without Saving") {
                button->click();
            }
        }
        QCOMPARE(t::tabLayout(app->state()), QStringLiteral("a *c"));
    }

    void welcomeViewOpensThePanel()
    {
        auto app = t::startApp(&m_desktop);
        MainWindow *window = app->mainWindow();
        QTRY_VERIFY(window->welcomeView()->isVisible());
        QTest::mouseClick(window->welcomeView()->openButton(), Qt::LeftButton);
        QTRY_VERIFY(openPanel());
        openPanel()->reject();
        QCOMPARE(app->state().tabs().size(), 0);
    }

    void windowTitle()
    {
        auto app = t::startApp(&m_desktop);
        MainWindow *window = app->mainWindow();
        QCOMPARE(window->windowTitle(), QString());
        const QString repo = m_workspace->repo("proj", {{"src/main.c", "int main;\n"}});
        app->state().openRepository(repo);
        t::waitForOpens(app->state());
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("proj"));
        app->state().openFileFromFinder(repo + "/src/main.c");
        t::waitForOpens(app->state());
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("main.c \u2014 proj"));
        // Typed into, the file shows its unsaved edits; saved or typed back, it no longer does.
        QTRY_VERIFY(window->activeView() && window->activeView()->editorArea()->showsEditor());
        QWidget *canvas = window->activeView()->editorArea()->pane()->canvas();
        canvas->setFocus();
        QTest::keyClick(canvas, Qt::Key_X);
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("\u25CF main.c \u2014 proj"));
        QTest::keyClick(canvas, Qt::Key_Backspace);
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("main.c \u2014 proj"));
        QTest::keyClick(canvas, Qt::Key_Y);
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("\u25CF main.c \u2014 proj"));
        t::activeEditor(*app)->save();
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("main.c \u2014 proj"));
        app->state().closeTab(*app->state().activeTab());
        QTRY_COMPARE(window->windowTitle(), QString());
        QTRY_VERIFY(window->welcomeView()->isVisible());
    }

    void sidebarWidth_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("drag");  // pointer travel; 0: no drag
        QTest::addColumn<double>("width");
        QTest::addRow("nothing stored") << QVariant() << 0 << 280.0;
        QTest::addRow("100 is too narrow") << QVariant(100.0) << 0 << 280.0;
        QTest::addRow("101 is taken") << QVariant(101.0) << 0 << 101.0;
        QTest::addRow("not a number") << QVariant("wide") << 0 << 280.0;
        QTest::addRow("drag wider") << QVariant(300.0) << 50 << 350.0;
        QTest::addRow("drag narrower") << QVariant(300.0) << -70 << 230.0;
        QTest::addRow("never wider than 500") << QVariant(300.0) << 1000 << 500.0;
        QTest::addRow("never narrower than 180") << QVariant(300.0) << -1000 << 180.0;
    }
    void sidebarWidth()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, drag);
        QFETCH(double, width);
        if (stored.isValid()) {
            Preferences::instance().setValue("sidebarWidth", stored);
        }
        auto app = t::startApp(&m_desktop);
        app->state().openRepository(m_workspace->repo("r", {{"f.txt", "x\n"}}));
        t::waitForOpens(app->state());
        QTRY_VERIFY(app->mainWindow()->activeView());
        RepositoryView *view = app->mainWindow()->activeView();
        SidebarSplitter *splitter = view->splitter();
        if (drag != 0) {
            const QPoint start(2, splitter->height() / 2);
            QTest::mousePress(splitter, Qt::LeftButton, {}, start);
            QTest::mouseMove(splitter, start + QPoint(drag / 2, 0));
            QTest::mouseMove(splitter, start + QPoint(drag, 0));
            QCOMPARE(view->sidebar()->width(), int(width));  // follows while dragging
            QTest::mouseRelease(splitter, Qt::LeftButton, {}, start + QPoint(drag, 0));
            QCOMPARE(app->state().sidebarWidth(), width);
            QCOMPARE(Preferences::instance().doubleValue("sidebarWidth"), width);
        }
        QCOMPARE(view->sidebarWidth(), width);
        QCOMPARE(view->sidebar()->width(), int(width));
    }

    void errorAlert()
    {
        auto app = t::startApp(&m_desktop);
        app->state().setErrorMessage(QStringLiteral("The disk is full."));
        QTRY_VERIFY(app->mainWindow()->errorAlert() && app->mainWindow()->errorAlert()->isVisible());
        QMessageBox *alert = app->mainWindow()->errorAlert();
        QCOMPARE(alert->windowTitle(), QStringLiteral("Error"));
        QCOMPARE(alert->text(), QStringLiteral("The disk is full."));
        QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_COMPARE(app->state().errorMessage(), std::nullopt);
    }

    void editorAreaFollowsTheOpenFile()
    {
        auto app = t::startApp(&m_desktop);
        const QString repo = m_workspace->repo("r", {{"f.txt", "hello\n"}});
        app->state().openRepository(repo);
        t::waitForOpens(app->state());
        QTRY_VERIFY(app->mainWindow()->activeView());
        EditorAreaView *area = app->mainWindow()->activeView()->editorArea();
        QTRY_VERIFY(area->placeholder()->isVisible());
        app->state().openFileFromFinder(repo + "/f.txt");
        t::waitForOpens(app->state());
        QTRY_VERIFY(area->pane()->isVisible());
        QVERIFY(!area->placeholder()->isVisible());
    }

    // Keys typed in the window reach the active tab's editor through the key hook; each tab
    // keeps its own editor.
    void keysReachTheActiveEditor_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caret");
        QTest::addRow("typing") << "x y" << "xyabc def\n" << "0:2";
        QTest::addRow("End then type") << "End !" << "abc def!\n" << "0:8";
        QTest::addRow("Home after moving") << "Right Right Home #" << "#abc def\n" << "0:1";
        QTest::addRow("undo is consumed") << "x Ctrl+Z" << "abc def\n" << "0:0";
        QTest::addRow("select all and type") << "Ctrl+A z" << "z" << "0:1";
        // The editor's own keys get past the menus' shortcuts.
        QTest::addRow("document end") << "Ctrl+End" << "abc def\n" << "1:0";
        QTest::addRow("document start extending") << "Ctrl+End Ctrl+Shift+Home Backspace" << "" << "0:0";
        QTest::addRow("word deleted backward") << "End Ctrl+Backspace" << "abc \n" << "0:4";
        QTest::addRow("word deleted forward") << "Ctrl+Del" << "def\n" << "0:0";
        QTest::addRow("escape keeps the last caret") << "Ctrl+Alt+Down Esc x" << "abc def\nx" << "1:1";
        QTest::addRow("tab indents the selected lines") << "Shift+Down Tab" << "\tabc def\n" << "1:0";
        QTest::addRow("page down") << "PgDown" << "abc def\n" << "1:0";
    }
    void keysReachTheActiveEditor()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(QString, caret);
        auto app = t::startApp(&m_desktop);
        const QString repo = m_workspace->repo("r", {{"f.txt", "abc def\n"}});
        app->state().openFileFromFinder(repo + "/f.txt");
        t::waitForOpens(app->state());
        EditorViewModel *editor = t::activeEditor(*app);
        QTRY_VERIFY(app->mainWindow()->activeView() && app->mainWindow()->activeView()->editorArea()->showsEditor());
        QWidget *canvas = app->mainWindow()->activeView()->editorArea()->pane()->canvas();
        canvas->setFocus();
        for (const QString &key : keys.split(u' ')) {
            const QKeySequence sequence(key);
            QTest::keyClick(canvas, Qt::Key(sequence[0].key()), sequence[0].keyboardModifiers());
        }
        QCOMPARE(editor->document()->text(), text);
        const TextCursor &first = editor->cursors().constFirst();
        QCOMPARE(QStringLiteral("%1:%2").arg(first.line).arg(first.column), caret);
    }

    // Each tab keeps its view, with its caret and scroll position, while the others are shown.
    void switchingTabsKeepsEachView()
    {
        auto app = t::startApp(&m_desktop);
        QByteArray lines;
        for (int i = 0; i < 500; ++i) {
            lines += "line " + QByteArray::number(i) + "\n";
        }
        const QString a = m_workspace->repo("a", {{"long.txt", lines}});
        app->state().openFileFromFinder(a + "/long.txt");
        t::waitForOpens(app->state());
        app->state().openRepository(m_workspace->repo("b", {{"b.txt", "b\n"}}));
        t::waitForOpens(app->state());
        const QUuid first = app->state().tabs()[0].id;
        app->state().setActiveTabId(first);
        QTRY_VERIFY(app->mainWindow()->viewForTab(first) && app->mainWindow()->activeView() == app->mainWindow()->viewForTab(first));
        RepositoryView *view = app->mainWindow()->activeView();
        QTRY_VERIFY(view->editorArea()->showsEditor() && view->editorArea()->pane()->isVisible());
        t::activeEditor(*app)->goToLine(400, 2);
        t::activeEditor(*app)->setMinimapScrollTarget(400);
        QScrollBar *scroll = view->editorArea()->pane()->scrollHost()->verticalScrollBar();
        QTRY_VERIFY(scroll->value() > 0);
        const int offset = scroll->value();

        QTest::keyClick(app->mainWindow(), Qt::Key_PageDown, Qt::ControlModifier);
        QTRY_VERIFY(app->mainWindow()->activeView() != view);
        QTest::keyClick(app->mainWindow(), Qt::Key_PageUp, Qt::ControlModifier);
        QTRY_COMPARE(app->mainWindow()->activeView(), view);
        QCOMPARE(t::activeEditor(*app)->cursors().constFirst().line, 400);
        QCOMPARE(scroll->value(), offset);
    }

    void conflictPanelForTheActiveEditor()
    {
        auto app = t::startApp(&m_desktop);
        const QString repo = m_workspace->repo("r", {{"f.txt", "one\n"}});
        app->state().openFileFromFinder(repo + "/f.txt");
        t::waitForOpens(app->state());
        EditorViewModel *editor = t::activeEditor(*app);
        editor->insertAtCursors(QStringLiteral("mine "));
        t::changeOnDisk(repo + "/f.txt", "theirs\n");
        editor->reloadIfChanged();
        QTRY_VERIFY(openConflictPanel() && openConflictPanel()->isVisible());
        QCOMPARE(openConflictPanel()->editor(), editor);
        openConflictPanel()->reloadButton()->click();
        QTRY_COMPARE(editor->document()->text(), QStringLiteral("theirs\n"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
