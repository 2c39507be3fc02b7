#pragma once

#include "platform/atomic_write.h"
#include "platform/file_time.h"
#include "text/vesk_node.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vesk {

// The writes of one editor's file, done off the main thread one after the other in the order
// they were asked for, so the text asked for last is the one that ends up on disk. A write
// still waiting to start is replaced by a newer one: only the latest text is worth writing.
//
// The text tree is immutable, so a request holds a snapshot that the user's further typing
// never touches. Each finished write comes back to the main thread as an Outcome, in order,
// through the hand-back given to the constructor; waitUntilIdle() gets them there at once for
// the moments that may not go on before the file is written (closing, quitting, opening
// another file in the same editor).
class SaveQueue : public QObject
{
    Q_OBJECT

public:
    // Ordered by how much the user insisted: a merged request keeps the strongest.
    enum class Kind {
        automatic,    // leaving the file or the window: a disk change only stops it
        explicitSave, // the user's Save: a disk change becomes a conflict to settle
        forced,       // "Keep My Edits": written whatever the disk holds
    };

    struct Request
    {
        QString path;
        VeskNodePtr text;
        bool byteOrderMark = false;
        // The file's date as the editor last saw it: a later date on disk means someone else
        // wrote it, and only a forced write goes ahead then. Writes queued behind one of ours
        // compare against the date our write left instead.
        std::optional<FileTime> knownDate;
        Kind kind = Kind::automatic;
    };

    struct Outcome
    {
        enum class Result { written, failed, changedOnDisk };
        Result result = Result::failed;
        Request request;
        WriteResult write;                // why it failed
        std::optional<FileTime> diskDate;  // written: the date the write left; changedOnDisk: the date found
        quint64 id = 0;
    };

    explicit SaveQueue(std::function<void(const Outcome &)> deliver, QObject *parent = nullptr);
    ~SaveQueue() override;

    // Queues a write; `then` runs on the main thread once it has been delivered (written,
    // failed or refused), after the hand-back.
    void enqueue(Request request, std::function<void()> then = {});
    // Runs `then` once the newest queued write has been delivered, at once when none is queued.
    void whenIdle(std::function<void()> then);
    // A write is queued, under way, or finished and not yet handed back.
    bool isBusy() const { return m_undelivered > 0; }
    // The text of the newest write not yet handed back; null when idle.
    const VeskNodePtr &newestText() const { return m_newestText; }
    // Hands back every finished write now (the queued hand-backs then find nothing left).
    void deliverFinished();
    // Blocks until no write is queued or under way, for at most `bound`, and hands back what
    // finished. False when a write was still under way at the bound.
    bool waitUntilIdle(std::chrono::milliseconds bound);

private:
    struct Shared;
    static void work(const std::shared_ptr<Shared> &shared, QPointer<QObject> target);
    static Outcome perform(const Request &request, std::optional<FileTime> expectedDate);

    std::shared_ptr<Shared> m_shared;
    std::function<void(const Outcome &)> m_deliver;
    QHash<quint64, std::vector<std::function<void()>>> m_callbacks;
    quint64 m_lastId = 0;
    quint64 m_newestId = 0;
    VeskNodePtr m_newestText;
    int m_undelivered = 0;
    bool m_delivering = false;
};

} // namespace vesk
