#include "workspace/key_hook.h"

#include "editor/editor_view_model.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"

namespace vesk::KeyHook {

EditorViewModel *targetEditor(const AppState &app, const KeyPressOrigin &origin)
{
    if (origin.standaloneWindow) {
        return origin.windowEditor.data();
    }
    const RepositoryState *state = app.activeTabState();
    return state ? state->editor() : nullptr;
}

bool handleKeyPress(const AppState *app, const EditorKeyEvent &event, const KeyPressOrigin &origin,
                    TextClipboard &clipboard)
{
    if (!app) {
        return false;
    }
    return routeKeyToEditor(event, targetEditor(*app, origin), origin.context, clipboard);
}

} // namespace vesk::KeyHook
