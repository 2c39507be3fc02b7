#include "patch/ui/patch_preview_window.h"

#include "patch/patch_preview_lines.h"
#include "patch/ui/patch_preview_document.h"
#include "platform/background.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>
#include <QVBoxLayout>

#include <memory>

namespace vesk {

namespace {

constexpr int windowWidth = 720;
constexpr int windowHeight = 520;
constexpr int gap = 12;

bool &onlyPatchSetting()
{
    static bool value = true;
    return value;
}

QPointer<PatchPreviewWindow> &sharedWindow()
{
    static QPointer<PatchPreviewWindow> window;
    return window;
}

} // namespace

PatchPreviewTextView::PatchPreviewTextView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setObjectName(QStringLiteral("patchPreviewText"));
}

void PatchPreviewTextView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        Q_EMIT spacePressed();
        return;
    }
    if ((event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) && !(event->modifiers() & Qt::ShiftModifier)) {
        Q_EMIT arrowPressed(event->key());
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

PatchPreviewWindow::PatchPreviewWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool)
    , m_text(new PatchPreviewTextView(this))
    , m_onlyPatch(new QCheckBox(QStringLiteral("View only patch"), this))
{
    setObjectName(QStringLiteral("patchPreviewWindow"));
    setProperty("veskPatchPanel", true);
    resize(windowWidth, windowHeight);
    setMinimumSize(400, 300);
    QFont boxFont = m_onlyPatch->font();
    boxFont.setPointSize(10);
    m_onlyPatch->setFont(boxFont);
    m_onlyPatch->setChecked(onlyPatchSetting());

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(4);
    auto *top = new QHBoxLayout;
    top->setContentsMargins(8, 0, 8, 0);
    top->addWidget(m_onlyPatch);
    top->addStretch();
    layout->addLayout(top);
    layout->addWidget(m_text, 1);

    connect(m_onlyPatch, &QCheckBox::toggled, this, [this](bool on) {
        onlyPatchSetting() = on;
        if (m_entry) {
            render();
        }
    });
    connect(m_text, &PatchPreviewTextView::spacePressed, this, &PatchPreviewWindow::closeBySpace);
    connect(m_text, &PatchPreviewTextView::arrowPressed, this, [this](int key) {
        if (QAbstractItemView *list = m_link.list) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(list, &press);
        }
    });
}

bool PatchPreviewWindow::viewOnlyPatch()
{
    return onlyPatchSetting();
}

void PatchPreviewWindow::showEntry(const PatchFileEntry &entry, const QString &repoPath)
{
    m_entry = entry;
    m_repoPath = repoPath;
    m_onlyPatch->setChecked(onlyPatchSetting());
    render();
}

void PatchPreviewWindow::render()
{
    const PatchFileEntry entry = *m_entry;
    const QString repoPath = m_repoPath;
    const PreviewStyle style = onlyPatchSetting() ? PreviewStyle::diff : PreviewStyle::wholeFile;
    const quint64 request = ++m_requested;
    setWindowTitle(QStringLiteral("Patch Preview \u2014 ") + entry.relativePath
                   + (entry.isNew ? QStringLiteral(" (new file)") : QString()));
    runInBackground<std::shared_ptr<PreviewText>>(
        this, WorkPriority::UserInitiated,
        [entry, repoPath, style] {
            return std::make_shared<PreviewText>(style == PreviewStyle::diff ? buildPreviewDiff(entry, repoPath)
                                                                             : buildPreviewWholeFile(entry, repoPath));
        },
        [this, request, style](std::shared_ptr<PreviewText> text) {
            if (request != m_requested) {
                return;  // a newer request is on its way
            }
            // The view deletes a document of its own when replaced; one of ours goes here.
            QPointer<QTextDocument> previous = m_text->document();
            const bool ours = previous && previous->parent() == this;
            m_text->setDocument(buildPreviewDocument(*text, style, palette(), this));
            if (ours && previous) {
                delete previous;
            }
            m_text->moveCursor(QTextCursor::Start);
            m_text->horizontalScrollBar()->setValue(0);
            m_text->verticalScrollBar()->setValue(0);
            setWindowTitle(QStringLiteral("Patch Preview \u2014 ") + text->titleSuffix);
            m_shown = request;
            Q_EMIT textShown();
        });
}

void PatchPreviewWindow::closeBySpace()
{
    hide();
    if (m_link.onClosedBySpace) {
        m_link.onClosedBySpace();
    }
}

PatchPreviewWindow *showPatchDiffPreview(const PatchFileEntry &entry, const QString &repoPath, QWidget *beside,
                                         PatchPreviewWindow::ListLink link)
{
    PatchPreviewWindow *window = sharedWindow();
    const bool reused = window && window->isVisible() && window->parentWidget() == beside;
    if (!reused) {
        if (window) {
            window->hide();
            window->deleteLater();
        }
        window = new PatchPreviewWindow(beside);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        sharedWindow() = window;
        QRect frame(0, 0, windowWidth, windowHeight);
        if (beside) {
            const QRect panel = beside->frameGeometry();
            frame.moveBottomLeft(QPoint(panel.right() + 1 + gap, panel.bottom()));
        } else if (QScreen *screen = QGuiApplication::primaryScreen()) {
            frame.moveCenter(screen->availableGeometry().center());
        }
        window->move(frame.topLeft());
    }
    window->setListLink(std::move(link));
    window->showEntry(entry, repoPath);
    if (!reused) {
        // A visible preview only follows along: the keyboard stays where the user is.
        window->show();
        window->raise();
        window->activateWindow();
    }
    return window;
}

PatchPreviewWindow *patchPreviewWindow()
{
    return sharedWindow();
}

bool isPatchPreviewVisible()
{
    return sharedWindow() && sharedWindow()->isVisible();
}

void closePatchPreview()
{
    if (PatchPreviewWindow *window = sharedWindow()) {
        window->hide();
    }
}

} // namespace vesk
