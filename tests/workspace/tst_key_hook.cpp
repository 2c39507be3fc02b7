#include "editor/editor_view_model.h"
#include "editor/ui/key_translation.h"
#include "platform/background.h"
#include "platform/preferences.h"
#include "test_support.h"
#include "workspace/app_state.h"
#include "workspace/key_hook.h"
#include "workspace/repository_state.h"

#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vesk;
namespace t = vesk::test;

namespace {

class MemoryClipboard : public TextClipboard
{
public:
    std::optional<QString> text;
    std::optional<QString> plainText() const override { return text; }
    void setPlainText(const QString &value) override { text = value; }
};

enum class Origin { MainWindow, StandaloneWindow, ClosedStandaloneWindow, NoAppState, NoActiveTab };

} // namespace

Q_DECLARE_METATYPE(Origin)

// The hook's choice of editor, driven by a real key event through the one translation the
// windows use. What each key then does is the shared routing's, tested with it.
class TestKeyHook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Preferences::useFile(m_dir.filePath("prefs.ini")); }
    void cleanupTestCase() { waitForBackgroundWork(); }

    void routes_data()
    {
        QTest::addColumn<Origin>("origin");
        QTest::addColumn<bool>("consumed");
        QTest::addColumn<QString>("tabText");
        QTest::addColumn<QString>("windowText");

        QTest::addRow("main window types into the active tab") << Origin::MainWindow << true << "qtab" << "window";
        QTest::addRow("standalone window types into its own editor")
            << Origin::StandaloneWindow << true << "tab" << "qwindow";
        QTest::addRow("closed standalone window reaches no editor")
            << Origin::ClosedStandaloneWindow << false << "tab" << "";
        QTest::addRow("application state gone") << Origin::NoAppState << false << "tab" << "window";
        QTest::addRow("no active tab") << Origin::NoActiveTab << false << "tab" << "window";
    }

    void routes()
    {
        QFETCH(Origin, origin);
        QFETCH(bool, consumed);
        QFETCH(QString, tabText);
        QFETCH(QString, windowText);

        const QString dir = m_dir.filePath(QTest::currentDataTag());
        t::writeFile(dir, "tab.txt", "tab");
        t::writeFile(dir, "window.txt", "window");
        AppState app;
        QTRY_VERIFY(app.hasRestored());
        app.openFileFromFinder(dir + "/tab.txt");
        EditorViewModel *tabEditor = app.activeTabState()->editor();
        auto windowEditor = std::make_unique<EditorViewModel>();
        windowEditor->openFile(dir + "/window.txt");

        KeyPressOrigin where;
        where.standaloneWindow = origin == Origin::StandaloneWindow || origin == Origin::ClosedStandaloneWindow;
        where.windowEditor = windowEditor.get();
        if (origin == Origin::ClosedStandaloneWindow) {
            windowEditor.reset();
        }
        if (origin == Origin::NoActiveTab) {
            app.setActiveTabId(std::nullopt);
        }
        MemoryClipboard board;
        const QKeyEvent press(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "q");
        const EditorKeyEvent event = editorKeyEvent(press, KeyboardConvention::Other);

        QCOMPARE(KeyHook::handleKeyPress(origin == Origin::NoAppState ? nullptr : &app, event, where, board), consumed);
        QCOMPARE(tabEditor->document()->text(), tabText);
        QCOMPARE(windowEditor ? windowEditor->document()->text() : QString(), windowText);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestKeyHook)
#include "tst_key_hook.moc"
