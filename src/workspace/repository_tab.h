#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QUuid>

namespace vesk {

// One repository tab of the main window. Two tabs are the same tab when their ids are equal,
// whatever their paths.
struct RepositoryTab
{
    QUuid id;      // fresh for every tab made, never stored: a restored tab gets a new one
    QString path;  // the repository or directory, absolute
    QString name;  // its last path component, shown in the tab bar

    // A new tab for `path` (kept as given), with a fresh id.
    static RepositoryTab forPath(const QString &path)
    {
        return {QUuid::createUuid(), path, QFileInfo(QDir::cleanPath(path)).fileName()};
    }

    bool operator==(const RepositoryTab &other) const { return id == other.id; }
};

} // namespace vesk
