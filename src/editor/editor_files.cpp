#include "editor/editor_view_model.h"

#include "editor/file_load.h"
#include "editor/head_baseline.h"
#include "editor/open_file_state.h"
#include "editor/save_failure.h"
#include "editor/text_file.h"
#include "platform/background.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

// The file lifecycle: open, save, reload, conflicts and the committed baseline.
//
// The editor never overwrites a file that changed on disk since it last looked (unless the user
// says so), never drops its own unsaved edits, and takes a changed file over silently when it
// holds no unsaved edits.

namespace vesk {

namespace {

QString quoted(const QString &name)
{
    return QStringLiteral("\u201C%1\u201D").arg(name);
}

} // namespace

std::optional<FileTime> EditorViewModel::fileModDate(const QString &path)
{
    return modificationTime(path);
}

// Asked on every repaint of the tab bar and the titles: the answer is kept for the pair of texts
// it was found for (the trees never change, so it stays right while both are the same).
bool EditorViewModel::hasUnsavedEdits() const
{
    const VeskNodePtr &text = m_document->vesk();
    if (!m_lastSavedContent) {
        return true;
    }
    if (m_unsavedCheck.text.lock() != text || m_unsavedCheck.saved.lock() != m_lastSavedContent) {
        m_unsavedCheck = {text, m_lastSavedContent, !sameText(text, m_lastSavedContent)};
    }
    return m_unsavedCheck.unsaved;
}

QString EditorViewModel::closeBlocker() const
{
    if (!m_currentFilePath || !hasUnsavedEdits()) {
        return {};
    }
    if (m_saves->isBusy()) {
        return saveUnfinishedSentence(m_currentFileName);
    }
    if (m_pendingConflict || diskIsNewer(fileModDate(*m_currentFilePath))) {
        return QStringLiteral("%1 was changed on disk by another program since it was opened. Saving your edits "
                              "would overwrite those changes.")
            .arg(quoted(m_currentFileName));
    }
    if (m_saveError) {
        return *m_saveError;
    }
    return {};
}

bool EditorViewModel::diskIsNewer(const std::optional<FileTime> &diskDate) const
{
    return m_lastKnownModDate && diskDate && *diskDate > *m_lastKnownModDate;
}

void EditorViewModel::replaceDocument(const VeskNodePtr &text)
{
    // The loaded text is the new document's baseline, so no line starts out marked.
    auto document = std::make_unique<VeskDocument>(text);
    Q_EMIT willChange();
    std::swap(m_document, document);
    observeDocument();
}

void EditorViewModel::openFile(const QString &path)
{
    openFile(path, MissingFile::fail);
}

void EditorViewModel::openFile(const QString &path, MissingFile missing)
{
    stopLoading();
    autoSaveAndWait();
    const QString absolutePath = QFileInfo(path).absoluteFilePath();
    if (m_currentFilePath && hasUnsavedEdits()) {
        // Replacing the document now would lose edits that could not be written.
        if (!m_pendingConflict && diskIsNewer(fileModDate(*m_currentFilePath))) {
            publish(m_pendingConflict, true);  // the user must choose between the two versions
        }
        publish(m_openError, std::optional<QString>(
                                 QStringLiteral("%1 was not opened: the unsaved edits to %2 could not be saved.")
                                     .arg(quoted(QFileInfo(path).fileName()), quoted(m_currentFileName))));
        return;
    }
    // The date is taken before the read: a write in between is then seen as a later change.
    const std::optional<FileTime> modDate = fileModDate(absolutePath);
    const QFileInfo info(absolutePath);
    // Never through a dangling link: the save would make a file wherever it leads.
    if (missing == MissingFile::startEmpty && !info.exists() && !info.isSymLink() && QFileInfo(info.path()).isDir()) {
        showOpenedFile(absolutePath, VeskNode::emptyLeaf(), false, modDate);
        m_isNewFile = true;
        return;
    }
    const std::shared_ptr<FileLoad> load = FileLoad::begin(absolutePath);
    if (load->isFinished()) {
        if (!load->outcome().text) {
            publish(m_openError, std::optional<QString>(load->outcome().error));
            return;
        }
        showOpenedFile(absolutePath, load->outcome().text, load->hasByteOrderMark(), modDate);
        return;
    }
    // A big file: its first part now, for reading and scrolling, the rest when it has been read.
    auto before = std::make_unique<OpenFileState>();
    before->document = std::make_unique<VeskDocument>(load->firstPart());
    before->path = m_currentFilePath;
    before->name = m_currentFileName;
    before->modDate = m_lastKnownModDate;
    before->lastSavedContent = m_lastSavedContent;
    before->hasByteOrderMark = m_hasByteOrderMark;
    before->cursors = m_cursors;
    before->baselineError = m_baselineError;
    Q_EMIT willChange();
    std::swap(m_document, before->document);
    observeDocument();
    m_beforeLoad = std::move(before);
    m_load = load;
    ++m_baselineLookups;  // a lookup for the earlier file has nothing to land on now
    m_hasByteOrderMark = load->hasByteOrderMark();
    publish(m_currentFilePath, std::optional<QString>(absolutePath));
    publish(m_currentFileName, QFileInfo(absolutePath).fileName());
    m_lastKnownModDate = modDate;
    m_lastSavedContent = load->firstPart();  // nothing counts as an edit, nothing is saved
    m_isNewFile = false;
    publish(m_pendingConflict, false);
    publish(m_cursors, QList<TextCursor>{TextCursor()});
    publish(m_openError, std::optional<QString>());
    publish(m_saveError, std::optional<QString>());
    publish(m_baselineError, std::optional<QString>());
    load->finishInBackground(this, [this, load, absolutePath, modDate](FileLoad::Outcome outcome) {
        if (m_load == load) {
            finishLoading(absolutePath, std::move(outcome.text), outcome.error, modDate);
        }
    });
}

void EditorViewModel::showOpenedFile(const QString &absolutePath, const VeskNodePtr &text, bool hasByteOrderMark,
                                     std::optional<FileTime> modDate)
{
    replaceDocument(text);
    m_hasByteOrderMark = hasByteOrderMark;
    publish(m_currentFilePath, std::optional<QString>(absolutePath));
    publish(m_currentFileName, QFileInfo(absolutePath).fileName());
    m_lastKnownModDate = modDate;
    m_lastSavedContent = text;
    m_isNewFile = false;
    publish(m_pendingConflict, false);
    publish(m_cursors, QList<TextCursor>{TextCursor()});
    publish(m_openError, std::optional<QString>());
    publish(m_saveError, std::optional<QString>());
    if (m_onFileOpened) {
        m_onFileOpened(absolutePath);
    }
    lookUpGitBaseline();
}

void EditorViewModel::finishLoading(const QString &absolutePath, VeskNodePtr text, const QString &error,
                                    std::optional<FileTime> modDate)
{
    m_load.reset();
    const std::optional<CaretWhenLoaded> place = std::exchange(m_caretWhenLoaded, std::nullopt);
    if (!text) {
        // The file before it comes back as it was; the part read is let go.
        std::unique_ptr<OpenFileState> before = std::move(m_beforeLoad);
        Q_EMIT willChange();
        std::swap(m_document, before->document);
        observeDocument();
        m_hasByteOrderMark = before->hasByteOrderMark;
        publish(m_currentFilePath, before->path);
        publish(m_currentFileName, before->name);
        m_lastKnownModDate = before->modDate;
        m_lastSavedContent = before->lastSavedContent;
        publish(m_cursors, before->cursors);
        publish(m_baselineError, before->baselineError);
        publish(m_openError, error.isEmpty() ? std::optional<QString>() : std::optional<QString>(error));
        before.reset();
        if (m_currentFilePath) {
            lookUpGitBaseline();
        }
        return;
    }
    m_beforeLoad.reset();
    // Carets placed while it loaded stay where they are: the first part is the start of the text.
    replaceDocument(text);
    m_lastKnownModDate = modDate;
    m_lastSavedContent = text;
    clampCursors();
    if (place && place->highlight) {
        goToLine(place->line, place->column);
    } else if (place) {
        placeCaret(place->line, place->column);
    }
    if (m_onFileOpened) {
        m_onFileOpened(absolutePath);
    }
    lookUpGitBaseline();
}

void EditorViewModel::stopLoading()
{
    if (m_load) {
        m_load->cancel();
        finishLoading(QString(), VeskNodePtr(), QString(), std::nullopt);
    }
}

void EditorViewModel::save(std::function<void()> then)
{
    saveIfAllowed(SaveQueue::Kind::explicitSave, std::move(then));
}

void EditorViewModel::autoSave(std::function<void()> then)
{
    saveIfAllowed(SaveQueue::Kind::automatic, std::move(then));
}

void EditorViewModel::saveAndWait()
{
    save();
    finishSaving();
}

void EditorViewModel::autoSaveAndWait()
{
    autoSave();
    finishSaving();
}

bool EditorViewModel::finishSaving()
{
    if (!m_saves->isBusy()) {
        return true;
    }
    if (m_saves->waitUntilIdle(saveWaitBound)) {
        return true;
    }
    // The write may still end well later; meanwhile nobody may take these edits as saved.
    if (m_currentFilePath) {
        publish(m_saveError, std::optional<QString>(saveUnfinishedSentence(m_currentFileName)));
    }
    return false;
}

bool EditorViewModel::isSaving() const
{
    return m_saves->isBusy();
}

void EditorViewModel::whenSavesEnd(std::function<void()> then)
{
    m_saves->whenIdle(std::move(then));
}

void EditorViewModel::saveIfAllowed(SaveQueue::Kind kind, std::function<void()> then)
{
    const auto finish = [&then] {
        if (then) {
            then();
        }
    };
    if (!m_currentFilePath || m_pendingConflict || m_load) {
        finish();
        return;
    }
    m_saves->deliverFinished();
    if (m_saves->isBusy()) {
        // Our own write is under way, so the disk's date says nothing yet: the writing thread
        // compares it with the date that write leaves. The same text queued again needs no
        // second write.
        if (m_saves->newestText() == m_document->vesk()) {
            m_saves->whenIdle(std::move(then));
        } else {
            startWrite(kind, std::move(then));
        }
        return;
    }
    const std::optional<FileTime> diskDate = fileModDate(*m_currentFilePath);
    // A file still to be made that something else made meanwhile counts as changed on disk.
    if (diskIsNewer(diskDate) || (m_isNewFile && diskDate)) {
        // Changed on disk: never overwrite. An automatic save leaves it to the next reload check.
        if (kind == SaveQueue::Kind::explicitSave) {
            // Nothing of ours to lose: show the disk's version. Only adopting its date would leave
            // the old text on screen, and the next save would silently overwrite the outside change.
            if (!hasUnsavedEdits()) {
                reloadFromDisk(diskDate);
            } else {
                publish(m_pendingConflict, true);
            }
        }
        finish();
        return;
    }
    // Saving a new file makes it, even empty; an automatic save waits for some text.
    if (hasUnsavedEdits() || (m_isNewFile && kind == SaveQueue::Kind::explicitSave)) {
        startWrite(kind, std::move(then));
    } else {
        finish();
    }
}

void EditorViewModel::forceSaveToDisk()
{
    if (!m_currentFilePath || m_load) {
        return;
    }
    m_saves->deliverFinished();
    startWrite(SaveQueue::Kind::forced, {});
    publish(m_pendingConflict, false);
}

void EditorViewModel::startWrite(SaveQueue::Kind kind, std::function<void()> then)
{
    SaveQueue::Request request;
    request.path = *m_currentFilePath;
    request.text = m_document->vesk();
    request.byteOrderMark = m_hasByteOrderMark;
    request.knownDate = m_lastKnownModDate;
    request.kind = kind;
    m_saves->enqueue(std::move(request), std::move(then));
}

void EditorViewModel::takeSaveOutcome(const SaveQueue::Outcome &outcome)
{
    if (outcome.request.path != m_currentFilePath) {
        return;  // every change of the file waits for the writes first; this one is stale
    }
    switch (outcome.result) {
    case SaveQueue::Outcome::Result::written:
        m_lastKnownModDate = outcome.diskDate;
        // Typing during the write leaves the document dirty against the snapshot written. Text
        // typed and taken back again counts as saved; the document's own root is then kept, so
        // later checks are answered by identity.
        m_lastSavedContent = sameText(m_document->vesk(), outcome.request.text) ? m_document->vesk()
                                                                                : outcome.request.text;
        m_isNewFile = false;
        if (m_saveError) {
            publish(m_saveError, std::optional<QString>());
        } else {
            Q_EMIT willChange();  // the unsaved-edits mark goes
        }
        break;
    case SaveQueue::Outcome::Result::failed:
        // Keeping the old saved text and date leaves the edits unsaved, so nothing looks saved.
        publish(m_saveError, std::optional<QString>(saveFailureSentence(m_currentFileName, outcome.write)));
        break;
    case SaveQueue::Outcome::Result::changedOnDisk:
        // Someone else wrote the file while ours waited. Leaving the file is no moment to ask.
        if (outcome.request.kind != SaveQueue::Kind::automatic && hasUnsavedEdits() && !m_pendingConflict) {
            publish(m_pendingConflict, true);
        }
        break;
    }
}

void EditorViewModel::reloadIfChanged()
{
    if (!m_currentFilePath || m_pendingConflict || m_load) {
        return;
    }
    m_saves->deliverFinished();
    if (m_saves->isBusy()) {
        return;  // the disk's newer date is our own write's; it is taken when that write lands
    }
    const std::optional<FileTime> diskDate = fileModDate(*m_currentFilePath);
    if (!diskDate || (m_lastKnownModDate && *diskDate <= *m_lastKnownModDate)) {
        return;
    }
    if (hasUnsavedEdits()) {
        publish(m_pendingConflict, true);
        return;
    }
    reloadFromDisk(diskDate);
}

bool EditorViewModel::reloadFromDisk(std::optional<FileTime> modDate)
{
    const TextFileRead read = readTextFile(*m_currentFilePath);
    if (!read.text) {
        publish(m_openError, std::optional<QString>(read.error));
        return false;
    }
    takeOverDiskText(read.text, read.hasByteOrderMark, modDate);
    return true;
}

void EditorViewModel::forceReloadFromDisk()
{
    // A write landing after the reload would put the dropped edits back on disk.
    if (!m_currentFilePath || m_load || !finishSaving()) {
        return;
    }
    if (reloadFromDisk(fileModDate(*m_currentFilePath))) {
        publish(m_pendingConflict, false);
    }
}

void EditorViewModel::takeOverDiskText(const VeskNodePtr &text, bool hasByteOrderMark,
                                       std::optional<FileTime> modDate)
{
    const qint64 line = m_cursors.isEmpty() ? 0 : m_cursors.first().line;
    replaceDocument(text);
    m_hasByteOrderMark = hasByteOrderMark;
    m_isNewFile = false;
    m_lastKnownModDate = modDate;
    m_lastSavedContent = text;
    const qint64 lastLine = std::max<qint64>(m_document->lineCount() - 1, 0);
    publish(m_cursors, QList<TextCursor>{TextCursor::at(std::clamp<qint64>(line, 0, lastLine), 0)});
    publish(m_openError, std::optional<QString>());
}

void EditorViewModel::refreshGitBaseline()
{
    if (m_currentFilePath) {
        lookUpGitBaseline();
    }
}

void EditorViewModel::lookUpGitBaseline()
{
    const QString path = *m_currentFilePath;
    const quint64 lookup = ++m_baselineLookups;
    if (m_baselineError) {
        publish(m_baselineError, std::optional<QString>());
    }
    // The committed text is compared with the text on show off the main thread, however large.
    const VeskNodePtr shown = m_document->vesk();
    const bool hasByteOrderMark = m_hasByteOrderMark;
    struct Found
    {
        VeskNodePtr text;
        bool firstLineDiffers = false;
        DiffResult marks;
        QString problem;
    };
    // A committed text equal to the loaded one shares its tree: a big unchanged file is then
    // held once, not twice. Otherwise the committed bytes live only until their tree is built.
    runInBackground<Found>(
        this, WorkPriority::UserInitiated,
        [path, shown, hasByteOrderMark]() -> Found {
            const HeadBaseline head = HeadBaselineLookup::lookUp(path);
            const VeskNodePtr committed = !head.content ? VeskNodePtr()
                : sameUtf8(shown, *head.content)      ? shown
                                                      : treeFromUtf8(*head.content);
            if (!committed) {
                return {{}, false, {}, head.problem};
            }
            // A byte-order mark added or removed changes the file's first line.
            const bool firstLineDiffers = head.hasByteOrderMark != hasByteOrderMark;
            auto [text, marks] = VeskDocument::prepareBaseline(committed, shown, firstLineDiffers);
            return {std::move(text), firstLineDiffers, std::move(marks), head.problem};
        },
        [this, path, lookup, shown](Found found) {
            // An older lookup finishing late, or one for a file no longer open, is dropped.
            if (lookup != m_baselineLookups || m_currentFilePath != path) {
                return;
            }
            if (!found.problem.isEmpty()) {
                publish(m_baselineError, std::optional<QString>(
                                             QStringLiteral("%1: no comparison with the last commit (%2)")
                                                 .arg(quoted(m_currentFileName), found.problem)));
            }
            if (found.text) {
                m_document->adoptBaseline(found.text, found.firstLineDiffers, shown, std::move(found.marks));
                Q_EMIT willChange();
            }
        });
}

std::optional<QByteArray> EditorViewModel::gitHeadContent(const QString &path)
{
    HeadBaseline head = HeadBaselineLookup::lookUp(path);
    if (head.content && head.hasByteOrderMark) {
        head.content->prepend(utf8ByteOrderMark.data(), utf8ByteOrderMark.size());
    }
    return head.content;
}

void EditorViewModel::closeFile()
{
    if (m_load) {
        m_load->cancel();  // the file is gone: neither it nor the one before comes back
        m_load.reset();
        m_beforeLoad.reset();
        m_caretWhenLoaded.reset();
    }
    finishSaving();
    auto document = std::make_unique<VeskDocument>();
    Q_EMIT willChange();
    std::swap(m_document, document);
    observeDocument();
    publish(m_currentFilePath, std::optional<QString>());
    publish(m_currentFileName, QStringLiteral("Untitled"));
    m_lastKnownModDate.reset();
    m_lastSavedContent.reset();
    m_hasByteOrderMark = false;
    m_isNewFile = false;
    ++m_baselineLookups;  // a lookup still under way was for the file that is gone
    publish(m_pendingConflict, false);
    publish(m_cursors, QList<TextCursor>{TextCursor()});
    publish(m_openError, std::optional<QString>());
    publish(m_saveError, std::optional<QString>());
    publish(m_baselineError, std::optional<QString>());
}

void EditorViewModel::followMovedFile(const QString &newPath)
{
    if (!m_currentFilePath) {
        return;
    }
    finishSaving();  // a write for the old path must not be taken for the new one
    const QString absolutePath = QFileInfo(newPath).absoluteFilePath();
    publish(m_currentFilePath, std::optional<QString>(absolutePath));
    publish(m_currentFileName, QFileInfo(absolutePath).fileName());
}

} // namespace vesk
