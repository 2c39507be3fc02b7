#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QUuid>

#include <array>
#include <optional>

namespace vesk {

// The kinds of change the file tree, the changes list and the diff header share. Each kind has
// the one-letter code git uses in its short status, and fixed label, symbol and colour names
// that the views turn into drawing.
enum class ChangeStatus { modified, added, deleted, renamed, untracked, conflict, unmodified };

// Every case, in declaration order.
const std::array<ChangeStatus, 7> &allChangeStatuses();

// "M", "A", "D", "R", "?", "U" and " ".
QString rawValue(ChangeStatus status);

// The case whose raw value is exactly `raw`, or nothing.
std::optional<ChangeStatus> changeStatusFromRawValue(QStringView raw);

// "Modified", "Added", "Deleted", "Renamed", "Untracked", "Conflict", "Clean".
QString label(ChangeStatus status);

// The symbol drawn for a status, e.g. "pencil.circle.fill".
QString symbolName(ChangeStatus status);

// "orange", "green", "red", "purple", "gray", or "secondary" (the secondary text colour).
// A label badge draws the colour at badgeOpacity behind the label.
QString colorName(ChangeStatus status);
inline constexpr double badgeOpacity = 0.15;

// One path that git reports as changed.
struct GitStatusEntry
{
    QUuid id;      // fresh for every parse
    QString path;  // relative to the top level, as the file system names it; untracked folders end in "/"
    ChangeStatus status = ChangeStatus::unmodified;
    QString originalPath;  // renames and copies: the path the file came from; otherwise empty

    // What the changes list shows: "old -> new" for a rename or copy, the path otherwise.
    QString displayPath() const;
};

} // namespace vesk
