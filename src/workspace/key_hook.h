#pragma once

#include "editor/editor_key_event.h"
#include "editor/editor_key_router.h"

#include <QPointer>

namespace vesk {

class AppState;
class EditorViewModel;

// Where a key press happened, as the window system reports it.
struct KeyPressOrigin
{
    // The press went to a standalone editor window, whose own editor is then the target (null
    // once that editor is gone: the press then reaches no editor at all).
    bool standaloneWindow = false;
    QPointer<EditorViewModel> windowEditor;
    KeyRoutingContext context;  // a single-line input has focus, a patch panel is showing
};

// The application-wide key hook, which sees every key press before the windows do.
namespace KeyHook {

// The editor a press from `origin` is for: the standalone window's own editor, else the active
// tab's (null when there is no active tab or it has no state).
EditorViewModel *targetEditor(const AppState &app, const KeyPressOrigin &origin);

// Routes one press: true when it was used up, false when it goes on to its window and the menus.
// `app` is null once the application state is gone, and every press then goes on.
bool handleKeyPress(const AppState *app, const EditorKeyEvent &event, const KeyPressOrigin &origin,
                    TextClipboard &clipboard);

} // namespace KeyHook
} // namespace vesk
