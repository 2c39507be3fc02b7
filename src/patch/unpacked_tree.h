#pragma once

#include <QList>
#include <QString>

namespace vesk {

struct UnpackedFile
{
    QString relativePath;  // "/"-separated, from the walked directory
    QString path;          // absolute
    qint64 size = 0;
};

struct UnpackedTree
{
    bool readable = false;            // false: the directory could not be walked at all
    bool hasEnclosingFolder = false;  // one folder holds everything
    QList<UnpackedFile> files;
};

// Walks a freshly unpacked archive. Hidden entries (names beginning with ".") are skipped and
// hidden folders not entered, as is the "__MACOSX" folder at the top, which holds only the
// metadata macOS adds to archives. Links are never followed; only regular files are listed.
// Folders and files get owner access on the way, since an archive may carry modes that would
// keep its own contents from being read or removed.
UnpackedTree walkUnpackedTree(const QString &base);

// Deletes a directory tree without following links, first giving each folder owner access.
// Returns false when anything is left.
bool removeTree(const QString &path);

} // namespace vesk
