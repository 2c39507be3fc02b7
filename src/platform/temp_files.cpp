#include "platform/temp_files.h"

#include "platform/atomic_write.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

// A single path component: no separator, and nothing that climbs out of the directory.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".")
           && name != QLatin1String("..");
}

} // namespace

QString ensurePrivateDirectory(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), S_IRWXU) != 0 && errno != EEXIST) {
        return {};
    }
    // The directory usually sits in a sticky /tmp, where no one else can swap our entry for a
    // link once we have checked it.
    struct stat st;
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        return {};
    }
    if ((st.st_mode & 07777) != S_IRWXU && ::chmod(native.constData(), S_IRWXU) != 0) {
        return {};
    }
    return path;
}

QString userTempDir()
{
    QString fromEnvironment = qEnvironmentVariable("TMPDIR");
    while (fromEnvironment.size() > 1 && fromEnvironment.endsWith(QLatin1Char('/'))) {
        fromEnvironment.chop(1);
    }
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    const QString base = QDir::tempPath();
    return ensurePrivateDirectory(base + QStringLiteral("/vesk-") + QString::number(::geteuid()));
}

QString shortUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
}

QString createTempDirectory(const QString &prefix)
{
    const QString parent = userTempDir();
    const QString name = prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    if (parent.isEmpty() || !isPlainName(name)) {
        return {};
    }
    const QString path = parent + QLatin1Char('/') + name;
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), S_IRWXU) != 0) {
        return {};
    }
    // mkdir leaves the umask's mark; chmod makes the mode exact.
    if (::chmod(native.constData(), S_IRWXU) != 0) {
        ::rmdir(native.constData());
        return {};
    }
    return path;
}

QString writeTempFile(const QString &name, const QByteArray &data)
{
    const QString parent = userTempDir();
    if (parent.isEmpty() || !isPlainName(name)) {
        return {};
    }
    const QString path = parent + QLatin1Char('/') + name;
    if (!atomicWritePrivate(path, data, LinkHandling::ReplaceLink)) {
        return {};
    }
    return path;
}

} // namespace vesk
