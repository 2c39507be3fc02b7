#pragma once

#include "editor/editor_key_event.h"
#include "editor/save_queue.h"
#include "editor/scroll_state.h"
#include "editor/text_cursor.h"
#include "platform/file_time.h"
#include "text/vesk_document.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class FileLoad;

// The editor of one repository tab or standalone window: the open document, the carets, the
// open file and the little view state the canvas needs. Announces willChange() before every
// published field is stored, and forwards every announcement of its current document.
//
// Positions are 0-based (line, column) with columns in characters. Line queries go to the
// document's tree one line at a time, so editing stays fast on very large files.
class EditorViewModel : public QObject
{
    Q_OBJECT

public:
    static constexpr int highlightDurationMs = 1200;
    // Typing (or deleting) on at the same carets within this time joins the previous undo step.
    static constexpr qint64 typingPauseMs = 1000;
    // How long closing or quitting waits for a write before going on without it.
    static constexpr std::chrono::milliseconds saveWaitBound{30000};

    // What an edit was, for joining undo steps: typing joins typing, deleting joins deleting.
    enum class EditKind { Other, Typing, Deleting };

    explicit EditorViewModel(QObject *parent = nullptr);
    ~EditorViewModel() override;

    // Published state. The document is replaced by every open and reload: views re-read it on
    // willChange() rather than keeping the pointer.
    VeskDocument *document() const { return m_document.get(); }
    const QList<TextCursor> &cursors() const { return m_cursors; }
    void setCursors(QList<TextCursor> cursors);
    const std::optional<QString> &currentFilePath() const { return m_currentFilePath; }
    const QString &currentFileName() const { return m_currentFileName; }
    double lineHeight() const { return m_lineHeight; }
    void setLineHeight(double height);
    bool isTrackpadSelecting() const { return m_isTrackpadSelecting; }
    void setTrackpadSelecting(bool selecting);
    const std::optional<qint64> &minimapScrollTarget() const { return m_minimapScrollTarget; }
    void setMinimapScrollTarget(std::optional<qint64> line);
    const std::optional<qint64> &highlightLine() const { return m_highlightLine; }
    ScrollState *scrollState() const { return m_scrollState; }
    bool pendingConflict() const { return m_pendingConflict; }
    void setPendingConflict(bool pending);
    // Why the last open or reload failed, for a view to tell the user; cleared by the next
    // successful open or reload.
    const std::optional<QString> &openError() const { return m_openError; }
    // Why the last write failed; the edits then stay unsaved. Cleared by the next successful
    // write or open.
    const std::optional<QString> &saveError() const { return m_saveError; }
    // Why the committed version could not be had as the baseline (the marks then show changes
    // since the file was opened); cleared when the next lookup starts.
    const std::optional<QString> &baselineError() const { return m_baselineError; }
    // The file starts with a UTF-8 byte-order mark: not part of the text, written back on save.
    bool hasByteOrderMark() const { return m_hasByteOrderMark; }

    // File state that is not announced.
    const std::optional<FileTime> &lastKnownModDate() const { return m_lastKnownModDate; }
    // The text last read from or written to the file; null when there was none yet.
    const VeskNodePtr &lastSavedContent() const { return m_lastSavedContent; }
    bool hasUnsavedEdits() const;
    // Why the unsaved edits cannot be written now, in plain words for a "close without saving"
    // question: the file changed on disk since it was read (saving would overwrite that), or
    // the last write failed. Empty when nothing stands in the way.
    QString closeBlocker() const;
    void setOnFileOpened(std::function<void(const QString &)> callback) { m_onFileOpened = std::move(callback); }

    // Carets, selections and moves. Nothing here changes the text.
    void goToLine(qint64 line, qint64 column);
    // One caret at (line, column), clamped to the text, with the minimap brought to it (a
    // restored caret). While a big file loads, a place past the part read so far, like one for
    // goToLine, is taken once the rest is there, unless setCursors() places the carets first.
    void placeCaret(qint64 line, qint64 column);
    void clampCursors();
    void addCursor(qint64 line, qint64 column);
    void addCursorAbove();
    void addCursorBelow();
    QList<qsizetype> cursorIndicesLastFirst() const;
    void beginSelection(qint64 line, qint64 column);
    void extendSelection(qint64 line, qint64 column);
    void selectAll();
    void selectWord(qint64 line, qint64 column);
    void setAnchorIfNeeded(qsizetype index);
    void clearSelection(qsizetype index);
    void moveCursorsLeft(bool extending);
    void moveCursorsRight(bool extending);
    void moveCursorsUp(bool extending);
    void moveCursorsDown(bool extending);
    void moveCursorsToLineStart(bool extending);
    void moveCursorsToLineEnd(bool extending);
    void moveCursorsWordLeft(bool extending);
    void moveCursorsWordRight(bool extending);
    // Up and down (by a line or a page) keep the column a caret had when it started moving
    // vertically, through shorter lines.
    void moveCursorsByPage(bool down, bool extending);
    void moveCursorsToDocumentStart(bool extending);
    void moveCursorsToDocumentEnd(bool extending);
    // Several carets become the last one made, else a selection collapses; false when there
    // was nothing to do.
    bool collapseCursors();
    // One caret with a selection from `anchor` to the clicked place (Shift+click).
    void extendSelectionTo(qint64 line, qint64 column);
    // The whole line, with its break (triple click).
    void selectLine(qint64 line);
    // The word (or single other character) at a place: [start, end) columns.
    std::pair<qint64, qint64> wordBounds(qint64 line, qint64 column) const;

    // Editing at the carets. Each call is one undo step whatever the number of carets; calls
    // between beginEdit() and endEdit() make one step together.
    void beginEdit(EditKind kind = EditKind::Other);
    void endEdit();
    void insertAtCursors(const QString &text);
    void deleteAtCursors();
    void deleteForwardAtCursors();
    // Deletes from each caret to the start of its word (or the end of the next), joining lines
    // at a line's edge.
    void deleteWordAtCursors(bool forward);
    // A line break followed by the leading white space of the caret's line.
    void insertNewLineKeepingIndent();
    // Puts a tab before each line of [first, last], or takes one tab or up to tab-width spaces off.
    void indentLines(qint64 first, qint64 last, bool outdent);
    // The lines the selections cover when one spans more than one line.
    std::optional<std::pair<qint64, qint64>> selectedLineSpan() const;
    std::optional<QString> selectedText() const;
    std::optional<QString> deleteSelection();
    bool collapseSelectionForEdit();
    // Replaces the selection with `text` (or inserts it at every caret): one undo step.
    void paste(const QString &text);
    // Undo and redo one step, with the carets and selections it had before (after) it.
    void undo();
    void redo();
    // For tests: the clock (milliseconds) that decides when typing has paused.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
    // Performs the key's editing action; false when the key is not the editor's.
    bool handleKeyEvent(const EditorKeyEvent &event);

    // The file. A big file opens in stages: its first part shows at once for reading and
    // scrolling, the rest is read off the main thread; edits and saves wait until it is
    // complete. Should the rest fail (not UTF-8, changed while read), the file before it is
    // back as it was.
    // Saving writes a snapshot of the text off the main thread while the user types on; the
    // file counts as saved once the write succeeded and only while the text still equals that
    // snapshot. `then` runs on the main thread when the save has ended (written, failed,
    // refused, or nothing to write).
    void openFile(const QString &path);
    // What openFile does with a path where nothing exists yet.
    enum class MissingFile { fail, startEmpty };
    // With `startEmpty`, a path that does not exist yet in an existing folder opens as an empty
    // file that the first save creates (an explicit save even while it is empty).
    void openFile(const QString &path, MissingFile missing);
    // The open file does not exist on disk yet.
    bool isNewFile() const { return m_isNewFile; }
    bool isLoading() const { return m_load != nullptr; }
    void save(std::function<void()> then = {});
    void autoSave(std::function<void()> then = {});
    // For the moments that may not go on before the file is written (closing a window or a
    // tab, quitting): the save, then a wait (bounded by saveWaitBound) until it has ended.
    void saveAndWait();
    void autoSaveAndWait();
    // Waits (bounded) for the writes under way; false when one was still running at the bound.
    bool finishSaving();
    bool isSaving() const;
    // Runs `then` on the main thread once every write asked for so far has ended (at once when
    // none is under way).
    void whenSavesEnd(std::function<void()> then);
    // Writes the text whatever the disk holds, and settles the conflict.
    void forceSaveToDisk();
    void forceReloadFromDisk();
    void reloadIfChanged();
    // Shows no file any more: no path, "Untitled", an empty document. Unsaved edits are dropped,
    // so this is for a file that is gone (deleted by the user).
    void closeFile();
    // The open file was renamed or moved to `newPath`: the editor keeps its document and edits
    // and saves to the new path from now on.
    void followMovedFile(const QString &newPath);
    // Looks up the committed content in the background and makes it the baseline when it
    // arrives (main thread).
    void refreshGitBaseline();

    static std::optional<FileTime> fileModDate(const QString &path);
    // The file's content in its repository's HEAD commit (byte-order mark included), when it
    // is valid UTF-8. Any thread.
    static std::optional<QByteArray> gitHeadContent(const QString &path);

Q_SIGNALS:
    void willChange();
    // The carets moved somewhere the user must see (undo, redo); views scroll the last one into view.
    void revealCursorRequested();

private:
    template <typename T>
    void publish(T &field, T value)
    {
        Q_EMIT willChange();
        field = std::move(value);
    }

    void observeDocument();
    void endTypingRun() { m_lastEditKind = EditKind::Other; }
    void restoreCursors(const std::optional<std::any> &carets);
    void replaceDocument(const VeskNodePtr &text);
    qint64 lineLength(qint64 line) const;
    template <typename Move>
    void moveEachCursor(bool extending, Move move);
    template <typename Target>
    void moveVertically(bool extending, Target target);
    void collapseOverlappingCarets();
    qint64 linesPerPage() const;
    struct CaretEdit
    {
        qint64 newLine, newColumn;  // where the edited caret goes
        qint64 refLine, refColumn;  // first old position after the edited text
    };
    template <typename Edit>
    void editEachCursor(Edit edit);
    struct SelectionRange
    {
        qint64 startLine, startColumn, endLine, endColumn;  // columns clamped to their lines
    };
    std::optional<SelectionRange> primarySelection() const;
    void removeSelection(const SelectionRange &range);
    bool reloadFromDisk(std::optional<FileTime> modDate);
    void takeOverDiskText(const VeskNodePtr &text, bool hasByteOrderMark, std::optional<FileTime> modDate);
    bool diskIsNewer(const std::optional<FileTime> &diskDate) const;
    void saveIfAllowed(SaveQueue::Kind kind, std::function<void()> then);
    void startWrite(SaveQueue::Kind kind, std::function<void()> then);
    void takeSaveOutcome(const SaveQueue::Outcome &outcome);
    void lookUpGitBaseline();
    void showOpenedFile(const QString &absolutePath, const VeskNodePtr &text, bool hasByteOrderMark,
                        std::optional<FileTime> modDate);
    void finishLoading(const QString &absolutePath, VeskNodePtr text, const QString &error,
                       std::optional<FileTime> modDate);
    // Ends a load under way; the file before it comes back.
    void stopLoading();
    struct OpenFileState;

    std::unique_ptr<VeskDocument> m_document;
    QList<TextCursor> m_cursors;
    std::optional<QString> m_currentFilePath;
    QString m_currentFileName;
    double m_lineHeight = 20.0;
    bool m_isTrackpadSelecting = false;
    std::optional<qint64> m_minimapScrollTarget;
    std::optional<qint64> m_highlightLine;
    ScrollState *m_scrollState;
    QMetaObject::Connection m_documentConnection;
    QTimer m_highlightTimer;
    SaveQueue *m_saves;
    std::optional<FileTime> m_lastKnownModDate;
    bool m_pendingConflict = false;
    VeskNodePtr m_lastSavedContent;
    struct UnsavedCheck
    {
        std::weak_ptr<const VeskNode> text;  // weak: an answer never keeps an old text alive
        std::weak_ptr<const VeskNode> saved;
        bool unsaved = true;
    };
    mutable UnsavedCheck m_unsavedCheck;
    std::function<void(const QString &)> m_onFileOpened;
    std::optional<QString> m_openError;
    std::optional<QString> m_saveError;
    std::optional<QString> m_baselineError;
    bool m_hasByteOrderMark = false;
    bool m_isNewFile = false;
    std::shared_ptr<FileLoad> m_load;                 // a big file being read
    std::unique_ptr<OpenFileState> m_beforeLoad;     // what was open before it
    struct CaretWhenLoaded
    {
        qint64 line, column;
        bool highlight;
    };
    std::optional<CaretWhenLoaded> m_caretWhenLoaded;
    quint64 m_baselineLookups = 0;  // only the latest lookup's answer is taken
    int m_editDepth = 0;
    EditKind m_editKind = EditKind::Other;
    EditKind m_lastEditKind = EditKind::Other;
    qint64 m_lastEditTime = 0;
    std::function<qint64()> m_clock;
    QHash<QUuid, qint64> m_goalColumns;  // per caret, while it moves up and down
    bool m_movingVertically = false;
};

} // namespace vesk
