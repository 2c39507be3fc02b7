#include "export/export_job.h"

#include "platform/background.h"

#include <QCoreApplication>
#include <QList>
#include <QPointer>

#include <mutex>

namespace vesk {

namespace {

QList<ExportJob *> &runningJobs()
{
    static QList<ExportJob *> jobs;
    return jobs;
}

} // namespace

// Shared with the worker: the tool's stop handle arrives there, a stop request comes from the
// main thread, and either may come first.
struct ExportJob::StopHandle
{
    std::mutex mutex;
    std::shared_ptr<ProcessCancel> cancel;
    bool requested = false;

    void received(const std::shared_ptr<ProcessCancel> &handle)
    {
        std::lock_guard lock(mutex);
        cancel = handle;
        if (requested) {
            cancel->cancel();
        }
    }
    void request()
    {
        std::lock_guard lock(mutex);
        requested = true;
        if (cancel) {
            cancel->cancel();
        }
    }
};

ExportJob::ExportJob(const QString &repoPath, int total)
    : m_repoPath(repoPath)
    , m_total(total)
    , m_stop(std::make_shared<StopHandle>())
{
    runningJobs().append(this);
    // The zip tool would otherwise outlive the application and go on writing.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &ExportJob::stop);
}

ExportJob::~ExportJob()
{
    runningJobs().removeAll(this);
}

ExportJob *ExportJob::start(const QString &repoPath, const QStringList &relativePaths)
{
    auto *job = new ExportJob(repoPath, int(relativePaths.size()));
    const QPointer<QObject> target(job);
    const std::shared_ptr<StopHandle> stopHandle = job->m_stop;
    runInBackground(WorkPriority::UserInitiated, [target, stopHandle, repoPath, relativePaths] {
        const auto keep = [stopHandle](const std::shared_ptr<ProcessCancel> &cancel) { stopHandle->received(cancel); };
        const auto progress = [target](int done, int total) {
            postToMainThread(target, [target, done, total] {
                auto *job = static_cast<ExportJob *>(target.data());
                if (done != job->m_done) {
                    job->m_done = done;
                    Q_EMIT job->progressChanged(done, total);
                }
            });
        };
        const ZipResult result = ZipBuilder::buildZip(repoPath, relativePaths, keep, progress);
        postToMainThread(target, [target, result] { static_cast<ExportJob *>(target.data())->finish(result); });
    });
    Q_EMIT ExportActivity::instance().started(job);
    return job;
}

ExportJob *ExportJob::runningFor(const QString &repoPath)
{
    for (ExportJob *job : runningJobs()) {
        if (job->m_repoPath == repoPath) {
            return job;
        }
    }
    return nullptr;
}

void ExportJob::stop()
{
    m_stop->request();
}

void ExportJob::finish(const ZipResult &result)
{
    runningJobs().removeAll(this);
    Q_EMIT finished(result);
    Q_EMIT ExportActivity::instance().finished(this, result);
    deleteLater();
}

ExportActivity &ExportActivity::instance()
{
    static ExportActivity activity;
    return activity;
}

} // namespace vesk
