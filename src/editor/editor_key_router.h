#pragma once

#include "editor/editor_key_event.h"

#include <QString>

#include <optional>

namespace vesk {

class EditorViewModel;

// The system clipboard as the key routing needs it: plain text in and out.
class TextClipboard
{
public:
    virtual ~TextClipboard() = default;
    virtual std::optional<QString> plainText() const = 0;
    virtual void setPlainText(const QString &text) = 0;
};

struct KeyRoutingContext
{
    bool singleLineInputHasFocus = false;  // a search or rename field takes its own keys
    bool patchPanelVisible = false;        // the patch review or preview panel is showing
};

// Decides what one key press does on its way to `target` (the standalone window's editor, or
// the active tab's; null when there is none): Command with z, Shift+z, x, c, v, a are undo,
// redo, cut, copy, paste and select all; other Command shortcuts go on to the menus; everything
// else goes to the editor's handleKeyEvent. Returns true when the press was used up.
//
// One exception to "Command goes on to the menus": Command with an arrow, Home, End, Page Up or
// Page Down is a caret move, which no menu claims (on Linux Home and End arrive as Command with
// an arrow, Ctrl+Home and Ctrl+End as Command with Home and End).
bool routeKeyToEditor(const EditorKeyEvent &event, EditorViewModel *target, const KeyRoutingContext &context,
                      TextClipboard &clipboard);

} // namespace vesk
