#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <atomic>

namespace vesk {

// One line found by find-in-files.
struct SearchResult
{
    QUuid id;             // fresh for every hit
    QString filePath;     // absolute
    QString fileName;     // relative to the repository (the full path for a file outside it)
    qsizetype lineNumber = 0;  // 1-based
    QString lineContent;  // the line's first 200 characters, as in the file
};

// What one search looks for; a snapshot taken when the search starts.
struct SearchOptions
{
    QString query;
    bool caseSensitive = false;
    bool useRegex = false;
    QSet<QString> include;  // extensions; empty means every file
    QSet<QString> exclude;
};

// What a search found besides its hits.
struct SearchReport
{
    QString expressionError;     // why the regular expression cannot be used; "" when it can
    QStringList cutShortFiles;   // files (relative names) where a run of the expression was cut off
};

// The work of one find-in-files job, on the calling thread (plus helpers for a repository).
namespace FileSearch {

// A search ends once it has this many hits; so many means it stopped early.
inline constexpr qsizetype hitLimit = 501;
// Larger files are not read.
inline constexpr qint64 maxFileBytes = qint64(256) << 20;

// Threads a repository search uses: the processor count, at most 4.
int defaultThreadCount();

// Searches every file RepositoryWalker lists under `repoPath` that passes the extension sets,
// in listing order, and returns the first hitLimit hits. Files that cannot be read as UTF-8
// (binary, other encodings, unreadable, not regular files, over maxFileBytes) are passed over.
// Returns an empty list as soon as `cancel` is seen set. Fills `report` when given.
QList<SearchResult> searchRepository(const QString &repoPath, const SearchOptions &options,
                                     const std::atomic_bool *cancel = nullptr, int threads = defaultThreadCount(),
                                     SearchReport *report = nullptr);

// Searches one file as it is on disk; the extension sets do not apply.
QList<SearchResult> searchFile(const QString &filePath, const QString &repoPath, const SearchOptions &options,
                               const std::atomic_bool *cancel = nullptr, SearchReport *report = nullptr);

// `filePath` without the leading `repoPath` + "/", or unchanged when it is not inside.
QString relativeName(const QString &filePath, const QString &repoPath);

// The extension of a file name as the filters see it: the text after its last ".", lower-cased.
QString extensionOf(const QString &fileName);

} // namespace FileSearch
} // namespace vesk
