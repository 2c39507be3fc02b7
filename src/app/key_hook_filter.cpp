#include "app/key_hook_filter.h"

#include "editor/ui/editor_scroll_host.h"
#include "editor/ui/key_translation.h"
#include "editor/ui/system_clipboard.h"
#include "workspace/app_state.h"
#include "workspace/key_hook.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace vesk {

namespace {

QPointer<KeyHookFilter> &installedFilter()
{
    static QPointer<KeyHookFilter> filter;
    return filter;
}

bool isEditableText(const QWidget *widget)
{
    if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget)) {
        return true;
    }
    if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
        return combo->isEditable();
    }
    if (const auto *text = qobject_cast<const QTextEdit *>(widget)) {
        return !text->isReadOnly();
    }
    if (const auto *plain = qobject_cast<const QPlainTextEdit *>(widget)) {
        return !plain->isReadOnly();
    }
    return false;
}

} // namespace

KeyHookFilter::KeyHookFilter(AppState &app, QWidget *mainWindow, QObject *parent)
    : QObject(parent)
    , m_app(&app)
    , m_mainWindow(mainWindow)
{
}

void KeyHookFilter::install(AppState &app, QWidget *mainWindow)
{
    if (installedFilter()) {
        return;
    }
    auto *filter = new KeyHookFilter(app, mainWindow, &app);
    qApp->installEventFilter(filter);
    installedFilter() = filter;
}

bool KeyHookFilter::isInstalled()
{
    return !installedFilter().isNull();
}

bool KeyHookFilter::focusTakesKeys(const QWidget *focus)
{
    if (isEditableText(focus)) {
        return true;
    }
    for (const QWidget *widget = focus; widget; widget = widget->parentWidget()) {
        if (widget->property("veskTakesKeys").toBool()) {
            return true;
        }
    }
    return false;
}

bool KeyHookFilter::patchPanelVisible()
{
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->property("veskPatchPanel").toBool()) {
            return true;
        }
    }
    return false;
}

bool KeyHookFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
        return false;
    }
    auto *widget = static_cast<QWidget *>(watched);
    // A press travels from the focused widget up through its parents, passing this filter at
    // each step; it is looked at once, where it starts.
    QWidget *focus = QApplication::focusWidget();
    if (!m_mainWindow || widget->window() != m_mainWindow || widget != (focus ? focus : widget->window())) {
        return false;
    }
    KeyPressOrigin origin;
    origin.context.singleLineInputHasFocus = focusTakesKeys(widget);
    origin.context.patchPanelVisible = patchPanelVisible();
    SystemClipboard clipboard;
    const bool used = KeyHook::handleKeyPress(m_app.data(), editorKeyEvent(*static_cast<QKeyEvent *>(event)), origin,
                                              clipboard);
    if (used && m_app) {
        // Keep the caret in view after a move or an edit.
        const EditorViewModel *target = KeyHook::targetEditor(*m_app, origin);
        for (EditorScrollHost *host : m_mainWindow->findChildren<EditorScrollHost *>()) {
            if (host->editor() == target) {
                host->revealCursorSoon();
            }
        }
    }
    return used;
}

} // namespace vesk
