#pragma once

#include <QString>
#include <QtGlobal>

namespace vesk {

// A key press as the editor model sees it, independent of the window system: the hardware key
// code and modifier bits of the Mac keyboard (what the key table is written in) and the text the
// key produced. The one translation from the toolkit's events lives in editor/ui.
struct EditorKeyEvent
{
    quint16 keyCode = 0;
    quint64 modifierFlags = 0;
    QString characters;
    // The key's own character with no modifier applied ("z" for Command+Shift+Z), lower-cased.
    QString charactersIgnoringModifiers;

    bool has(quint64 modifier) const { return (modifierFlags & modifier) != 0; }
};

// Hardware key codes of the keys the editor handles.
namespace KeyCode {
inline constexpr quint16 Return = 36;
inline constexpr quint16 Tab = 48;
inline constexpr quint16 Delete = 51;  // backspace
inline constexpr quint16 Escape = 53;
inline constexpr quint16 KeypadEnter = 76;
inline constexpr quint16 Home = 115;
inline constexpr quint16 PageUp = 116;
inline constexpr quint16 ForwardDelete = 117;
inline constexpr quint16 End = 119;
inline constexpr quint16 PageDown = 121;
inline constexpr quint16 LeftArrow = 123;
inline constexpr quint16 RightArrow = 124;
inline constexpr quint16 DownArrow = 125;
inline constexpr quint16 UpArrow = 126;
// A key that has no Mac code of its own in this table; only its produced text counts.
inline constexpr quint16 Other = 0xFFFF;
} // namespace KeyCode

// Modifier bits of the flag word.
namespace KeyModifier {
inline constexpr quint64 Shift = 0x20000;
inline constexpr quint64 Control = 0x40000;
inline constexpr quint64 Option = 0x80000;
inline constexpr quint64 Command = 0x100000;
} // namespace KeyModifier

} // namespace vesk
