#include "editor/ui/key_translation.h"
#include "editor_test_util.h"

#include <QKeyEvent>
#include <QTestEventList>
#include <QWidget>

using namespace vesk;
using namespace vesk::test;
using namespace vesk::KeyModifier;

namespace {

// Hands every key press to the editor the way the application's key hook does.
class KeyTarget : public QWidget
{
public:
    explicit KeyTarget(EditorViewModel &editor) : m_editor(editor) {}
    int unhandled = 0;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (m_editor.handleKeyEvent(editorKeyEvent(*event, KeyboardConvention::Other))) {
            event->accept();
        } else {
            // Presses of a modifier key alone are passed on too; only other keys are counted.
            const bool modifierAlone = event->key() >= Qt::Key_Shift && event->key() <= Qt::Key_Alt;
            unhandled += modifierAlone ? 0 : 1;
            event->ignore();
        }
    }

private:
    EditorViewModel &m_editor;
};

} // namespace

class TestKeyTranslation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translation_data();
    void translation();
    void baseCharacters_data();
    void baseCharacters();
    void typingThroughAWidget_data();
    void typingThroughAWidget();

private:
    QTemporaryDir m_dir;
};

void TestKeyTranslation::translation_data()
{
    QTest::addColumn<KeyboardConvention>("convention");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("nativeKey");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<quint64>("flags");

    const auto mac = KeyboardConvention::Mac;
    const auto other = KeyboardConvention::Other;
    const int ctrl = Qt::ControlModifier;
    const int alt = Qt::AltModifier;
    const int shift = Qt::ShiftModifier;
    const int meta = Qt::MetaModifier;
    QTest::addRow("mac: Qt's Control is Command") << mac << int(Qt::Key_Left) << ctrl << 123 << "" << 123 << Command;
    QTest::addRow("mac: Qt's Meta is Control") << mac << int(Qt::Key_A) << meta << 0 << "\x01" << 0 << Control;
    QTest::addRow("mac: option shift and the native code")
        << mac << int(Qt::Key_Down) << (alt | shift | ctrl) << 125 << "" << 125 << (Option | Shift | Command);
    QTest::addRow("mac: text passes") << mac << int(Qt::Key_E) << alt << 14 << "\u00B4" << 14 << Option;
    QTest::addRow("return") << other << int(Qt::Key_Return) << 0 << 0 << "\r" << 36 << quint64(0);
    QTest::addRow("keypad enter") << other << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 0 << "\r" << 76
                                  << quint64(0);
    QTest::addRow("shift tab is tab") << other << int(Qt::Key_Backtab) << shift << 0 << "" << 48 << Shift;
    QTest::addRow("backspace") << other << int(Qt::Key_Backspace) << 0 << 0 << "\b" << 51 << quint64(0);
    QTest::addRow("ctrl left is a word move") << other << int(Qt::Key_Left) << ctrl << 0 << "" << 123 << Option;
    QTest::addRow("ctrl shift right extends by word") << other << int(Qt::Key_Right) << (ctrl | shift) << 0 << ""
                                                      << 124 << (Option | Shift);
    QTest::addRow("home is the line start") << other << int(Qt::Key_Home) << alt << 0 << "" << 123 << Command;
    QTest::addRow("shift end extends to the line end") << other << int(Qt::Key_End) << shift << 0 << "" << 124
                                                       << (Command | Shift);
    QTest::addRow("ctrl home is left alone") << other << int(Qt::Key_Home) << ctrl << 0 << "" << 115 << Command;
    QTest::addRow("ctrl alt down adds a caret") << other << int(Qt::Key_Down) << (ctrl | alt) << 0 << "" << 125
                                                << (Command | Option);
    QTest::addRow("super is control") << other << int(Qt::Key_X) << meta << 0 << "x" << 0xFFFF << Control;
    QTest::addRow("letters keep their text") << other << int(Qt::Key_A) << 0 << 0 << "a" << 0xFFFF << quint64(0);
}

void TestKeyTranslation::translation()
{
    QFETCH(KeyboardConvention, convention);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, nativeKey);
    QFETCH(QString, text);
    QFETCH(int, keyCode);
    QFETCH(quint64, flags);
    const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), 0, quint32(nativeKey), 0, text);
    const EditorKeyEvent translated = editorKeyEvent(event, convention);
    QCOMPARE(int(translated.keyCode), keyCode);
    QCOMPARE(translated.modifierFlags, flags);
    QCOMPARE(translated.characters, text);
}

void TestKeyTranslation::baseCharacters_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("base");

    QTest::addRow("ctrl z reads z") << int(Qt::Key_Z) << int(Qt::ControlModifier) << "\x1a" << "z";
    QTest::addRow("ctrl shift z reads z") << int(Qt::Key_Z) << int(Qt::ControlModifier | Qt::ShiftModifier) << "\x1a"
                                          << "z";
    QTest::addRow("shifted letter is lower-cased") << int(Qt::Key_V) << int(Qt::ShiftModifier) << "V" << "v";
    QTest::addRow("arrow has none") << int(Qt::Key_Left) << int(Qt::ControlModifier) << "" << "";
}

void TestKeyTranslation::baseCharacters()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(QString, base);
    for (KeyboardConvention convention : {KeyboardConvention::Mac, KeyboardConvention::Other}) {
        const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
        QCOMPARE(editorKeyEvent(event, convention).charactersIgnoringModifiers, base);
    }
}

void TestKeyTranslation::typingThroughAWidget_data()
{
    QTest::addColumn<QTestEventList>("events");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("expectedCursors");
    QTest::addColumn<int>("unhandled");

    QTestEventList typing;
    typing.addKeyClicks(QStringLiteral("Hi "));
    typing.addKeyClick(Qt::Key_Return);
    typing.addKeyClick(Qt::Key_Tab);
    QTest::addRow("letters, return and tab") << typing << "Hi \n\talpha beta\ngamma" << "1:1" << 0;

    QTestEventList words;
    words.addKeyClick(Qt::Key_Right, Qt::ControlModifier);
    words.addKeyClick(Qt::Key_End, Qt::ShiftModifier);
    words.addKeyClicks(QStringLiteral("Z"));
    QTest::addRow("ctrl right then shift end, typing replaces") << words << "alpha Z\ngamma" << "0:7" << 0;

    QTestEventList carets;
    carets.addKeyClick(Qt::Key_Down, Qt::ControlModifier | Qt::AltModifier);
    carets.addKeyClick(Qt::Key_End);
    carets.addKeyClick(Qt::Key_Backspace);
    carets.addKeyClick(Qt::Key_Home);
    carets.addKeyClick(Qt::Key_Delete);
    QTest::addRow("two carets edit both lines") << carets << "lpha bet\namm" << "0:0 1:0" << 0;

    QTestEventList commands;
    commands.addKeyClick(Qt::Key_Z, Qt::ControlModifier);
    commands.addKeyClick(Qt::Key_Escape);
    commands.addKeyClick(Qt::Key_F5);
    commands.addKeyClick(Qt::Key_Right, Qt::ShiftModifier);
    QTest::addRow("commands and function keys pass on") << commands << "alpha beta\ngamma" << "0:1[0:0]" << 3;
}

void TestKeyTranslation::typingThroughAWidget()
{
    QFETCH(QTestEventList, events);
    QFETCH(QString, expectedText);
    QFETCH(QString, expectedCursors);
    QFETCH(int, unhandled);
    EditorViewModel editor;
    openText(editor, m_dir, QStringLiteral("alpha beta\ngamma"));
    KeyTarget target(editor);
    events.simulate(&target);
    QCOMPARE(editor.document()->text(), expectedText);
    QCOMPARE(describeCursors(editor.cursors()), expectedCursors);
    QCOMPARE(target.unhandled, unhandled);
}

QTEST_MAIN(TestKeyTranslation)
#include "tst_key_translation.moc"
