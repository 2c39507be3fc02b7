#include "editor/conflict_diff.h"

#include "editor/text_file.h"
#include "platform/process_runner.h"
#include "platform/temp_files.h"
#include "platform/tool_paths.h"
#include "text/unified_diff.h"

#include <QFile>

namespace vesk::conflict {

namespace {

// Removes the temporary files however the comparison ends.
struct TempFiles
{
    QString a;
    QString b;
    ~TempFiles()
    {
        if (!a.isEmpty()) {
            QFile::remove(a);
        }
        if (!b.isEmpty()) {
            QFile::remove(b);
        }
    }
};

} // namespace

SideBySideDiff computeDiff(const QByteArray &a, const QByteArray &b)
{
    SideBySideDiff result;
    const QString id = shortUuid();
    TempFiles files;
    files.a = writeTempFile(QStringLiteral("vesk_da_") + id, a);
    files.b = writeTempFile(QStringLiteral("vesk_db_") + id, b);
    if (files.a.isEmpty() || files.b.isEmpty()) {
        return result;
    }
    ProcessRequest request;
    request.program = toolPath(Tool::Diff);
    request.arguments = {QStringLiteral("-u"), files.a, files.b};
    request.timeout = diffTimeout;
    const std::optional<ProcessResult> run = runProcess(request);
    // Exit status 0 means equal, 1 different; anything else is trouble.
    if (!run || run->endedBySignal || run->exitCode > 1 || !isValidUtf8(run->standardOutput)) {
        return result;
    }
    for (const DiffLine &line : parseUnifiedDiff(QString::fromUtf8(run->standardOutput))) {
        if (line.kind == DiffLine::Kind::Deletion && line.oldNumber) {
            result.removed.insert(*line.oldNumber - 1);
        } else if (line.kind == DiffLine::Kind::Addition && line.newNumber) {
            result.added.insert(*line.newNumber - 1);
        }
    }
    return result;
}

SideBySideDiff computeDiff(const QString &a, const QString &b)
{
    return computeDiff(a.toUtf8(), b.toUtf8());
}

} // namespace vesk::conflict
