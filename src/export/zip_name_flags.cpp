#include "export/zip_name_flags.h"

#include "text/utf8.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <algorithm>
#include <optional>

namespace vesk {

namespace {

constexpr quint32 localHeaderSignature = 0x04034b50;
constexpr quint32 centralHeaderSignature = 0x02014b50;
constexpr quint32 endSignature = 0x06054b50;
constexpr quint32 zip64EndSignature = 0x06064b50;
constexpr quint32 zip64LocatorSignature = 0x07064b50;
constexpr quint16 utf8Flag = 0x0800;
constexpr qsizetype endSize = 22;
constexpr qsizetype locatorSize = 20;
constexpr qsizetype zip64EndSize = 56;
constexpr qsizetype centralHeaderSize = 46;
constexpr qsizetype localHeaderSize = 30;
// The central directory is read whole; an export of this size would hold millions of files.
constexpr qint64 maxCentralDirectorySize = qint64(1) << 30;

quint64 readLE(const QByteArray &bytes, qsizetype at, int size)
{
    quint64 value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | quint8(bytes[at + i]);
    }
    return value;
}

QByteArray readAt(QFile &file, qint64 offset, qint64 size)
{
    if (offset < 0 || size < 0 || !file.seek(offset)) {
        return {};
    }
    return file.read(size);
}

struct Directory
{
    quint64 entries = 0;
    qint64 offset = 0;
    qint64 size = 0;
};

std::optional<Directory> findCentralDirectory(QFile &file)
{
    const qint64 fileSize = file.size();
    const qint64 tailSize = std::min<qint64>(fileSize, endSize + 0xFFFF);
    const QByteArray tail = readAt(file, fileSize - tailSize, tailSize);
    if (tail.size() != tailSize) {
        return std::nullopt;
    }
    for (qsizetype at = tail.size() - endSize; at >= 0; --at) {
        if (readLE(tail, at, 4) != endSignature || at + endSize + qsizetype(readLE(tail, at + 20, 2)) != tail.size()) {
            continue;
        }
        Directory directory{readLE(tail, at + 10, 2), qint64(readLE(tail, at + 16, 4)), qint64(readLE(tail, at + 12, 4))};
        if (directory.entries == 0xFFFF || directory.offset == 0xFFFFFFFF || directory.size == 0xFFFFFFFF) {
            const qint64 endAt = fileSize - tailSize + at;
            const QByteArray locator = readAt(file, endAt - locatorSize, locatorSize);
            if (locator.size() != locatorSize || readLE(locator, 0, 4) != zip64LocatorSignature) {
                return std::nullopt;
            }
            const QByteArray end64 = readAt(file, qint64(readLE(locator, 8, 8)), zip64EndSize);
            if (end64.size() != zip64EndSize || readLE(end64, 0, 4) != zip64EndSignature) {
                return std::nullopt;
            }
            directory = {readLE(end64, 32, 8), qint64(readLE(end64, 48, 8)), qint64(readLE(end64, 40, 8))};
        }
        return directory;
    }
    return std::nullopt;
}

// The local header offset of a central record, taken from its Zip64 extra field when needed.
std::optional<qint64> localHeaderOffset(const QByteArray &record, qsizetype nameSize, qsizetype extraSize)
{
    const quint64 offset = readLE(record, 42, 4);
    if (offset != 0xFFFFFFFF) {
        return qint64(offset);
    }
    // The Zip64 field holds, in this order, only the values that are saturated in the record.
    qsizetype at = centralHeaderSize + nameSize;
    const qsizetype end = at + extraSize;
    while (at + 4 <= end) {
        const quint64 id = readLE(record, at, 2);
        const qsizetype size = qsizetype(readLE(record, at + 2, 2));
        if (id == 0x0001) {
            qsizetype field = at + 4;
            field += readLE(record, 24, 4) == 0xFFFFFFFF ? 8 : 0;
            field += readLE(record, 20, 4) == 0xFFFFFFFF ? 8 : 0;
            if (field + 8 > at + 4 + size) {
                return std::nullopt;
            }
            return qint64(readLE(record, field, 8));
        }
        at += 4 + size;
    }
    return std::nullopt;
}

bool isNonAsciiUtf8(const QByteArray &name)
{
    return scanUtf8(name) == Utf8Kind::unicode;
}

struct FlagPatch
{
    qint64 offset;
    quint16 flags;
};

} // namespace

bool markUtf8Names(const QString &archivePath)
{
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadWrite)) {
        return false;
    }
    const std::optional<Directory> directory = findCentralDirectory(file);
    if (!directory || directory->size > maxCentralDirectorySize) {
        return false;
    }
    const QByteArray central = readAt(file, directory->offset, directory->size);
    if (central.size() != directory->size) {
        return false;
    }
    QList<FlagPatch> patches;
    qsizetype at = 0;
    for (quint64 entry = 0; entry < directory->entries; ++entry) {
        if (at + centralHeaderSize > central.size() || readLE(central, at, 4) != centralHeaderSignature) {
            return false;
        }
        const qsizetype nameSize = qsizetype(readLE(central, at + 28, 2));
        const qsizetype extraSize = qsizetype(readLE(central, at + 30, 2));
        const qsizetype recordSize = centralHeaderSize + nameSize + extraSize + qsizetype(readLE(central, at + 32, 2));
        if (at + recordSize > central.size()) {
            return false;
        }
        const QByteArray record = central.mid(at, recordSize);
        const QByteArray name = record.mid(centralHeaderSize, nameSize);
        const quint16 flags = quint16(readLE(record, 8, 2));
        if (!(flags & utf8Flag) && isNonAsciiUtf8(name)) {
            const std::optional<qint64> localAt = localHeaderOffset(record, nameSize, extraSize);
            const QByteArray local = localAt ? readAt(file, *localAt, localHeaderSize + nameSize) : QByteArray();
            if (local.size() != localHeaderSize + nameSize || readLE(local, 0, 4) != localHeaderSignature
                || qsizetype(readLE(local, 26, 2)) != nameSize || local.mid(localHeaderSize) != name) {
                return false;
            }
            patches.append({directory->offset + at + 8, quint16(flags | utf8Flag)});
            patches.append({*localAt + 6, quint16(readLE(local, 6, 2) | utf8Flag)});
        }
        at += recordSize;
    }
    for (const FlagPatch &patch : std::as_const(patches)) {
        const char bytes[2] = {char(patch.flags & 0xFF), char(patch.flags >> 8)};
        if (!file.seek(patch.offset) || file.write(bytes, 2) != 2) {
            return false;
        }
    }
    return file.flush();
}

} // namespace vesk
