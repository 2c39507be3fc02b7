#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vesk {

// The user's saved export choice for one repository, kept in `.vesk-export-filter` at its root.
struct ExportFilter
{
    QStringList includedDirs;  // top-level directories the scan enters
    QStringList included;      // files selected although binary or secret
    QStringList excluded;      // files left out although text or image

    static constexpr qint64 maxFileBytes = qint64(64) << 20;

    static QString fileName();  // ".vesk-export-filter"
    static QString filePath(const QString &repoPath);

    // The saved filter, or nothing when the file is missing, unreadable, not a regular file (a
    // pipe or a device is never read), larger than maxFileBytes, not a JSON object, or lacks one
    // of the three arrays of strings.
    static std::optional<ExportFilter> load(const QString &repoPath);
    static std::optional<ExportFilter> fromJson(const QByteArray &json);

    // Pretty-printed JSON with the keys in sorted order.
    QByteArray toJson() const;

    // Replaces the file atomically, so a crash or a full disk leaves the previous choice intact.
    // A filter file that is a link (or anything but a regular file) is left alone: a cloned
    // repository must not be able to aim this write at another file. Returns why nothing was
    // written, or an empty string.
    QString write(const QString &repoPath) const;
    bool save(const QString &repoPath) const { return write(repoPath).isEmpty(); }

    friend bool operator==(const ExportFilter &, const ExportFilter &) = default;
};

} // namespace vesk
