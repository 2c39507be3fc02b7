#include "workspace/search_engine.h"

#include "platform/background.h"
#include "platform/preferences.h"

#include <QPointer>

namespace vesk {

namespace {

bool isSpaceOrTab(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimSpacesAndTabs(const QString &text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isSpaceOrTab(text[start])) {
        ++start;
    }
    while (end > start && isSpaceOrTab(text[end - 1])) {
        --end;
    }
    return text.sliced(start, end - start);
}

} // namespace

SearchEngine::SearchEngine(QObject *parent)
    : QObject(parent)
{
    Preferences &preferences = Preferences::instance();
    if (preferences.contains(historyKey())) {
        m_searchHistory = preferences.stringListValue(historyKey());
    }
}

SearchEngine::~SearchEngine()
{
    if (m_searchTask) {
        m_searchTask->cancel();  // a job whose engine is gone reads no more files
    }
}

void SearchEngine::search(const QString &repoPath, const QString &currentFilePath)
{
    if (m_searchTask) {
        m_searchTask->cancel();
        m_searchTask.reset();
    }
    if (m_query.isEmpty()) {
        publish(m_results, QList<SearchResult>());
        publish(m_isSearching, false);
        publish(m_expressionError, QString());
        publish(m_cutShortFiles, QStringList());
        return;
    }
    addToHistory(m_query);
    publish(m_isSearching, true);

    SearchOptions options;
    options.query = m_query;
    options.caseSensitive = m_caseSensitive;
    options.useRegex = m_useRegex;
    options.include = parseExtensions(m_filesToInclude);
    options.exclude = parseExtensions(m_filesToExclude);
    const bool inFile = m_currentFileOnly && !currentFilePath.isEmpty();

    auto task = std::make_shared<SearchTask>();
    m_searchTask = task;
    const QPointer<QObject> engine(this);
    runInBackground(WorkPriority::UserInitiated, [engine, task, options, repoPath, currentFilePath, inFile] {
        SearchReport report;
        QList<SearchResult> results = inFile
            ? FileSearch::searchFile(currentFilePath, repoPath, options, task->flag(), &report)
            : FileSearch::searchRepository(repoPath, options, task->flag(), FileSearch::defaultThreadCount(), &report);
        postToMainThread(engine, [engine, task, results = std::move(results), report]() mutable {
            static_cast<SearchEngine *>(engine.data())->finish(task, std::move(results), report);
        });
    });
}

void SearchEngine::finish(const std::shared_ptr<SearchTask> &task, QList<SearchResult> results,
                          const SearchReport &report)
{
    if (task->isCancelled() || task != m_searchTask) {
        return;
    }
    publish(m_results, results);
    publish(m_expressionError, report.expressionError.isEmpty()
                                   ? QString()
                                   : QStringLiteral("Invalid regular expression: ") + report.expressionError);
    publish(m_cutShortFiles, report.cutShortFiles);
    publish(m_isSearching, false);
}

void SearchEngine::addToHistory(const QString &text)
{
    const QString trimmed = trimSpacesAndTabs(text);
    if (trimmed.isEmpty()) {
        return;
    }
    QStringList history = m_searchHistory;
    history.removeAll(trimmed);
    history.prepend(trimmed);
    storeHistory(history.mid(0, historyLimit));
}

void SearchEngine::removeFromHistory(const QString &text)
{
    QStringList history = m_searchHistory;
    history.removeAll(text);
    storeHistory(history);
}

void SearchEngine::clearHistory()
{
    publish(m_searchHistory, QStringList());
    Preferences::instance().remove(historyKey());
}

void SearchEngine::storeHistory(const QStringList &history)
{
    publish(m_searchHistory, history);
    Preferences::instance().setValue(historyKey(), history);
}

QSet<QString> SearchEngine::parseExtensions(const QString &text)
{
    QSet<QString> extensions;
    if (text.isEmpty()) {
        return extensions;
    }
    for (const QString &piece : text.split(QLatin1Char(','))) {
        QString extension = trimSpacesAndTabs(piece);
        extension.remove(QStringLiteral("*."));
        if (!extension.isEmpty()) {
            extensions.insert(extension);
        }
    }
    return extensions;
}

} // namespace vesk
