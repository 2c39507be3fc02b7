#include "editor/file_load.h"

#include "editor/text_file.h"
#include "platform/background.h"

#include <cerrno>

#include <sys/stat.h>

namespace vesk {

namespace {

constexpr qint64 blockBytes = qint64(1) << 20;

qint64 modifiedNanoseconds(const struct stat &st)
{
#ifdef __APPLE__
    return qint64(st.st_mtimespec.tv_sec) * 1'000'000'000 + st.st_mtimespec.tv_nsec;
#else
    return qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
#endif
}

} // namespace

FileLoad::FileLoad(const QString &path)
    : m_path(path)
{
}

std::shared_ptr<FileLoad> FileLoad::begin(const QString &path)
{
    std::shared_ptr<FileLoad> load(new FileLoad(path));
    load->m_file = openRegularFile(path);
    if (!load->m_file.isOpen()) {
        load->fail(load->m_file.error + u'.');
        return load;
    }
    struct stat st;
    if (::fstat(load->m_file.fd.get(), &st) != 0) {
        load->fail(fileErrorReason(errno) + u'.');
        return load;
    }
    load->m_sizeAtOpen = qint64(st.st_size);
    load->m_modifiedAtOpen = modifiedNanoseconds(st);
    const qint64 first = load->m_sizeAtOpen <= wholeReadBytes ? load->m_sizeAtOpen : firstPartBytes;
    if (!load->readUpTo(first)) {
        return load;
    }
    if (load->m_read >= load->m_sizeAtOpen) {
        load->finishReading();
    } else {
        load->m_firstPart = load->m_builder.builtSoFar();
    }
    return load;
}

bool FileLoad::readUpTo(qint64 until)
{
    QByteArray block;
    while (m_read < until) {
        if (m_cancelled.load()) {
            fail(QString());
            return false;
        }
        if (!readOpenedFile(m_file, block, std::min(blockBytes, until - m_read))) {
            fail(fileErrorReason(errno) + u'.');
            return false;
        }
        if (block.isEmpty()) {
            break;  // the file shrank; finishReading() tells
        }
        if (m_read == 0) {
            m_hasByteOrderMark = takeByteOrderMark(block);
            m_read += utf8ByteOrderMark.size() * (m_hasByteOrderMark ? 1 : 0);
        }
        m_read += block.size();
        if (!m_builder.append(block)) {
            fail(QStringLiteral("it is not UTF-8 text."));
            return false;
        }
    }
    return true;
}

void FileLoad::finishReading()
{
    struct stat st;
    const bool same = ::fstat(m_file.fd.get(), &st) == 0 && qint64(st.st_size) == m_sizeAtOpen
                      && modifiedNanoseconds(st) == m_modifiedAtOpen && m_read == m_sizeAtOpen;
    m_file = RegularFile();
    if (!same) {
        fail(QStringLiteral("it changed on disk while it was being read."));
        return;
    }
    m_outcome.text = m_builder.finish();
    m_builder = TreeBuilder();
    m_finished = true;
    if (!m_outcome.text) {
        fail(QStringLiteral("it is not UTF-8 text."));
    }
}

void FileLoad::fail(const QString &reason)
{
    m_builder = TreeBuilder();
    m_file = RegularFile();
    m_firstPart.reset();
    m_outcome.text.reset();
    m_outcome.error = reason.isEmpty() ? QString() : cannotOpenMessage(m_path, reason);
    m_finished = true;
}

void FileLoad::finishInBackground(QObject *target, std::function<void(Outcome)> done)
{
    std::shared_ptr<FileLoad> self = shared_from_this();
    runInBackground<Outcome>(
        target, WorkPriority::UserInitiated,
        [self]() -> Outcome {
            self->m_firstPart.reset();
            if (!self->m_finished && self->readUpTo(self->m_sizeAtOpen + 1)) {
                self->finishReading();
            }
            Outcome outcome = std::move(self->m_outcome);
            self->m_outcome = Outcome();
            if (self->isCancelled()) {
                outcome = Outcome();  // nothing is kept for a load nobody waits for
            }
            return outcome;
        },
        [self, done = std::move(done)](Outcome outcome) {
            if (!self->isCancelled()) {
                done(std::move(outcome));
            }
        });
}

} // namespace vesk
