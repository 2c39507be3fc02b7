#pragma once

#include <QString>

class QMimeData;

namespace vesk {

// What a drop on the patch drop target hands on: a file to analyse, or why there is none.
struct DroppedZip
{
    QString path;        // empty when the drop held nothing usable
    bool ownsFile = false;  // the file is a private copy made for this drop; the receiver deletes it
    QString diagnostic;  // set when path is empty

    bool isUsable() const { return !path.isEmpty(); }
};

// The one place that turns a drop's data into a zip to analyse, in order of preference:
// the first dropped file URL that exists (the user's own file, never deleted; a folder counts
// too and fails in the analysis), else archive data of a zip type, then of a generic data type,
// written to a private temporary file. Files that the sending application only promises
// (macOS file promises) are not delivered by Qt; a receiver for them would run before this and
// hand its files on the same way.
DroppedZip zipFromDrop(const QMimeData &data);

// The types the drop offered, as the diagnostics list them.
QString dropTypeList(const QMimeData &data);

} // namespace vesk
