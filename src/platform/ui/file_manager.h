#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vesk {

// Shows a file or folder in the system's file browser: on Linux the desktop's file manager,
// asked over D-Bus (org.freedesktop.FileManager1.ShowItems) to open the containing folder with
// the item selected, or, when no file manager answers, the containing folder opened as a URL.
// A folder is shown selected in its parent. Returns at once.
void revealInFileManager(const QString &path);

// The title of the menu entry that reveals: "Show in File Manager" on Linux.
QString revealInFileManagerTitle();

// Test hooks. Each setter returns the hook it replaces; an empty function restores the system's
// own behaviour.

// The whole reveal, for views whose tests only check what was asked for.
using RevealHandler = std::function<void(const QString &path)>;
RevealHandler setRevealHandler(RevealHandler handler);

// The D-Bus call alone: it gets the item URIs and must call `done` once, with false when no file
// manager took the request (then the containing folder is opened instead).
using ShowItemsCall = std::function<void(const QStringList &uris, std::function<void(bool shown)> done)>;
ShowItemsCall setShowItemsCall(ShowItemsCall call);

} // namespace vesk
