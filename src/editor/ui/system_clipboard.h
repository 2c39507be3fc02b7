#pragma once

#include "editor/editor_key_router.h"

namespace vesk {

// The desktop's clipboard, as plain text.
class SystemClipboard : public TextClipboard
{
public:
    std::optional<QString> plainText() const override;
    void setPlainText(const QString &text) override;
    // The primary selection of X11 and Wayland: the text last selected, pasted with a middle
    // click. Where the window system has none (offscreen) it is kept in the process; on macOS
    // there is none.
    std::optional<QString> primaryText() const;
    void setPrimaryText(const QString &text);
};

} // namespace vesk
