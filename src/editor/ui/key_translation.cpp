#include "editor/ui/key_translation.h"

#include <QKeyEvent>

namespace vesk {

namespace {

quint64 flag(Qt::KeyboardModifiers modifiers, Qt::KeyboardModifier qt, quint64 bit)
{
    return modifiers.testFlag(qt) ? bit : 0;
}

// Letters and digits by the key itself, so Ctrl+Z reads "z" although its text is a control code.
QString baseCharacters(const QKeyEvent &event)
{
    const int key = event.key();
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return QString(QChar(key)).toLower();
    }
    const QString text = event.text();
    return text.size() == 1 && text[0].isPrint() ? text.toLower() : QString();
}

quint16 keyCodeOf(int key)
{
    switch (key) {
    case Qt::Key_Return: return KeyCode::Return;
    case Qt::Key_Enter: return KeyCode::KeypadEnter;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return KeyCode::Tab;
    case Qt::Key_Backspace: return KeyCode::Delete;
    case Qt::Key_Delete: return KeyCode::ForwardDelete;
    case Qt::Key_Escape: return KeyCode::Escape;
    case Qt::Key_Home: return KeyCode::Home;
    case Qt::Key_End: return KeyCode::End;
    case Qt::Key_PageUp: return KeyCode::PageUp;
    case Qt::Key_PageDown: return KeyCode::PageDown;
    case Qt::Key_Left: return KeyCode::LeftArrow;
    case Qt::Key_Right: return KeyCode::RightArrow;
    case Qt::Key_Down: return KeyCode::DownArrow;
    case Qt::Key_Up: return KeyCode::UpArrow;
    default: return KeyCode::Other;
    }
}

// The event with the given key code. On the Mac, Qt reports Command as Control and Control as
// Meta; elsewhere Ctrl plays Command. Either way Qt's Control is our Command.
EditorKeyEvent translated(const QKeyEvent &event, quint16 keyCode)
{
    const Qt::KeyboardModifiers m = event.modifiers();
    EditorKeyEvent result;
    result.keyCode = keyCode;
    result.modifierFlags = flag(m, Qt::ShiftModifier, KeyModifier::Shift) | flag(m, Qt::MetaModifier, KeyModifier::Control)
        | flag(m, Qt::AltModifier, KeyModifier::Option) | flag(m, Qt::ControlModifier, KeyModifier::Command);
    result.characters = event.text();
    result.charactersIgnoringModifiers = baseCharacters(event);
    return result;
}

EditorKeyEvent fromMac(const QKeyEvent &event)
{
    return translated(event, quint16(event.nativeVirtualKey()));
}

EditorKeyEvent fromOther(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers m = event.modifiers();
    EditorKeyEvent result = translated(event, keyCodeOf(event.key()));
    const bool ctrl = m.testFlag(Qt::ControlModifier);
    switch (result.keyCode) {
    case KeyCode::Home:
    case KeyCode::End:
        // To the line's start or end, as the arrows with Command do; Ctrl+Home is not a line move.
        if (!ctrl) {
            result.keyCode = result.keyCode == KeyCode::Home ? KeyCode::LeftArrow : KeyCode::RightArrow;
            result.modifierFlags = (result.modifierFlags & KeyModifier::Shift) | KeyModifier::Command;
            result.characters.clear();
        }
        break;
    case KeyCode::LeftArrow:
    case KeyCode::RightArrow:
    case KeyCode::Delete:
    case KeyCode::ForwardDelete:
        // Ctrl+arrow moves by words and Ctrl+Backspace deletes one, which the table gives to Option.
        if (ctrl) {
            result.modifierFlags = (result.modifierFlags & ~KeyModifier::Command) | KeyModifier::Option;
        }
        break;
    default:
        break;
    }
    return result;
}

} // namespace

KeyboardConvention nativeKeyboardConvention()
{
#ifdef Q_OS_MACOS
    return KeyboardConvention::Mac;
#else
    return KeyboardConvention::Other;
#endif
}

EditorKeyEvent editorKeyEvent(const QKeyEvent &event, KeyboardConvention convention)
{
    return convention == KeyboardConvention::Mac ? fromMac(event) : fromOther(event);
}

} // namespace vesk
