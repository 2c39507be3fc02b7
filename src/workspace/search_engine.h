#pragma once

#include "workspace/file_search.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace vesk {

// The handle of one scheduled search job; cancelling it keeps the job from publishing.
class SearchTask
{
public:
    void cancel() { m_cancelled.store(true); }
    bool isCancelled() const { return m_cancelled.load(); }
    const std::atomic_bool *flag() const { return &m_cancelled; }

private:
    std::atomic_bool m_cancelled{false};
};

// Find-in-files for one repository tab: the query and options the search panel edits, the
// results of the last finished search, and a history of queries shared by all tabs through
// the preferences key "searchHistory" (each engine writes its whole list; the last writer wins).
//
// Announces willChange() before storing any of its fields. Lives on the main thread; the
// search itself runs on a background thread and publishes only if it is still the current one.
class SearchEngine : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype historyLimit = 30;
    static QString historyKey() { return QStringLiteral("searchHistory"); }

    explicit SearchEngine(QObject *parent = nullptr);
    ~SearchEngine() override;

    const QString &query() const { return m_query; }
    const QList<SearchResult> &results() const { return m_results; }
    bool isSearching() const { return m_isSearching; }
    bool caseSensitive() const { return m_caseSensitive; }
    bool useRegex() const { return m_useRegex; }
    bool currentFileOnly() const { return m_currentFileOnly; }
    const QString &filesToInclude() const { return m_filesToInclude; }  // comma-separated extensions
    const QString &filesToExclude() const { return m_filesToExclude; }
    const QStringList &searchHistory() const { return m_searchHistory; }  // most recent first
    const std::shared_ptr<SearchTask> &searchTask() const { return m_searchTask; }
    // Set with the results of a search whose regular expression cannot be used:
    // "Invalid regular expression: " and the reason; "" otherwise.
    const QString &expressionError() const { return m_expressionError; }
    // Files (relative names) of the last search in which the expression backtracked past its
    // bound on some line: a line there may match without being listed.
    const QStringList &cutShortFiles() const { return m_cutShortFiles; }

    void setQuery(const QString &query) { publish(m_query, query); }
    void setCaseSensitive(bool on) { publish(m_caseSensitive, on); }
    void setUseRegex(bool on) { publish(m_useRegex, on); }
    void setCurrentFileOnly(bool on) { publish(m_currentFileOnly, on); }
    void setFilesToInclude(const QString &text) { publish(m_filesToInclude, text); }
    void setFilesToExclude(const QString &text) { publish(m_filesToExclude, text); }

    // Cancels the running search and starts one for the current query and options: over the
    // whole repository, or over the saved `currentFilePath` when currentFileOnly is on and a
    // file is open (non-empty). An empty query just clears the results. Returns at once.
    void search(const QString &repoPath, const QString &currentFilePath = {});

    // Puts the text, trimmed of spaces and tabs, at the front of the history (once).
    void addToHistory(const QString &text);
    void removeFromHistory(const QString &text);
    // Empties the history and removes the preferences key.
    void clearHistory();

    // "*.json, md" → {"json", "md"}: split at commas, trim spaces and tabs, drop every "*.".
    static QSet<QString> parseExtensions(const QString &text);

Q_SIGNALS:
    void willChange();

private:
    void finish(const std::shared_ptr<SearchTask> &task, QList<SearchResult> results,
                const SearchReport &report);
    void storeHistory(const QStringList &history);

    template <typename T>
    void publish(T &field, const T &value)
    {
        Q_EMIT willChange();
        field = value;
    }

    QString m_query;
    QList<SearchResult> m_results;
    bool m_isSearching = false;
    bool m_caseSensitive = false;
    bool m_useRegex = false;
    bool m_currentFileOnly = false;
    QString m_filesToInclude;
    QString m_filesToExclude;
    QStringList m_searchHistory;
    std::shared_ptr<SearchTask> m_searchTask;
    QString m_expressionError;
    QStringList m_cutShortFiles;
};

} // namespace vesk
