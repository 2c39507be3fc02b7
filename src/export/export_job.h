#pragma once

#include "export/zip_builder.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace vesk {

// One export archive being built on a worker thread. It lives on the main thread, reports the
// estimated progress and the outcome there, and deletes itself once it has reported the outcome.
// It outlives the panel that started it, so closing the panel does not lose a running export.
class ExportJob : public QObject
{
    Q_OBJECT

public:
    // Starts building the archive of `relativePaths` (relative to `repoPath`, in this order).
    static ExportJob *start(const QString &repoPath, const QStringList &relativePaths);

    // The job building the archive of `repoPath`, if one runs.
    static ExportJob *runningFor(const QString &repoPath);

    ~ExportJob() override;

    const QString &repoPath() const { return m_repoPath; }
    int total() const { return m_total; }
    int done() const { return m_done; }

    // Ends the zip tool; the job then finishes as cancelled. Safe before the tool has started.
    void stop();

    // Whoever shows the outcome to the user says so, so that no one else shows it a second time.
    void markReported() { m_reported = true; }
    bool isReported() const { return m_reported; }

Q_SIGNALS:
    void progressChanged(int done, int total);
    void finished(const vesk::ZipResult &result);

private:
    struct StopHandle;

    ExportJob(const QString &repoPath, int total);
    void finish(const ZipResult &result);

    QString m_repoPath;
    int m_total = 0;
    int m_done = 0;
    bool m_reported = false;
    std::shared_ptr<StopHandle> m_stop;
};

// Announces every export that starts and ends, for views that show export activity (the
// toolbar's "Exporting…") without owning the job.
class ExportActivity : public QObject
{
    Q_OBJECT

public:
    static ExportActivity &instance();

Q_SIGNALS:
    void started(vesk::ExportJob *job);
    // After the job's own finished(): the job still exists during this call.
    void finished(vesk::ExportJob *job, const vesk::ZipResult &result);

private:
    ExportActivity() = default;
};

} // namespace vesk
