#pragma once

#include "editor/editor_key_router.h"

namespace vesk {

// The desktop's clipboard, as plain text.
class SystemClipboard : public TextClipboard
{
public:
    std::optional<QString> plainText() const override;
    void setPlainText(const QString &text) override;
};

} // namespace vesk
