#include "editor/save_queue.h"

#include "editor/text_file.h"
#include "platform/background.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace vesk {

namespace {

// Pieces of about this size go to the file: small enough to stay in the processor's cache while
// they are encoded and written, large enough to keep the system calls few.
constexpr qsizetype pieceBytes = 1 << 20;

// The text as UTF-8, encoded leaf by leaf into a piece that is written whenever it is full, so
// a large file is never held a second time in memory.
WriteContent utf8Content(const VeskNodePtr &text, bool byteOrderMark)
{
    return [text, byteOrderMark](const WriteSink &sink) {
        QByteArray piece;
        piece.reserve(pieceBytes * 2);
        if (byteOrderMark) {
            piece.append(utf8ByteOrderMark.data(), utf8ByteOrderMark.size());
        }
        std::vector<const VeskNode *> pending{text.get()};
        while (!pending.empty()) {
            const VeskNode *node = pending.back();
            pending.pop_back();
            if (!node->isLeaf()) {
                pending.push_back(node->right().get());
                pending.push_back(node->left().get());
                continue;
            }
            node->chunk().appendUtf8To(piece);
            if (piece.size() >= pieceBytes) {
                if (!sink(piece)) {
                    return false;
                }
                piece.resize(0);  // keeps the capacity
            }
        }
        return piece.isEmpty() || sink(piece);
    };
}

} // namespace

// What the main thread and the writing thread share; the worker keeps it alive past the queue.
struct SaveQueue::Shared
{
    std::mutex mutex;
    std::condition_variable idle;
    std::optional<Request> pending;
    quint64 pendingId = 0;
    bool working = false;
    // The date our last write in this run left, which the next one expects to find.
    std::optional<FileTime> chainDate;
    std::deque<Outcome> finished;
};

SaveQueue::SaveQueue(std::function<void(const Outcome &)> deliver, QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
    , m_deliver(std::move(deliver))
{
}

SaveQueue::~SaveQueue() = default;

void SaveQueue::enqueue(Request request, std::function<void()> then)
{
    const quint64 id = ++m_lastId;
    m_newestText = request.text;
    bool start = false;
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->pending) {
            // The waiting write is replaced: its callers now wait for this one.
            request.kind = std::max(request.kind, m_shared->pending->kind);
            std::vector<std::function<void()>> waiting = m_callbacks.take(m_shared->pendingId);
            m_callbacks[id] = std::move(waiting);
        } else {
            ++m_undelivered;
        }
        m_shared->pending = std::move(request);
        m_shared->pendingId = id;
        if (!m_shared->working) {
            m_shared->working = true;
            start = true;
        }
    }
    m_newestId = id;
    if (then) {
        m_callbacks[id].push_back(std::move(then));
    }
    if (start) {
        runInBackground(WorkPriority::UserInitiated,
                        [shared = m_shared, target = QPointer<QObject>(this)] { work(shared, target); });
    }
}

void SaveQueue::whenIdle(std::function<void()> then)
{
    if (!then) {
        return;
    }
    if (!isBusy()) {
        then();
        return;
    }
    m_callbacks[m_newestId].push_back(std::move(then));
}

void SaveQueue::work(const std::shared_ptr<Shared> &shared, QPointer<QObject> target)
{
    for (;;) {
        Request request;
        quint64 id = 0;
        std::optional<FileTime> expected;
        {
            std::lock_guard lock(shared->mutex);
            if (!shared->pending) {
                shared->working = false;
                shared->chainDate.reset();
                shared->idle.notify_all();
                return;
            }
            request = std::move(*shared->pending);
            id = shared->pendingId;
            shared->pending.reset();
            expected = shared->chainDate ? shared->chainDate : request.knownDate;
        }
        Outcome outcome = perform(request, expected);
        outcome.id = id;
        {
            std::lock_guard lock(shared->mutex);
            if (outcome.result == Outcome::Result::written) {
                shared->chainDate = outcome.diskDate;
            }
            shared->finished.push_back(std::move(outcome));
        }
        postToMainThread(target, [target] {
            if (auto *queue = qobject_cast<SaveQueue *>(target.data())) {
                queue->deliverFinished();
            }
        });
    }
}

SaveQueue::Outcome SaveQueue::perform(const Request &request, std::optional<FileTime> expectedDate)
{
    Outcome outcome;
    outcome.request = request;
    if (request.kind != Kind::forced) {
        const std::optional<FileTime> disk = modificationTime(request.path);
        if (expectedDate && disk && *disk > *expectedDate) {
            outcome.result = Outcome::Result::changedOnDisk;
            outcome.diskDate = disk;
            return outcome;
        }
    }
    // The write refuses a file this user may not write, and never hands it to another owner.
    outcome.write = atomicWrite(request.path, utf8Content(request.text, request.byteOrderMark));
    if (!outcome.write) {
        outcome.result = Outcome::Result::failed;
        return outcome;
    }
    outcome.result = Outcome::Result::written;
    // The date our write left, not the path's: another program may have written since.
    outcome.diskDate = outcome.write.writtenTime ? outcome.write.writtenTime : modificationTime(request.path);
    return outcome;
}

void SaveQueue::deliverFinished()
{
    if (m_delivering) {
        return;  // the outer loop below hands the rest back, in order
    }
    m_delivering = true;
    for (;;) {
        Outcome outcome;
        {
            std::lock_guard lock(m_shared->mutex);
            if (m_shared->finished.empty()) {
                break;
            }
            outcome = std::move(m_shared->finished.front());
            m_shared->finished.pop_front();
        }
        --m_undelivered;
        if (m_undelivered == 0) {
            m_newestText.reset();
        }
        const std::vector<std::function<void()>> callbacks = m_callbacks.take(outcome.id);
        m_deliver(outcome);
        for (const std::function<void()> &callback : callbacks) {
            callback();
        }
    }
    m_delivering = false;
}

bool SaveQueue::waitUntilIdle(std::chrono::milliseconds bound)
{
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->idle.wait_for(lock, bound, [this] { return !m_shared->working; });
    }
    deliverFinished();
    return !isBusy();
}

} // namespace vesk
