#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace vesk {

// What a file is, as far as sending it to an assistant goes. Listed in this order everywhere.
enum class FileCategory { Text, Image, Binary, Secret };

// "text", "image", "binary", "secret".
QString toString(FileCategory category);
std::optional<FileCategory> fileCategoryFromString(const QString &text);

// Text and image files are selected unless the user says otherwise.
inline bool isExportedByDefault(FileCategory category)
{
    return category == FileCategory::Text || category == FileCategory::Image;
}

struct Classification
{
    FileCategory category = FileCategory::Text;
    QString reason;

    friend bool operator==(const Classification &, const Classification &) = default;
};

// Sorts repository files into categories by name and by their first bytes. Never writes, never
// fails: every problem becomes a category and a reason.
namespace FileClassifier {

// The size of the sample read from the start of a file.
constexpr qsizetype sampleSize = 4096;

const QSet<QString> &imageExts();
const QSet<QString> &secretFilenames();
const QSet<QString> &secretExts();
const QStringList &secretNameWords();        // tried in this order
const QStringList &secretContentMarkers();   // tried in this order
const QSet<QString> &defaultExcludeDirNames();
const QSet<QString> &bundleExts();           // compared without regard to case

// The text after the last dot of `fileName`; empty without a dot or when the only dot leads.
QString extensionOf(const QString &fileName);

// A directory the scan never enters below the repository root: a build or tool folder, or a bundle.
bool isSkippedDirName(const QString &name);

// `fullPath` names a file (or a link to one).
Classification classify(const QString &fullPath);

// The top-level directories proposed when the user has not chosen any, in code-point order.
QStringList defaultIncludedDirs(const QString &repoPath);

} // namespace FileClassifier

} // namespace vesk
