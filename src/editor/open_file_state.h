#pragma once

#include "editor/editor_view_model.h"

namespace vesk {

// What an editor had open before a big file began to load: it comes back as it was should the
// load fail or give way to another file.
struct EditorViewModel::OpenFileState
{
    std::unique_ptr<VeskDocument> document;
    std::optional<QString> path;
    QString name;
    std::optional<FileTime> modDate;
    VeskNodePtr lastSavedContent;
    bool hasByteOrderMark = false;
    QList<TextCursor> cursors;
    std::optional<QString> baselineError;
};

} // namespace vesk
