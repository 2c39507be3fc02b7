#include "workspace/file_search.h"

#include "platform/regular_file.h"
#include "workspace/repository_walker.h"
#include "workspace/search_matcher.h"

#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace vesk::FileSearch {

namespace {

bool isCancelled(const std::atomic_bool *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// What the search of one file found, and whether a run of the expression was cut off in it.
struct FileHits
{
    QList<LineHit> hits;
    bool cutShort = false;
};

FileHits searchOneFile(const QByteArray &path, const SearchMatcher &matcher, QByteArray &buffer,
                       const std::atomic_bool *cancel)
{
    FileHits found;
    // Only regular files are read, and never past the size they had when opened.
    if (readRegularFileInto(path, buffer, maxFileBytes).isEmpty()) {
        found.hits = matcher.scan(buffer, hitLimit, cancel, &found.cutShort);
    }
    if (buffer.capacity() > (qsizetype(16) << 20)) {
        buffer = QByteArray();  // do not keep a large file's memory for the small ones after it
    }
    return found;
}

bool passesFilters(QByteArrayView name, const SearchOptions &options)
{
    if (options.include.isEmpty() && options.exclude.isEmpty()) {
        return true;
    }
    const QString extension = extensionOf(QFile::decodeName(name.toByteArray()));
    if (!options.include.isEmpty() && !options.include.contains(extension)) {
        return false;
    }
    return options.exclude.isEmpty() || !options.exclude.contains(extension);
}

void appendResults(QList<SearchResult> &results, const QString &filePath, const QString &repoPath,
                   const FileHits &found, SearchReport *report)
{
    const QString fileName = relativeName(filePath, repoPath);
    if (found.cutShort && report) {
        report->cutShortFiles.append(fileName);
    }
    for (const LineHit &hit : found.hits) {
        if (results.size() >= hitLimit) {
            return;
        }
        results.append({QUuid::createUuid(), filePath, fileName, hit.lineNumber, hit.lineContent});
    }
}

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path;
}

// Files are handed out in listing order to a few threads; each file's hits are kept in its slot
// and joined in order at the end, so the result is exactly that of one thread going through the
// list. Once the files finished without a gap before them hold hitLimit hits, nothing after
// them is needed and the walk and the threads stop.
class ParallelSearch
{
public:
    ParallelSearch(const SearchOptions &options, const std::atomic_bool *cancel)
        : m_options(options)
        , m_cancel(cancel)
    {
    }

    void addFile(const QByteArray &path)
    {
        {
            std::lock_guard lock(m_mutex);
            m_paths.push_back(path);
            m_hits.emplace_back();
            m_done.push_back(false);
        }
        m_wake.notify_one();
    }

    bool isFinished()
    {
        std::lock_guard lock(m_mutex);
        return m_stopAt != npos || isCancelled(m_cancel);
    }

    void endOfList()
    {
        {
            std::lock_guard lock(m_mutex);
            m_listComplete = true;
        }
        m_wake.notify_all();
    }

    void work()
    {
        const SearchMatcher matcher(m_options.query, m_options.caseSensitive, m_options.useRegex);
        QByteArray buffer;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_next < m_paths.size() || m_listComplete || m_stopAt != npos; });
            if (m_stopAt != npos || isCancelled(m_cancel) || m_next >= m_paths.size()) {
                return;
            }
            const size_t index = m_next++;
            const QByteArray path = m_paths[index];
            lock.unlock();
            FileHits hits = searchOneFile(path, matcher, buffer, m_cancel);
            lock.lock();
            m_hits[index] = std::move(hits);
            m_done[index] = true;
            advanceFrontier();
        }
    }

    QList<SearchResult> results(const QString &repoPath, SearchReport *report)
    {
        QList<SearchResult> results;
        std::lock_guard lock(m_mutex);
        for (size_t i = 0; i < m_paths.size() && m_done[i] && results.size() < hitLimit; ++i) {
            appendResults(results, QFile::decodeName(m_paths[i]), repoPath, m_hits[i], report);
        }
        return results;
    }

private:
    static constexpr size_t npos = size_t(-1);

    void advanceFrontier()
    {
        while (m_frontier < m_paths.size() && m_done[m_frontier]) {
            m_hitsBeforeFrontier += m_hits[m_frontier].hits.size();
            ++m_frontier;
            if (m_hitsBeforeFrontier >= hitLimit) {
                m_stopAt = m_frontier;
                m_wake.notify_all();
                return;
            }
        }
    }

    const SearchOptions &m_options;
    const std::atomic_bool *m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<QByteArray> m_paths;
    std::vector<FileHits> m_hits;
    std::vector<bool> m_done;
    size_t m_next = 0;
    size_t m_frontier = 0;
    qsizetype m_hitsBeforeFrontier = 0;
    size_t m_stopAt = npos;
    bool m_listComplete = false;
};

QList<SearchResult> searchSequentially(const QString &repoPath, const SearchOptions &options,
                                       const std::atomic_bool *cancel, SearchReport *report)
{
    const SearchMatcher matcher(options.query, options.caseSensitive, options.useRegex);
    QByteArray buffer;
    QList<SearchResult> results;
    RepositoryWalker::walk(repoPath, [&](const QByteArray &path, QByteArrayView name) {
        if (isCancelled(cancel)) {
            return false;
        }
        if (passesFilters(name, options)) {
            appendResults(results, QFile::decodeName(path), repoPath, searchOneFile(path, matcher, buffer, cancel),
                          report);
        }
        return results.size() < hitLimit;
    });
    return results;
}

} // namespace

int defaultThreadCount()
{
    return std::clamp(QThread::idealThreadCount(), 1, 4);
}

QString relativeName(const QString &filePath, const QString &repoPath)
{
    const QString prefix = withoutTrailingSlashes(repoPath) + QLatin1Char('/');
    return filePath.startsWith(prefix) ? filePath.mid(prefix.size()) : filePath;
}

QString extensionOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot + 1).toLower();
}

QString expressionError(const SearchOptions &options)
{
    return options.useRegex ? SearchMatcher(options.query, options.caseSensitive, true).errorMessage() : QString();
}

QList<SearchResult> searchRepository(const QString &repoPath, const SearchOptions &options,
                                     const std::atomic_bool *cancel, int threads, SearchReport *report)
{
    const QString root = withoutTrailingSlashes(repoPath);
    QList<SearchResult> results;
    if (report) {
        *report = {};
        report->expressionError = expressionError(options);
    }
    if (threads <= 1) {
        results = searchSequentially(root, options, cancel, report);
    } else {
        ParallelSearch search(options, cancel);
        std::vector<std::thread> helpers;
        for (int i = 1; i < threads; ++i) {
            helpers.emplace_back([&search] { search.work(); });
        }
        RepositoryWalker::walk(root, [&](const QByteArray &path, QByteArrayView name) {
            if (search.isFinished()) {
                return false;
            }
            if (passesFilters(name, options)) {
                search.addFile(path);
            }
            return true;
        });
        search.endOfList();
        search.work();
        for (std::thread &helper : helpers) {
            helper.join();
        }
        results = search.results(root, report);
    }
    return isCancelled(cancel) ? QList<SearchResult>() : results;
}

QList<SearchResult> searchFile(const QString &filePath, const QString &repoPath, const SearchOptions &options,
                               const std::atomic_bool *cancel, SearchReport *report)
{
    const SearchMatcher matcher(options.query, options.caseSensitive, options.useRegex);
    if (report) {
        *report = {};
        report->expressionError = matcher.errorMessage();
    }
    QByteArray buffer;
    QList<SearchResult> results;
    appendResults(results, filePath, repoPath, searchOneFile(QFile::encodeName(filePath), matcher, buffer, cancel),
                  report);
    return isCancelled(cancel) ? QList<SearchResult>() : results;
}

} // namespace vesk::FileSearch
