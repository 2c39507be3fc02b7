#pragma once

#include <QObject>
#include <QPointer>

namespace vesk {

class AppState;

// The application-wide key hook: sees every key press of the main window before its widgets and
// routes it through KeyHook (undo, redo, clipboard, select all, then the editor's own keys),
// leaving Ctrl shortcuts (Command on macOS) to the menus. Standalone editor windows and dialogs
// route their own keys.
//
// A focused text input (line edit, spin box, editable combo box or text edit) keeps its keys, and
// so does any focused widget (or ancestor) with the dynamic property "veskTakesKeys" set to true:
// panels that need their own keys (a tree that moves its selection with the arrows) set it. A
// visible top-level widget with "veskPatchPanel" set to true counts as the patch review or
// preview panel, which holds the editor keys back while it is open.
class KeyHookFilter : public QObject
{
    Q_OBJECT

public:
    explicit KeyHookFilter(AppState &app, QWidget *mainWindow, QObject *parent = nullptr);

    // Installs one filter on the application; does nothing when it is already installed.
    static void install(AppState &app, QWidget *mainWindow);
    static bool isInstalled();

    static bool focusTakesKeys(const QWidget *focus);
    static bool patchPanelVisible();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<AppState> m_app;
    QPointer<QWidget> m_mainWindow;
};

} // namespace vesk
