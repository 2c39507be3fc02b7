#include "workspace/change_status.h"

namespace vesk {

namespace {

struct StatusInfo
{
    const char *raw;
    const char *label;
    const char *symbol;
    const char *color;
};

// Indexed by the enumeration's value.
constexpr std::array<StatusInfo, 7> statusTable{{
    {"M", "Modified", "pencil.circle.fill", "orange"},
    {"A", "Added", "plus.circle.fill", "green"},
    {"D", "Deleted", "minus.circle.fill", "red"},
    {"R", "Renamed", "arrow.right.circle.fill", "purple"},
    {"?", "Untracked", "questionmark.circle.fill", "gray"},
    {"U", "Conflict", "exclamationmark.triangle.fill", "red"},
    {" ", "Clean", "circle", "secondary"},
}};

const StatusInfo &info(ChangeStatus status)
{
    return statusTable[static_cast<size_t>(status)];
}

} // namespace

const std::array<ChangeStatus, 7> &allChangeStatuses()
{
    static constexpr std::array<ChangeStatus, 7> all{
        ChangeStatus::modified, ChangeStatus::added,    ChangeStatus::deleted,   ChangeStatus::renamed,
        ChangeStatus::untracked, ChangeStatus::conflict, ChangeStatus::unmodified,
    };
    return all;
}

QString rawValue(ChangeStatus status)
{
    return QString::fromLatin1(info(status).raw);
}

std::optional<ChangeStatus> changeStatusFromRawValue(QStringView raw)
{
    for (ChangeStatus status : allChangeStatuses()) {
        if (raw == QLatin1StringView(info(status).raw)) {
            return status;
        }
    }
    return std::nullopt;
}

QString label(ChangeStatus status)
{
    return QString::fromLatin1(info(status).label);
}

QString symbolName(ChangeStatus status)
{
    return QString::fromLatin1(info(status).symbol);
}

QString colorName(ChangeStatus status)
{
    return QString::fromLatin1(info(status).color);
}

QString GitStatusEntry::displayPath() const
{
    if (originalPath.isEmpty()) {
        return path;
    }
    return originalPath + QStringLiteral(" -> ") + path;
}

} // namespace vesk
