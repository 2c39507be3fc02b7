#pragma once

#include "workspace/change_status.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace vesk {

// What one status read found; made off the main thread and handed to GitManager::apply.
struct RefreshResult
{
    bool isRepo = false;
    QString branch;
    QList<GitStatusEntry> entries;
    bool branchUnanswered = false;  // git did not start or did not answer in time for the branch
    bool statusFailed = false;      // the status read failed (did not answer, or exited with an error)
};

// The git view of one repository tab: whether it is a repository, the current branch, and the
// paths git reports as changed. It only ever reads the repository.
//
// Announces willChange() before storing isRepo, branch, statusEntries and refreshError.
class GitManager : public QObject
{
    Q_OBJECT

public:
    // Bound on each git run; a run still going after it is killed and counts as failed.
    static constexpr std::chrono::seconds gitTimeout{5};

    explicit GitManager(QObject *parent = nullptr);

    const QString &branch() const { return m_branch; }
    const QList<GitStatusEntry> &statusEntries() const { return m_statusEntries; }
    bool isRepo() const { return m_isRepo; }
    // Why the last refresh could not read the status ("" when it could). The branch and entries
    // of the last read that worked stay on show meanwhile.
    const QString &refreshError() const { return m_refreshError; }

    // Main thread: stores isRepo, then branch, then statusEntries, then refreshError. A result
    // whose status read failed keeps the entries on show (and the branch, unless it was read).
    void apply(const RefreshResult &result);

    // The status of one path relative to the top level: its entry's, else unmodified.
    ChangeStatus statusFor(const QString &relativePath) const;

    // Runs git (at most twice, each run bounded by gitTimeout) in `repoPath`. Touches no
    // manager, so any thread may call it.
    static RefreshResult collectStatus(const QString &repoPath);

    // Reads the output of `git status --porcelain -z`: records "XY path", each ended by NUL, and
    // for a rename or copy one more record with the path it came from. Records whose path is
    // not UTF-8 are left out.
    static QList<GitStatusEntry> parseStatus(QByteArrayView output);

    // One status for git's two status columns (index, work tree).
    static ChangeStatus statusForCode(char index, char workTree);

    // When collectStatus lets git refresh the index's cached file times: after a status read
    // that took at least minimumReadTime on an index of at least minimumEntries entries.
    struct CacheRefreshPolicy
    {
        qsizetype minimumEntries = 2000;
        std::chrono::milliseconds minimumReadTime{150};
    };
    static void setCacheRefreshPolicy(const CacheRefreshPolicy &policy);

Q_SIGNALS:
    void willChange();

private:
    static void refreshCachedFileTimes(const QString &repoPath, qint64 readMilliseconds);
    // `answered` (when given) is set to whether git started and ended within the bound.
    static std::optional<QByteArray> runGit(const QStringList &arguments, const QString &directory,
                                            bool *answered = nullptr);

    template <typename T>
    void publish(T &field, const T &value)
    {
        Q_EMIT willChange();
        field = value;
    }

    QString m_branch;
    QList<GitStatusEntry> m_statusEntries;
    bool m_isRepo = false;
    QString m_refreshError;
};

} // namespace vesk
