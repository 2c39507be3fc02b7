#include "patch/patch_preview_lines.h"

#include "platform/process_runner.h"
#include "platform/tool_paths.h"
#include "text/unified_diff.h"
#include "text/utf8.h"

#include <QFile>
#include <QSet>

#include <sys/stat.h>

namespace vesk {

namespace {

const QString unreadable = QStringLiteral("(Unable to read file)");
const QString noDifferences = QStringLiteral("(No differences)");
const QString newFileSuffix = QStringLiteral(" (new file)");
// A preview is for reading; a file past this size is not shown.
constexpr qint64 maxPreviewBytes = qint64(64) << 20;

bool isRegularFile(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file's text when it is a regular file of UTF-8 no larger than a preview takes. Checking
// first keeps a pipe or a device from blocking the read.
std::optional<QString> readText(const QString &path)
{
    if (!isRegularFile(path)) {
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxPreviewBytes) {
        return std::nullopt;
    }
    return decodeUtf8(file.readAll());
}

// The text's lines; a final line feed ends the last line rather than starting an empty one.
QList<QStringView> linesOf(const QString &text)
{
    QList<QStringView> lines = QStringView(text).split(u'\n');
    if (text.endsWith(u'\n')) {
        lines.removeLast();
    }
    return lines;
}

PreviewLine note(const QString &text)
{
    return {PreviewLine::Type::context, text, std::nullopt, std::nullopt};
}

PreviewLine::Type previewType(DiffLine::Kind kind)
{
    switch (kind) {
    case DiffLine::Kind::FileHeader: return PreviewLine::Type::fileHeader;
    case DiffLine::Kind::HunkHeader: return PreviewLine::Type::hunkHeader;
    case DiffLine::Kind::Addition: return PreviewLine::Type::addition;
    case DiffLine::Kind::Deletion: return PreviewLine::Type::deletion;
    case DiffLine::Kind::Context:
    case DiffLine::Kind::NoNewlineMarker:
    case DiffLine::Kind::Other: return PreviewLine::Type::context;
    }
    return PreviewLine::Type::context;
}

// The lines `diff -u` would print for a file that replaces nothing.
QString newFileDiff(const QString &text, const QString &relativePath)
{
    const QList<QStringView> lines = linesOf(text);
    QString diff = QStringLiteral("--- /dev/null\n+++ b/") + relativePath + u'\n';
    if (lines.isEmpty()) {
        return diff;
    }
    diff += QStringLiteral("@@ -0,0 +1,%1 @@\n").arg(lines.size());
    for (QStringView line : lines) {
        diff += u'+';
        diff += line;
        diff += u'\n';
    }
    if (!text.endsWith(u'\n')) {
        diff += QStringLiteral("\\ No newline at end of file\n");
    }
    return diff;
}

// diff -u of the repository file and the patch file; nothing when there is no difference to
// show or the files cannot be compared.
std::optional<QString> runDiff(const QString &repoFile, const QString &patchFile, std::chrono::milliseconds timeout)
{
    // diff would wait forever on a pipe and compare a folder's namesake instead of the folder.
    if (!isRegularFile(repoFile) || !isRegularFile(patchFile)) {
        return std::nullopt;
    }
    ProcessRequest request;
    request.program = toolPath(Tool::Diff);
    request.arguments = {QStringLiteral("-u"), repoFile, patchFile};
    request.timeout = timeout;
    const std::optional<ProcessResult> result = runProcess(request);
    if (!result) {
        return std::nullopt;
    }
    std::optional<QString> text = decodeUtf8(result->standardOutput);
    if (!text || text->isEmpty()) {
        return std::nullopt;
    }
    return text;
}

QList<PreviewLine> parsed(const QString &diff)
{
    QList<PreviewLine> lines;
    std::vector<DiffLine> read = parseUnifiedDiff(diff);
    if (!read.empty() && read.back().kind == DiffLine::Kind::Other && read.back().content.isEmpty()) {
        read.pop_back();  // what follows the last line feed
    }
    lines.reserve(qsizetype(read.size()));
    for (DiffLine &line : read) {
        lines.append({previewType(line.kind), std::move(line.content), line.oldNumber, line.newNumber});
    }
    return lines;
}

// diff names the files by their places on disk (one of them in a temporary folder) and their
// dates; the preview names both by the path in the repository, as for a new file.
void nameFilesByPath(QList<PreviewLine> &lines, const QString &relativePath)
{
    for (PreviewLine &line : lines) {
        if (line.type == PreviewLine::Type::hunkHeader) {
            return;
        }
        if (line.type == PreviewLine::Type::fileHeader && line.content.startsWith(QStringLiteral("--- "))) {
            line.content = QStringLiteral("--- a/") + relativePath;
        } else if (line.type == PreviewLine::Type::fileHeader && line.content.startsWith(QStringLiteral("+++ "))) {
            line.content = QStringLiteral("+++ b/") + relativePath;
        }
    }
}

QString repoFileOf(const PatchFileEntry &entry, const QString &repoPath)
{
    return repoPath + u'/' + entry.relativePath;
}

} // namespace

PreviewText buildPreviewDiff(const PatchFileEntry &entry, const QString &repoPath, std::chrono::milliseconds timeout)
{
    PreviewText result;
    if (entry.isNew) {
        result.titleSuffix = entry.relativePath + newFileSuffix;
        const std::optional<QString> text = readText(entry.patchFileURL);
        if (!text) {
            result.lines = parsed(QStringLiteral("--- /dev/null\n+++ b/") + entry.relativePath);
            result.lines.append(note(unreadable));
            return result;
        }
        result.lines = parsed(newFileDiff(*text, entry.relativePath));
        return result;
    }
    result.titleSuffix = entry.relativePath;
    const std::optional<QString> diff = runDiff(repoFileOf(entry, repoPath), entry.patchFileURL, timeout);
    result.lines = diff ? parsed(*diff) : QList<PreviewLine>{note(noDifferences)};
    nameFilesByPath(result.lines, entry.relativePath);
    return result;
}

PreviewText buildPreviewWholeFile(const PatchFileEntry &entry, const QString &repoPath,
                                  std::chrono::milliseconds timeout)
{
    PreviewText result;
    result.titleSuffix = entry.isNew ? entry.relativePath + newFileSuffix : entry.relativePath;
    const QString text = readText(entry.patchFileURL).value_or(QString());
    QSet<qint64> added;
    if (!entry.isNew) {
        const std::optional<QString> diff = runDiff(repoFileOf(entry, repoPath), entry.patchFileURL, timeout);
        for (const PreviewLine &line : diff ? parsed(*diff) : QList<PreviewLine>()) {
            if (line.type == PreviewLine::Type::addition && line.newNum) {
                added.insert(*line.newNum);
            }
        }
    }
    const QList<QStringView> lines = linesOf(text);
    result.lines.reserve(lines.size());
    qint64 number = 0;
    for (QStringView line : lines) {
        ++number;
        const bool isAdded = entry.isNew || added.contains(number);
        result.lines.append({isAdded ? PreviewLine::Type::addition : PreviewLine::Type::context, line.toString(),
                             std::nullopt, number});
    }
    return result;
}

} // namespace vesk
