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

    static QString fileName();  // ".vesk-export-filter"
    static QString filePath(const QString &repoPath);

    // The saved filter, or nothing when the file is missing, unreadable, not a JSON object, or
    // lacks one of the three arrays of strings.
    static std::optional<ExportFilter> load(const QString &repoPath);
    static std::optional<ExportFilter> fromJson(const QByteArray &json);

    // Pretty-printed JSON with the keys in sorted order.
    QByteArray toJson() const;

    // Replaces the file atomically, so a crash or a full disk leaves the previous choice intact.
    // Returns false when nothing was written.
    bool save(const QString &repoPath) const;

    friend bool operator==(const ExportFilter &, const ExportFilter &) = default;
};

} // namespace vesk
