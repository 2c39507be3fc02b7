#include "platform/tool_paths.h"

#include <QReadWriteLock>

#include <array>

namespace vesk {

namespace {

constexpr int toolCount = 4;

QString defaultPath(Tool tool)
{
    switch (tool) {
    case Tool::Git:
        return QStringLiteral("/usr/bin/git");
    case Tool::Diff:
        return QStringLiteral("/usr/bin/diff");
    case Tool::Zip:
        return QStringLiteral("/usr/bin/zip");
    case Tool::Unzip:
        return QStringLiteral("/usr/bin/unzip");
    }
    return {};
}

// Workers read these while a test may be swapping one for a stand-in.
struct Overrides
{
    QReadWriteLock lock;
    std::array<QString, toolCount> paths;
};

Overrides &overrides()
{
    static Overrides instance;
    return instance;
}

} // namespace

QString toolPath(Tool tool)
{
    Overrides &o = overrides();
    {
        QReadLocker locker(&o.lock);
        const QString &path = o.paths[static_cast<size_t>(tool)];
        if (!path.isEmpty()) {
            return path;
        }
    }
    return defaultPath(tool);
}

void setToolPath(Tool tool, const QString &path)
{
    Overrides &o = overrides();
    QWriteLocker locker(&o.lock);
    o.paths[static_cast<size_t>(tool)] = path;
}

void resetToolPaths()
{
    Overrides &o = overrides();
    QWriteLocker locker(&o.lock);
    o.paths.fill(QString());
}

} // namespace vesk
