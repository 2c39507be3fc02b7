#include "editor/ui/standalone_editor_window.h"

#include "editor/editor_key_router.h"
#include "editor/text_file.h"
#include "editor/ui/conflict_panel.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_pane_view.h"
#include "editor/ui/editor_scroll_host.h"
#include "editor/ui/go_to_line_panel.h"
#include "editor/ui/key_translation.h"
#include "editor/ui/minimap_view.h"
#include "editor/ui/status_bar_view.h"
#include "editor/ui/system_clipboard.h"
#include "editor/ui/window_title.h"
#include "platform/background.h"
#include "platform/process_runner.h"
#include "platform/tool_paths.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <chrono>

namespace vesk {

namespace {

constexpr int reloadDelayMs = 100;
constexpr std::chrono::seconds branchTimeout{5};

QHash<QString, QPointer<StandaloneEditorWindow>> &registry()
{
    static QHash<QString, QPointer<StandaloneEditorWindow>> windows;
    return windows;
}

// A dialog of this application: a panel, or the question asked before closing.
bool isOwnPanel(QWindow *window)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->windowHandle() == window) {
            return qobject_cast<QDialog *>(widget) != nullptr;
        }
    }
    return false;
}

QMainWindow *visibleMainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *main = qobject_cast<QMainWindow *>(widget); main && main->isVisible()) {
            return main;
        }
    }
    return nullptr;
}

} // namespace

StandaloneEditorView::StandaloneEditorView(EditorViewModel *editor, std::optional<QString> gitBranch, QWidget *parent)
    : QWidget(parent)
    , m_editor(editor)
{
    m_pane = new EditorPaneView(editor, this);

    m_statusRow = new StatusBarView(editor, std::move(gitBranch), this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_pane, 1);
    column->addWidget(m_statusRow);
    setFocusProxy(m_pane);

    auto *conflicts = new DeferredRefresh(this, [this] { watchConflict(); });
    conflicts->watch(editor, &EditorViewModel::willChange);
}

EditorScrollHost *StandaloneEditorView::scrollHost() const
{
    return m_pane->scrollHost();
}

EditorCanvasView *StandaloneEditorView::canvas() const
{
    return m_pane->canvas();
}

MinimapView *StandaloneEditorView::minimap() const
{
    return m_pane->minimap();
}

void StandaloneEditorView::watchConflict()
{
    if (!m_editor) {
        return;
    }
    const bool pending = m_editor->pendingConflict();
    if (pending && !m_conflictShown) {
        QPointer<EditorViewModel> editor = m_editor;
        showConflictPanel(
            editor,
            [editor] {
                if (editor) {
                    editor->forceReloadFromDisk();
                }
            },
            [editor] {
                if (editor) {
                    editor->forceSaveToDisk();
                }
            });
    }
    m_conflictShown = pending;
}

StandaloneEditorWindow::StandaloneEditorWindow(const QString &path, EditorViewModel *editor,
                                               std::optional<QString> gitBranch)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                           | Qt::WindowMaximizeButtonHint)
    , m_path(path)
    , m_editor(editor)
{
    setAttribute(Qt::WA_DeleteOnClose);
    editor->setParent(this);
    setFileWindowTitle(*this, titleFor(editor->currentFilePath().value_or(path)), editor->hasUnsavedEdits());
    setWindowFilePath(editor->currentFilePath().value_or(path));
    resize(800, 600);
    setMinimumSize(400, 300);

    m_view = new StandaloneEditorView(editor, std::move(gitBranch), this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    m_view->canvas()->installEventFilter(this);
    installEventFilter(this);
    auto *title = new DeferredRefresh(this, [this] { updateTitle(); });
    title->watch(editor, &EditorViewModel::willChange);
    // Any other window of ours, or another application, counts as elsewhere.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *focused) {
        if (focused && focused != windowHandle() && !isOwnPanel(focused)) {
            m_leftForOwnPanel = false;
        }
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) {
            m_leftForOwnPanel = false;
        }
    });
}

StandaloneEditorWindow::~StandaloneEditorWindow()
{
    auto found = registry().find(m_path);
    if (found != registry().end() && (found.value() == this || !found.value())) {
        registry().erase(found);
    }
}

void StandaloneEditorWindow::updateTitle()
{
    if (m_editor) {
        setFileWindowTitle(*this, titleFor(m_editor->currentFilePath().value_or(m_path)), m_editor->hasUnsavedEdits());
    }
}

QString StandaloneEditorWindow::titleFor(const QString &path)
{
    const QFileInfo file(path);
    return file.fileName() + QStringLiteral(" \u2014 ") + QFileInfo(file.absolutePath()).fileName();
}

std::optional<QString> StandaloneEditorWindow::gitBranch(const QString &path)
{
    ProcessRequest request;
    request.program = toolPath(Tool::Git);
    request.arguments = {QStringLiteral("rev-parse"), QStringLiteral("--abbrev-ref"), QStringLiteral("HEAD")};
    request.workingDirectory = QFileInfo(path).absolutePath();
    request.timeout = branchTimeout;
    const std::optional<ProcessResult> result = runProcess(request);
    if (!result || result->endedBySignal || result->exitCode != 0 || !isValidUtf8(result->standardOutput)) {
        return std::nullopt;
    }
    const QString branch = QString::fromUtf8(result->standardOutput).trimmed();
    return branch.isEmpty() ? std::nullopt : std::optional<QString>(branch);
}

bool StandaloneEditorWindow::performKeyEquivalent(const EditorKeyEvent &event)
{
    if (event.modifierFlags != KeyModifier::Command || !m_editor) {
        return false;
    }
    const QString &key = event.charactersIgnoringModifiers;
    if (key == u"s") {
        m_editor->save();
    } else if (key == u"l") {
        showGoToLinePanel(m_editor);
    } else if (key == u"w") {
        close();
    } else {
        return false;
    }
    return true;
}

void StandaloneEditorWindow::focusCanvas()
{
    if (auto *canvas = findChild<EditorCanvasView *>()) {
        canvas->setFocus(Qt::OtherFocusReason);
    }
}

bool StandaloneEditorWindow::routeKey(QKeyEvent *event)
{
    const EditorKeyEvent key = editorKeyEvent(*event);
    if (performKeyEquivalent(key)) {
        return true;
    }
    SystemClipboard clipboard;
    if (routeKeyToEditor(key, m_editor, KeyRoutingContext{}, clipboard)) {
        m_view->scrollHost()->revealCursorSoon();
        return true;
    }
    return false;
}

bool StandaloneEditorWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == this || watched == m_view->canvas())) {
        return routeKey(static_cast<QKeyEvent *>(event));
    }
    return QWidget::eventFilter(watched, event);
}

bool StandaloneEditorWindow::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate) {
        // Coming back from one of our own panels is no return from elsewhere: after "Cancel" in
        // the conflict panel, looking again at once would raise the same conflict at once.
        const bool fromOwnPanel = std::exchange(m_leftForOwnPanel, false);
        QTimer::singleShot(reloadDelayMs, this, [this, fromOwnPanel] {
            if (m_editor && !fromOwnPanel) {
                m_editor->reloadIfChanged();
            }
            if (!qobject_cast<EditorCanvasView *>(focusWidget())) {
                focusCanvas();
            }
        });
    } else if (event->type() == QEvent::WindowDeactivate) {
        m_leftForOwnPanel = qobject_cast<QDialog *>(QApplication::activeWindow()) != nullptr;
        if (m_editor) {
            m_editor->autoSave();
        }
    }
    return QWidget::event(event);
}

void StandaloneEditorWindow::closeEvent(QCloseEvent *event)
{
    if (m_editor) {
        m_editor->autoSaveAndWait();  // the window may not go before its file is written
    }
    if (m_editor && m_editor->hasUnsavedEdits() && !m_discardConfirmed) {
        // Closing now would lose edits that could not be written.
        event->ignore();
        confirmClose();
        return;
    }
    registry().remove(m_path);
    event->accept();
}

// The edits could not be saved on the way out. Whatever the cause (the file changed on disk,
// writing failed), the user hears why and may close without them or stay; a close never leads
// back into the conflict panel, which could not save them either.
void StandaloneEditorWindow::confirmClose()
{
    // One more explicit try unless the disk changed (saving would overwrite that); a failure
    // names its reason.
    if (const QString blocker = m_editor->closeBlocker(); blocker.isEmpty() || m_editor->saveError() == blocker) {
        m_editor->saveAndWait();
    }
    if (!m_editor->hasUnsavedEdits()) {
        QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    QString reason = m_editor->closeBlocker();
    if (reason.isEmpty()) {
        reason = QStringLiteral("The file could not be written.");
    }
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Unsaved Edits"),
                                QStringLiteral("\u201C%1\u201D could not be saved.").arg(m_editor->currentFileName()),
                                QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(reason);
    QPushButton *discard = box->addButton(QStringLiteral("Close Without Saving"), QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole));
    connect(discard, &QPushButton::clicked, this, [this] {
        m_discardConfirmed = true;
        QTimer::singleShot(0, this, &QWidget::close);
    });
    box->setWindowModality(Qt::WindowModal);
    box->show();
}

StandaloneEditorWindow *openFileInNewWindow(const QString &path)
{
    if (StandaloneEditorWindow *existing = registry().value(path); existing && existing->isVisible()) {
        existing->raise();
        existing->activateWindow();
        return existing;
    }
    auto editor = std::make_unique<EditorViewModel>();
    editor->openFile(path);
    if (!editor->currentFilePath()) {
        return nullptr;
    }
    auto *window = new StandaloneEditorWindow(path, editor.release(), std::nullopt);
    // Git is never waited for on the main thread: the branch shows when it is known.
    QPointer<StatusBarView> row = window->view()->statusRow();
    runInBackground<std::optional<QString>>(
        row, WorkPriority::UserInitiated, [path] { return StandaloneEditorWindow::gitBranch(path); },
        [row](std::optional<QString> branch) { row->setBranch(std::move(branch)); });
    if (QMainWindow *main = visibleMainWindow()) {
        window->move(main->frameGeometry().topLeft() + QPoint(40, 40));
    } else if (QScreen *screen = window->screen()) {
        const QRect available = screen->availableGeometry();
        window->move(available.center() - QPoint(window->width() / 2, window->height() / 2));
    }
    window->show();
    window->raise();
    window->activateWindow();
    if (StandaloneEditorWindow *replaced = registry().value(path)) {
        replaced->deleteLater();  // a registered window that was hidden
    }
    registry().insert(path, window);
    QTimer::singleShot(0, window, &StandaloneEditorWindow::focusCanvas);
    return window;
}

QList<StandaloneEditorWindow *> standaloneWindows()
{
    QList<StandaloneEditorWindow *> windows;
    for (const QPointer<StandaloneEditorWindow> &window : std::as_const(registry())) {
        if (window) {
            windows.append(window);
        }
    }
    return windows;
}

StandaloneEditorWindow *standaloneWindow(const QString &path)
{
    return registry().value(path);
}

} // namespace vesk
