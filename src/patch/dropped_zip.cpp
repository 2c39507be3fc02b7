#include "patch/dropped_zip.h"

#include "platform/temp_files.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QUuid>

#include <cerrno>

#include <sys/stat.h>

namespace vesk {

namespace {

// Archive data, most specific first. The platform may name the archive types by their uniform
// type identifiers instead of MIME types.
const char *const archiveTypes[] = {
    "application/zip", "application/x-zip-compressed", "public.zip-archive",
    "application/octet-stream", "public.data",
};

bool exists(const QString &path)
{
    // lstat answers from the directory entry without opening anything, so a dropped pipe or
    // device never blocks the drop.
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

QString dropTypeList(const QMimeData &data)
{
    return data.formats().join(QStringLiteral(", "));
}

DroppedZip zipFromDrop(const QMimeData &data)
{
    DroppedZip result;
    for (const QUrl &url : data.urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty() && exists(url.toLocalFile())) {
            result.path = url.toLocalFile();
            return result;
        }
    }
    const QString types = dropTypeList(data);
    for (const char *type : archiveTypes) {
        const QString format = QString::fromLatin1(type);
        if (!data.hasFormat(format)) {
            continue;
        }
        const QByteArray bytes = data.data(format);
        if (bytes.isEmpty()) {
            continue;
        }
        errno = 0;
        const QString name = QStringLiteral("vesk_drop_") + QUuid::createUuid().toString(QUuid::WithoutBraces)
                             + QStringLiteral(".zip");
        const QString written = writeTempFile(name, bytes);
        if (written.isEmpty()) {
            const QString reason =
                errno != 0 ? qt_error_string(errno) : QStringLiteral("no private temporary directory");
            result.diagnostic = QStringLiteral("Couldn't write dropped data: ") + reason
                                + QStringLiteral("\nTypes: ") + types;
            return result;
        }
        result.path = written;
        result.ownsFile = true;
        return result;
    }
    result.diagnostic = QStringLiteral("No usable zip found in the drop.\nPasteboard types: ") + types;
    return result;
}

} // namespace vesk
