#include "editor/editor_view_model.h"

#include "editor/text_file.h"
#include "platform/atomic_write.h"
#include "platform/background.h"
#include "platform/process_runner.h"
#include "platform/tool_paths.h"

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

std::optional<ProcessResult> runGit(const QString &directory, const QStringList &arguments)
{
    ProcessRequest request;
    request.program = toolPath(Tool::Git);
    request.arguments = arguments;
    request.workingDirectory = directory;
    request.timeout = std::chrono::milliseconds(EditorViewModel::gitTimeoutMs);
    std::optional<ProcessResult> result = runProcess(request);
    if (!result || result->endedBySignal || result->exitCode != 0) {
        return std::nullopt;
    }
    return result;
}

// `path` relative to `root` when it lies inside it, else nothing.
std::optional<QString> relativeTo(const QString &root, const QString &path)
{
    const QString prefix = root + u'/';
    if (!path.startsWith(prefix)) {
        return std::nullopt;
    }
    return path.mid(prefix.size());
}

} // namespace

std::optional<FileTime> EditorViewModel::fileModDate(const QString &path)
{
    return modificationTime(path);
}

bool EditorViewModel::hasUnsavedEdits() const
{
    return !m_lastSavedContent || !sameText(m_document->vesk(), m_lastSavedContent);
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
    autoSave();
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
    const TextFileRead read = readTextFile(absolutePath);
    if (!read.text) {
        publish(m_openError, std::optional<QString>(read.error));
        return;
    }
    replaceDocument(read.text);
    publish(m_currentFilePath, std::optional<QString>(absolutePath));
    publish(m_currentFileName, QFileInfo(absolutePath).fileName());
    m_lastKnownModDate = modDate;
    m_lastSavedContent = read.text;
    publish(m_pendingConflict, false);
    publish(m_cursors, QList<TextCursor>{TextCursor()});
    publish(m_openError, std::optional<QString>());
    publish(m_saveError, std::optional<QString>());
    if (m_onFileOpened) {
        m_onFileOpened(absolutePath);
    }
    lookUpGitBaseline();
}

void EditorViewModel::save()
{
    saveIfAllowed(SaveKind::Explicit);
}

void EditorViewModel::autoSave()
{
    saveIfAllowed(SaveKind::Automatic);
}

void EditorViewModel::saveIfAllowed(SaveKind kind)
{
    if (!m_currentFilePath || m_pendingConflict) {
        return;
    }
    const std::optional<FileTime> diskDate = fileModDate(*m_currentFilePath);
    if (diskIsNewer(diskDate)) {
        // Changed on disk: never overwrite. An automatic save leaves it to the next reload check.
        if (kind == SaveKind::Automatic) {
            return;
        }
        // Nothing of ours to lose: show the disk's version. Only adopting its date would leave the
        // old text on screen, and the next save would silently overwrite the outside change.
        if (!hasUnsavedEdits()) {
            reloadFromDisk(diskDate);
        } else {
            publish(m_pendingConflict, true);
        }
        return;
    }
    if (hasUnsavedEdits()) {
        writeFile();
    }
}

void EditorViewModel::forceSaveToDisk()
{
    if (!m_currentFilePath) {
        return;
    }
    writeFile();
    publish(m_pendingConflict, false);
}

bool EditorViewModel::writeFile()
{
    const VeskNodePtr text = m_document->vesk();
    // Replacing a file by renaming would get past its missing write permission; honour it instead.
    const WriteResult written = isReadOnlyFile(*m_currentFilePath)
        ? WriteResult{false, QStringLiteral("the file is read-only.")}
        : atomicWrite(*m_currentFilePath, text->toUtf8());
    if (!written) {
        // Keeping the old saved text and date leaves the edits unsaved, so nothing looks saved.
        publish(m_saveError, std::optional<QString>(
                                 QStringLiteral("%1 could not be saved: %2").arg(quoted(m_currentFileName), written.error)));
        return false;
    }
    m_lastKnownModDate = fileModDate(*m_currentFilePath);
    m_lastSavedContent = text;
    if (m_saveError) {
        publish(m_saveError, std::optional<QString>());
    }
    return true;
}

void EditorViewModel::reloadIfChanged()
{
    if (!m_currentFilePath || m_pendingConflict) {
        return;
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
    takeOverDiskText(read.text, modDate);
    return true;
}

void EditorViewModel::forceReloadFromDisk()
{
    if (!m_currentFilePath) {
        return;
    }
    if (reloadFromDisk(fileModDate(*m_currentFilePath))) {
        publish(m_pendingConflict, false);
    }
}

void EditorViewModel::takeOverDiskText(const VeskNodePtr &text, std::optional<FileTime> modDate)
{
    const qint64 line = m_cursors.isEmpty() ? 0 : m_cursors.first().line;
    replaceDocument(text);
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
    runInBackground<VeskNodePtr>(
        this, WorkPriority::UserInitiated,
        [path]() -> VeskNodePtr {
            const std::optional<QByteArray> head = gitHeadContent(path);
            return head ? VeskNode::buildUtf8(*head) : VeskNodePtr();
        },
        [this, path](VeskNodePtr head) {
            // A baseline that arrives after another file was opened belongs to that other file.
            if (head && m_currentFilePath == path) {
                m_document->setOriginal(head);
                Q_EMIT willChange();
            }
        });
}

std::optional<QByteArray> EditorViewModel::gitHeadContent(const QString &path)
{
    const QFileInfo file(path);
    const QString directory = file.absolutePath();
    const std::optional<ProcessResult> top = runGit(directory, {QStringLiteral("rev-parse"), QStringLiteral("--show-toplevel")});
    if (!top || !isValidUtf8(top->standardOutput)) {
        return std::nullopt;
    }
    const QString root = QString::fromUtf8(top->standardOutput).trimmed();
    if (root.isEmpty()) {
        return std::nullopt;
    }
    // Git names the root with links resolved (/var is /private/var on macOS), so a path through
    // a linked folder is matched by its folder's real path too. The file itself stays unresolved.
    std::optional<QString> relative = relativeTo(root, file.absoluteFilePath());
    if (!relative) {
        const QString realDirectory = QFileInfo(directory).canonicalFilePath();
        relative = relativeTo(root, QDir(realDirectory).filePath(file.fileName()));
    }
    const std::optional<ProcessResult> show =
        runGit(root, {QStringLiteral("show"), QStringLiteral("HEAD:") + relative.value_or(file.fileName())});
    // Content that is not UTF-8 is no baseline (an empty one would mark every line).
    if (!show || !isValidUtf8(show->standardOutput)) {
        return std::nullopt;
    }
    return show->standardOutput;
}

void EditorViewModel::closeFile()
{
    auto document = std::make_unique<VeskDocument>();
    Q_EMIT willChange();
    std::swap(m_document, document);
    observeDocument();
    publish(m_currentFilePath, std::optional<QString>());
    publish(m_currentFileName, QStringLiteral("Untitled"));
    m_lastKnownModDate.reset();
    m_lastSavedContent.reset();
    publish(m_pendingConflict, false);
    publish(m_cursors, QList<TextCursor>{TextCursor()});
    publish(m_openError, std::optional<QString>());
    publish(m_saveError, std::optional<QString>());
}

void EditorViewModel::followMovedFile(const QString &newPath)
{
    if (!m_currentFilePath) {
        return;
    }
    const QString absolutePath = QFileInfo(newPath).absoluteFilePath();
    publish(m_currentFilePath, std::optional<QString>(absolutePath));
    publish(m_currentFileName, QFileInfo(absolutePath).fileName());
}

} // namespace vesk
