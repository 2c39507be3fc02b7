#pragma once

#include "patch/patch_analysis.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>

#include <functional>

class QAbstractItemView;
class QCheckBox;

namespace vesk {

// The preview's read-only text. Space and the arrow keys belong to the review list, which the
// preview follows; everything else (selecting, copying, scrolling) is the text view's own.
class PatchPreviewTextView : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit PatchPreviewTextView(QWidget *parent = nullptr);

Q_SIGNALS:
    void spacePressed();
    void arrowPressed(int key);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The one preview window of the process: what one entry of a patch changes, as a diff or as the
// whole file with its added lines highlighted ("View only patch"). The styled text is built off
// the main thread (it runs diff and reads files); the newest request wins.
class PatchPreviewWindow : public QWidget
{
    Q_OBJECT

public:
    // The list the preview hands Space and the arrow keys to, and what Space does besides
    // closing the preview.
    struct ListLink
    {
        QPointer<QAbstractItemView> list;
        std::function<void()> onClosedBySpace;
    };

    explicit PatchPreviewWindow(QWidget *parent = nullptr);

    void showEntry(const PatchFileEntry &entry, const QString &repoPath);
    void setListLink(ListLink link) { m_link = std::move(link); }

    const std::optional<PatchFileEntry> &entry() const { return m_entry; }
    PatchPreviewTextView *textView() const { return m_text; }
    QCheckBox *viewOnlyPatchBox() const { return m_onlyPatch; }
    // True once the text of the last request is on show.
    bool isCurrent() const { return m_shown == m_requested; }

    // The process-wide "View only patch" setting (on at start, never saved).
    static bool viewOnlyPatch();

Q_SIGNALS:
    void textShown();

private:
    void render();
    void closeBySpace();

    PatchPreviewTextView *m_text;
    QCheckBox *m_onlyPatch;
    std::optional<PatchFileEntry> m_entry;
    QString m_repoPath;
    ListLink m_link;
    quint64 m_requested = 0;
    quint64 m_shown = 0;
};

// Shows `entry` in the shared preview window, reusing it while it is visible. A new window
// stands 12 points right of `beside` with its bottom level with beside's (centred on the screen
// without one); it is owned by `beside`.
PatchPreviewWindow *showPatchDiffPreview(const PatchFileEntry &entry, const QString &repoPath,
                                         QWidget *beside = nullptr, PatchPreviewWindow::ListLink link = {});

// The shared window while it exists (visible or not).
PatchPreviewWindow *patchPreviewWindow();
bool isPatchPreviewVisible();
void closePatchPreview();

} // namespace vesk
