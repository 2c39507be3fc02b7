#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <utility>

namespace vesk {

// An open POSIX file descriptor, closed when this goes away.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void reset(int fd = -1)
    {
        close();
        m_fd = fd;
    }
    // False when closing reported an error (a delayed write error shows up here).
    bool close();

private:
    int m_fd;
};

// Writes every byte, retrying short writes and interruptions; errno tells why when false.
bool writeAll(int fd, const char *data, qint64 size);

// Flushes the file to the storage device: F_FULLFSYNC on macOS (plain fsync stops at the
// drive's cache there), fsync elsewhere.
bool flushToDevice(int fd);

// Makes a rename in `directory` durable. A file system that cannot flush a directory is not an
// error: the new content is in place already.
void flushDirectory(const QByteArray &directory);

} // namespace vesk
