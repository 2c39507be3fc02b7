#include "patch/patch_line_counts.h"

#include "platform/process_runner.h"
#include "platform/regular_file.h"
#include "platform/tool_paths.h"
#include "text/unified_diff.h"
#include "text/utf8.h"

#include <QStringDecoder>

#include <algorithm>

namespace vesk {

namespace {

constexpr qint64 readChunk = 1 << 20;

} // namespace

LineCounts countNewFileLines(const QString &path)
{
    RegularFile file = openRegularFile(path);
    if (!file.isOpen()) {
        return {};
    }
    // Read in pieces so that a large file never sits in memory whole, and never past the size
    // it had when opened.
    QStringDecoder decoder(QStringDecoder::Utf8);
    qint64 lineFeeds = 0;
    QByteArray chunk;
    while (true) {
        if (!readOpenedFile(file, chunk, readChunk)) {
            return {};
        }
        if (chunk.isEmpty()) {
            break;
        }
        lineFeeds += std::count(chunk.cbegin(), chunk.cend(), '\n');
        const QString decoded = decoder.decode(chunk);  // decoding is lazy until it becomes a string
    }
    // A sequence cut off at the end of the file is held back by the decoder, not reported; one
    // more byte that cannot continue it brings it out as an error.
    const QString last = decoder.decode(QByteArrayView("\n"));
    if (decoder.hasError()) {
        return {};
    }
    return {lineFeeds + 1, 0};
}

LineCounts countChangedLines(const QString &repoFile, const QString &patchFile,
                             std::chrono::milliseconds timeout)
{
    ProcessRequest request;
    request.program = toolPath(Tool::Diff);
    request.arguments = {QStringLiteral("-u"), repoFile, patchFile};
    request.timeout = timeout;
    const std::optional<ProcessResult> result = runProcess(request);
    if (!result) {
        return {};
    }
    const std::optional<QString> text = decodeUtf8(result->standardOutput);
    if (!text) {
        return {};
    }
    // Hunks are read by their header counts, so a changed line whose own text begins with "--"
    // or "++" counts like any other.
    LineCounts counts;
    for (const DiffLine &line : parseUnifiedDiff(*text)) {
        if (line.kind == DiffLine::Kind::Addition) {
            ++counts.added;
        } else if (line.kind == DiffLine::Kind::Deletion) {
            ++counts.removed;
        }
    }
    return counts;
}

} // namespace vesk
