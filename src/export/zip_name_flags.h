#pragma once

#include <QString>

namespace vesk {

// Sets the "names are UTF-8" flag (general purpose bit 11) on every entry of the zip archive at
// `archivePath` whose name holds non-ASCII UTF-8, in its local header and its central directory
// record. zip 3.0 sets it only when it can load the en_US.UTF-8 locale, and not at all where it
// was built without Unicode support; readers such as Python's zipfile then decode the names as
// code page 437. The archive is checked as a whole first and left untouched when anything in it
// is not as expected. Returns true when the archive needed no change or was changed.
bool markUtf8Names(const QString &archivePath);

} // namespace vesk
