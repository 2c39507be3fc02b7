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

// The hook's choice of editor, driven by real key events through the one translation the
// windows use (Ctrl plays Command).
class TestKeyHook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { Preferences::useFile(m_dir.filePath("prefs.ini")); }
    void cleanupTestCase() { waitForBackgroundWork(); }

    void routes_data()
    {
        QTest::addColumn<Origin>("origin");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("consumed");
        QTest::addColumn<QString>("tabText");
        QTest::addColumn<QString>("windowText");
        QTest::addColumn<QString>("clipboard");

        const int ctrl = Qt::ControlModifier;
        QTest::addRow("typing in the main window") << Origin::MainWindow << int(Qt::Key_Q) << 0 << "q" << true << "qtab"
                                                   << "window" << "CLIP";
        // The standalone editor's text starts out selected.
        QTest::addRow("typing in a standalone window")
            << Origin::StandaloneWindow << int(Qt::Key_Q) << 0 << "q" << true << "tab" << "q" << "CLIP";
        QTest::addRow("copy in a standalone window copies its selection")
            << Origin::StandaloneWindow << int(Qt::Key_C) << ctrl << "\x03" << true << "tab" << "window"
            << "window";
        QTest::addRow("paste in the main window") << Origin::MainWindow << int(Qt::Key_V) << ctrl << "\x16" << true
                                                  << "CLIPtab" << "window" << "CLIP";
        QTest::addRow("closed standalone window reaches no editor")
            << Origin::ClosedStandaloneWindow << int(Qt::Key_Q) << 0 << "q" << false << "tab" << "window" << "CLIP";
        QTest::addRow("application state gone") << Origin::NoAppState << int(Qt::Key_Q) << 0 << "q" << false << "tab"
                                                << "window" << "CLIP";
        QTest::addRow("no active tab") << Origin::NoActiveTab << int(Qt::Key_Q) << 0 << "q" << false << "tab"
                                       << "window" << "CLIP";
        QTest::addRow("save goes on to the menu") << Origin::MainWindow << int(Qt::Key_S) << ctrl << "\x13" << false
                                                  << "tab" << "window" << "CLIP";
    }

    void routes()
    {
        QFETCH(Origin, origin);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(bool, consumed);
        QFETCH(QString, tabText);
        QFETCH(QString, windowText);
        QFETCH(QString, clipboard);

        const QString dir = m_dir.filePath(QTest::currentDataTag());
        t::writeFile(dir, "tab.txt", "tab");
        t::writeFile(dir, "window.txt", "window");
        AppState app;
        QTRY_VERIFY(app.hasRestored());
        app.openFileFromFinder(dir + "/tab.txt");
        EditorViewModel *tabEditor = app.activeTabState()->editor();
        auto windowEditor = std::make_unique<EditorViewModel>();
        windowEditor->openFile(dir + "/window.txt");
        windowEditor->selectAll();

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
        board.text = "CLIP";
        const QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
        const EditorKeyEvent event = editorKeyEvent(press, KeyboardConvention::Other);

        QCOMPARE(KeyHook::handleKeyPress(origin == Origin::NoAppState ? nullptr : &app, event, where, board), consumed);
        QCOMPARE(tabEditor->document()->text(), tabText);
        if (windowEditor) {
            QCOMPARE(windowEditor->document()->text(), windowText);
        }
        QCOMPARE(board.text.value_or(QString()), clipboard);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestKeyHook)
#include "tst_key_hook.moc"
