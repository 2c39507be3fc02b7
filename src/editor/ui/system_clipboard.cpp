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

namespace {

std::optional<QString> &processPrimary()
{
    static std::optional<QString> text;
    return text;
}

} // namespace

std::optional<QString> SystemClipboard::primaryText() const
{
#ifdef Q_OS_MACOS
    return std::nullopt;
#else
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection()) {
        return processPrimary();
    }
    const QMimeData *data = clipboard->mimeData(QClipboard::Selection);
    if (!data || !data->hasText()) {
        return std::nullopt;
    }
    return data->text();
#endif
}

void SystemClipboard::setPrimaryText(const QString &text)
{
#ifndef Q_OS_MACOS
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection()) {
        clipboard->setText(text, QClipboard::Selection);
    } else {
        processPrimary() = text;
    }
#else
    Q_UNUSED(text);
#endif
}

} // namespace vesk
