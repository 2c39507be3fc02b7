#pragma once

#include <QDir>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace vesk {

class AppState;

// What a `vesk` URL asks for: vesk://open?file=PATH&line=N.
struct VeskUrlRequest
{
    QString file;
    std::optional<qint64> line;  // 1-based; only a number above 0
};

// The request in a `vesk` URL; nothing for another scheme or without a `file` item.
std::optional<VeskUrlRequest> parseVeskUrl(const QUrl &url);

// Opens what the command line or another process hands over: folders and files (relative to
// `workingDirectory`), file:// URLs (links resolved) and vesk:// URLs. A folder opens as a tab of
// its repository, a file in the tab that holds it (or a new tab for its repository or folder).
// A path where nothing exists yet in an existing folder opens an empty editor that creates the
// file on its first save; anything else where nothing exists is ignored. Before the saved workspace is back
// the request waits for it, so it lands on top of the restored tabs.
void handleOpenRequest(AppState &app, const QStringList &argumentsOrUrls,
                       const QString &workingDirectory = QDir::currentPath());

// How long after opening a file a vesk URL's line is gone to, so the editor has laid it out.
inline constexpr int goToLineDelayMs = 200;

} // namespace vesk
