#pragma once

#include <QString>

namespace vesk {

// Copies the unpacked file `source` into the repository at `relativePath` (a "/"-separated
// path of plain names), creating missing folders. Never writes outside `repoRoot`: a folder that
// leads out of it through a link is refused. An existing folder at the destination is refused,
// never removed; a file there is replaced atomically (side file, flush, rename) and keeps its
// permission bits, owner and group (written in place when a replacement could not keep them or
// the folder takes no new file), and a link there is replaced by the file, its target left
// alone. A file the user may not write, or with no write bit at all, is refused. Returns an
// empty string on success, else the reason.
QString installPatchFile(const QString &repoRoot, const QString &relativePath, const QString &source);

} // namespace vesk
