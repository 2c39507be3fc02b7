#pragma once

#include "editor/editor_key_event.h"
#include "editor/editor_view_model.h"

#include <QPointer>
#include <QWidget>

#include <optional>

namespace vesk {

class DeferredRefresh;
class EditorCanvasView;
class EditorPaneView;
class EditorScrollHost;
class MinimapView;
class StatusBarView;

// A standalone window's content: the editor pane above a status row. Shows the conflict panel
// whenever the editor's pendingConflict turns true.
class StandaloneEditorView : public QWidget
{
    Q_OBJECT

public:
    StandaloneEditorView(EditorViewModel *editor, std::optional<QString> gitBranch, QWidget *parent = nullptr);

    EditorScrollHost *scrollHost() const;
    EditorCanvasView *canvas() const;
    MinimapView *minimap() const;
    StatusBarView *statusRow() const { return m_statusRow; }

private:
    void watchConflict();

    QPointer<EditorViewModel> m_editor;
    EditorPaneView *m_pane = nullptr;
    StatusBarView *m_statusRow = nullptr;
    bool m_conflictShown = false;
};

// A window of its own for one file, with its own editor. Keys go to the editor the way the
// application's key hook routes them, after the window's own Command+S (save), Command+L
// (go to line) and Command+W (close). The editor is saved when the window stops being the
// active window and when it closes, and looks for outside changes when it becomes active again.
class StandaloneEditorWindow : public QWidget
{
    Q_OBJECT

public:
    // Takes ownership of `editor`, which has `path` open.
    StandaloneEditorWindow(const QString &path, EditorViewModel *editor, std::optional<QString> gitBranch);
    ~StandaloneEditorWindow() override;

    EditorViewModel *editor() const { return m_editor; }
    StandaloneEditorView *view() const { return m_view; }
    const QString &path() const { return m_path; }

    // The window's own shortcuts; true when the key was one of them.
    bool performKeyEquivalent(const EditorKeyEvent &event);
    void focusCanvas();

    // "main.c — src": the file name and its folder's name.
    static QString titleFor(const QString &path);
    // The branch checked out where the file lies, from git (at most 5 seconds); nothing outside a
    // repository or when git fails. Blocks: windows ask for it in the background.
    static std::optional<QString> gitBranch(const QString &path);

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool routeKey(QKeyEvent *event);
    void updateTitle();
    void confirmClose();

    QString m_path;
    QPointer<EditorViewModel> m_editor;
    StandaloneEditorView *m_view = nullptr;
    bool m_leftForOwnPanel = false;
    bool m_discardConfirmed = false;
};

// Opens `path` in a standalone window, or brings the window already showing it to the front.
// Returns nothing, and shows no window, when the file cannot be read.
StandaloneEditorWindow *openFileInNewWindow(const QString &path);

// The open standalone windows, and the one registered for a path (as it was passed in).
QList<StandaloneEditorWindow *> standaloneWindows();
StandaloneEditorWindow *standaloneWindow(const QString &path);

} // namespace vesk
