#include "editor/ui/system_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace vesk {

std::optional<QString> SystemClipboard::plainText() const
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) {
        return std::nullopt;
    }
    return data->text();
}

void SystemClipboard::setPlainText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

} // namespace vesk
