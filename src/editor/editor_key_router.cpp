#include "editor/editor_key_router.h"

#include "editor/editor_view_model.h"

namespace vesk {

namespace {

// Keys that move the caret with Command too (Command+arrow; Ctrl+Home on Linux).
bool isNavigation(quint16 keyCode)
{
    switch (keyCode) {
    case KeyCode::LeftArrow:
    case KeyCode::RightArrow:
    case KeyCode::UpArrow:
    case KeyCode::DownArrow:
    case KeyCode::Home:
    case KeyCode::End:
    case KeyCode::PageUp:
    case KeyCode::PageDown:
        return true;
    default:
        return false;
    }
}

// The Command rows of the key table; every row uses the press up, acting or not.
bool applyCommandShortcut(const QString &key, bool shift, EditorViewModel &editor, TextClipboard &clipboard)
{
    if (key == u"z") {
        shift ? editor.redo() : editor.undo();
        return true;
    }
    if (key == u"x" || key == u"c") {
        if (const std::optional<QString> text = editor.selectedText()) {
            clipboard.setPlainText(*text);
            if (key == u"x") {
                editor.deleteSelection();
            }
        }
        return true;
    }
    if (key == u"v") {
        if (const std::optional<QString> text = clipboard.plainText()) {
            editor.paste(*text);
        }
        return true;
    }
    if (key == u"a") {
        editor.selectAll();
        return true;
    }
    return false;
}

} // namespace

bool routeKeyToEditor(const EditorKeyEvent &event, EditorViewModel *target, const KeyRoutingContext &context,
                      TextClipboard &clipboard)
{
    if (context.singleLineInputHasFocus) {
        return false;
    }
    const bool command = event.has(KeyModifier::Command);
    if (command && target && target->currentFilePath()
        && applyCommandShortcut(event.charactersIgnoringModifiers, event.has(KeyModifier::Shift), *target, clipboard)) {
        return true;
    }
    if (command && !event.has(KeyModifier::Option) && !isNavigation(event.keyCode)) {
        return false;
    }
    if (context.patchPanelVisible || !target) {
        return false;
    }
    return target->handleKeyEvent(event);
}

} // namespace vesk
