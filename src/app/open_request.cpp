#include "app/open_request.h"

#include "editor/editor_view_model.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"
#include "workspace/workspace_paths.h"

#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QUrlQuery>

namespace vesk {

namespace {

// "vesk:..." and "file:..." are URLs; any other text, even with a colon in it, is a path.
std::optional<QUrl> asUrl(const QString &item)
{
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
    const QRegularExpressionMatch match = scheme.match(item);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const QString name = match.captured(1).toLower();
    if (name != u"vesk" && name != u"file" && !item.contains(QStringLiteral("://"))) {
        return std::nullopt;
    }
    return QUrl(item);
}

// Opens wait for git to name the repository; the line is gone to once they have all finished.
constexpr int openWaitLimitMs = 10'000;

void goToLineLater(AppState &app, const QString &file, qint64 line, int waitedMs = 0)
{
    QPointer<AppState> weak(&app);
    QTimer::singleShot(goToLineDelayMs, &app, [weak, file, line, waitedMs] {
        if (weak && weak->isOpening() && waitedMs < openWaitLimitMs) {
            goToLineLater(*weak, file, line, waitedMs + goToLineDelayMs);
            return;
        }
        RepositoryState *state = weak ? weak->activeTabState() : nullptr;
        EditorViewModel *editor = state ? state->editor() : nullptr;
        // Only the file the URL named: when it could not be opened, the caret of whatever file is
        // on show stays where it is.
        if (editor && editor->currentFilePath() && WorkspacePaths::canonicalPath(*editor->currentFilePath()) == file) {
            editor->goToLine(line - 1, 0);
        }
    });
}

void openVeskUrl(AppState &app, const QUrl &url, const QString &workingDirectory)
{
    const std::optional<VeskUrlRequest> request = parseVeskUrl(url);
    if (!request || request->file.isEmpty()) {
        return;
    }
    const QString path = WorkspacePaths::canonicalPath(QDir(workingDirectory).absoluteFilePath(request->file));
    app.openFileFromFinder(path);
    if (request->line) {
        goToLineLater(app, path, *request->line);
    }
}

void openItem(AppState &app, const QString &item, const QString &workingDirectory)
{
    if (item.isEmpty()) {
        return;
    }
    if (const std::optional<QUrl> url = asUrl(item)) {
        if (url->scheme().compare(u"vesk", Qt::CaseInsensitive) == 0) {
            openVeskUrl(app, *url, workingDirectory);
        } else if (url->isLocalFile()) {
            app.openFileFromFinder(WorkspacePaths::canonicalPath(url->toLocalFile()));
        }
        return;
    }
    // A path named on the command line may be a file to make.
    app.openFileFromFinder(QDir(workingDirectory).absoluteFilePath(item), true);
}

} // namespace

std::optional<VeskUrlRequest> parseVeskUrl(const QUrl &url)
{
    if (url.scheme().compare(u"vesk", Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("file"))) {
        return std::nullopt;
    }
    VeskUrlRequest request;
    request.file = query.queryItemValue(QStringLiteral("file"), QUrl::FullyDecoded);
    bool ok = false;
    const qint64 line = query.queryItemValue(QStringLiteral("line"), QUrl::FullyDecoded).toLongLong(&ok);
    if (ok && line > 0) {
        request.line = line;
    }
    return request;
}

void handleOpenRequest(AppState &app, const QStringList &argumentsOrUrls, const QString &workingDirectory)
{
    if (!app.hasRestored()) {
        QPointer<AppState> weak(&app);
        QTimer::singleShot(0, &app, [weak, argumentsOrUrls, workingDirectory] {
            if (weak) {
                handleOpenRequest(*weak, argumentsOrUrls, workingDirectory);
            }
        });
        return;
    }
    for (const QString &item : argumentsOrUrls) {
        openItem(app, item, workingDirectory);
    }
}

} // namespace vesk
