#pragma once

#include "platform/regular_file.h"
#include "text/tree_builder.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace vesk {

// One text file read in stages. begin() opens it and reads, on the calling thread, what the first
// screen needs (a small file whole); finishInBackground() reads, checks and builds the rest on a
// pool thread and hands the outcome back. The text is checked as strict UTF-8 all through, and a
// file that changes size or date while it is read is refused rather than shown half old, half new.
class FileLoad : public std::enable_shared_from_this<FileLoad>
{
public:
    struct Outcome
    {
        VeskNodePtr text;  // null on failure
        QString error;     // a sentence for the user on failure
    };

    // A file up to this size is read whole at once; a bigger one shows its first part first.
    static constexpr qint64 wholeReadBytes = qint64(8) << 20;
    static constexpr qint64 firstPartBytes = qint64(1) << 20;

    static std::shared_ptr<FileLoad> begin(const QString &path);

    const QString &path() const { return m_path; }
    bool hasByteOrderMark() const { return m_hasByteOrderMark; }
    // The whole file was read (or failed) in begin(); outcome() then holds the result.
    bool isFinished() const { return m_finished; }
    const Outcome &outcome() const { return m_outcome; }
    // The text read by begin(): a prefix of the file's text that ends between two characters.
    const VeskNodePtr &firstPart() const { return m_firstPart; }

    // Reads the rest on a pool thread; `done` gets the outcome on the main thread while `target`
    // exists, unless the load was cancelled meanwhile.
    void finishInBackground(QObject *target, std::function<void(Outcome)> done);
    // Stops the reading at the next block and lets go of what was built. Any thread.
    void cancel() { m_cancelled.store(true); }
    bool isCancelled() const { return m_cancelled.load(); }

private:
    explicit FileLoad(const QString &path);
    // Reads blocks until `until` bytes were taken or the file ends; false when the load ended.
    bool readUpTo(qint64 until);
    void finishReading();
    void fail(const QString &reason);

    QString m_path;
    RegularFile m_file;
    TreeBuilder m_builder;
    qint64 m_sizeAtOpen = 0;
    qint64 m_modifiedAtOpen = 0;  // nanoseconds
    qint64 m_read = 0;
    bool m_hasByteOrderMark = false;
    bool m_finished = false;
    Outcome m_outcome;
    VeskNodePtr m_firstPart;
    std::atomic<bool> m_cancelled{false};
};

} // namespace vesk
