#pragma once

#include "editor/editor_key_event.h"

class QKeyEvent;

namespace vesk {

// Which keyboard the user's habits come from.
enum class KeyboardConvention {
    Mac,    // key codes and modifiers as the Mac reports them
    Other,  // Ctrl plays Command, Alt plays Option; Home, End and Ctrl+arrows as on Linux
};

KeyboardConvention nativeKeyboardConvention();

// The one translation from the toolkit's key events to the editor's.
EditorKeyEvent editorKeyEvent(const QKeyEvent &event, KeyboardConvention convention = nativeKeyboardConvention());

} // namespace vesk
