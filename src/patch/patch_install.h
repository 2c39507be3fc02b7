#pragma once

#include <QString>

namespace vesk {

// Copies the unpacked file `source` into the repository at `relativePath` (a "/"-separated
// path of plain names), creating missing folders. Never writes outside `repoRoot`: a folder that
// leads out of it through a link is refused. An existing folder at the destination is refused,
// never removed; a file there is replaced atomically (side file, flush, rename) and keeps its
// permission bits, and a link there is replaced by the file, its target left alone. Returns an
// empty string on success, else the reason.
QString installPatchFile(const QString &repoRoot, const QString &relativePath, const QString &source);

} // namespace vesk
