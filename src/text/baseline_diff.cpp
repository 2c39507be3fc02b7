#include "text/baseline_diff.h"

#include "platform/process_runner.h"
#include "text/line_diff.h"
#include "platform/temp_files.h"
#include "platform/tool_paths.h"
#include "text/text_lines.h"
#include "text/unified_diff.h"
#include "text/utf8.h"

#include <QFile>

#include <algorithm>

namespace vesk::baseline {

namespace {

// Lines are compared under canonical equivalence; the external tool compares bytes, so it is
// given every line in its decomposed form. Nothing below U+00C0 decomposes.
QString decomposed(const QString &line)
{
    const bool plain = std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() < 0xC0; });
    return plain ? line : line.normalized(QString::NormalizationForm_D);
}

// The lines joined with "\n" and no break after the last, as UTF-8.
QByteArray joinedLines(const VeskNodePtr &root)
{
    QByteArray out;
    out.reserve(root->unitCount());
    LineReader reader(root);
    QString line;
    bool first = true;
    while (reader.next(line)) {
        if (!first) {
            out.append('\n');
        }
        first = false;
        out.append(decomposed(line).toUtf8());
    }
    return out;
}

DiffResult positionalDiff(const VeskNodePtr &original, const VeskNodePtr &current)
{
    DiffResult result;
    LineReader o(original);
    LineReader c(current);
    QString ol;
    QString cl;
    for (qint64 i = 0; c.next(cl); ++i) {
        if (!o.next(ol) || !linesEqual(ol, cl)) {
            result.modified.insert(i);
        }
    }
    return result;
}

DiffResult externalDiff(const VeskNodePtr &original, const VeskNodePtr &current)
{
    const QString id = shortUuid();
    const QString originalPath = writeTempFile(QStringLiteral("vesk_o_") + id, joinedLines(original));
    if (originalPath.isEmpty()) {
        return naiveDiff(original, current);
    }
    const QString currentPath = writeTempFile(QStringLiteral("vesk_c_") + id, joinedLines(current));
    if (currentPath.isEmpty()) {
        QFile::remove(originalPath);
        return naiveDiff(original, current);
    }
    ProcessRequest request;
    request.program = toolPath(Tool::Diff);
    request.arguments = {QStringLiteral("-u"), originalPath, currentPath};
    request.timeout = diffTimeout;
    const std::optional<ProcessResult> run = runProcess(request);
    QFile::remove(originalPath);
    QFile::remove(currentPath);
    if (!run) {
        return naiveDiff(original, current);
    }
    return parseDiffOutput(decodeUtf8(run->standardOutput).value_or(QString()));
}

} // namespace

DiffResult computeDiff(const VeskNodePtr &original, const VeskNodePtr &current)
{
    if (original == current) {
        return {};
    }
    if (original->lines() == current->lines()) {
        return positionalDiff(original, current);
    }
    return externalDiff(original, current);
}

DiffResult exactDiff(const VeskNodePtr &original, const VeskNodePtr &current)
{
    if (original->lines() != current->lines()) {
        return lineDiffMarks(original, current);
    }
    // Only the lines between the shared head and tail can differ; an undo back to the baseline
    // or typing in one line compares next to nothing however long the text.
    const CommonLines common = commonLines(original, current);
    if (common.identical) {
        return {};
    }
    const qint64 end = original->lines() - common.tail;
    if (end - common.head > original->lines() / 4) {
        return positionalDiff(original, current);  // reading on beats looking each line up
    }
    DiffResult result;
    for (qint64 line = common.head; line < end; ++line) {
        if (!linesEqual(original->lineText(line), current->lineText(line))) {
            result.modified.insert(line);
        }
    }
    return result;
}

DiffResult parseDiffOutput(QStringView output)
{
    DiffResult result;
    qint64 cur = 0;
    qint64 pending = 0;
    auto flush = [&] {
        if (pending >= 1) {
            result.deletedAfter.insert(cur - 1);
            pending = 0;
        }
    };
    for (const DiffLine &line : parseUnifiedDiff(output)) {
        switch (line.kind) {
        case DiffLine::Kind::HunkHeader:
            flush();
            if (line.hunk) {
                // An empty new range names the line before it, not the first line of the hunk.
                cur = line.hunk->newCount == 0 ? line.hunk->newStart : line.hunk->newStart - 1;
            }
            break;
        case DiffLine::Kind::Addition:
            flush();
            result.modified.insert(cur++);
            break;
        case DiffLine::Kind::Deletion:
            ++pending;
            break;
        case DiffLine::Kind::Context:
            flush();
            ++cur;
            break;
        case DiffLine::Kind::NoNewlineMarker:
            break;
        case DiffLine::Kind::FileHeader:
        case DiffLine::Kind::Other:
            flush();
            break;
        }
    }
    flush();
    return result;
}

DiffResult naiveDiff(const VeskNodePtr &original, const VeskNodePtr &current)
{
    DiffResult result = positionalDiff(original, current);
    const qint64 currentLines = current->lines();
    if (currentLines < original->lines()) {
        result.deletedAfter.insert(currentLines - 1);
    }
    return result;
}

} // namespace vesk::baseline
