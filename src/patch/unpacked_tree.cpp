#include "patch/unpacked_tree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

const QString macMetadataFolder = QStringLiteral("__MACOSX");

constexpr QDir::Filters everything = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;

bool lstatPath(const QString &path, struct stat &st)
{
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void ensureMode(const QString &path, const struct stat &st, mode_t wanted)
{
    if ((st.st_mode & 07777) != wanted) {
        ::chmod(QFile::encodeName(path).constData(), wanted);
    }
}

// Owner read and write, and owner execute when the archive marked the file executable.
mode_t unpackedFileMode(const struct stat &st)
{
    return (st.st_mode & 0111) != 0 ? S_IRWXU : (S_IRUSR | S_IWUSR);
}

bool isEnclosingFolder(const QString &base)
{
    QString only;
    QDirIterator it(base, everything);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (name.startsWith(u'.') || name == macMetadataFolder) {
            continue;
        }
        if (!only.isEmpty()) {
            return false;
        }
        only = it.filePath();
    }
    struct stat st;
    return !only.isEmpty() && lstatPath(only, st) && S_ISDIR(st.st_mode);
}

} // namespace

UnpackedTree walkUnpackedTree(const QString &base)
{
    UnpackedTree tree;
    const QDir root(base);
    if (!root.exists() || !root.isReadable()) {
        return tree;
    }
    tree.readable = true;
    tree.hasEnclosingFolder = isEnclosingFolder(base);

    QStringList pending{QString()};  // relative folders still to list
    while (!pending.isEmpty()) {
        const QString folder = pending.takeLast();
        const QString prefix = folder.isEmpty() ? QString() : folder + u'/';
        QDirIterator it(folder.isEmpty() ? base : base + u'/' + folder, everything);
        while (it.hasNext()) {
            it.next();
            const QString name = it.fileName();
            if (name.startsWith(u'.') || (folder.isEmpty() && name == macMetadataFolder)) {
                continue;
            }
            const QString path = it.filePath();
            struct stat st;
            if (!lstatPath(path, st)) {
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                ensureMode(path, st, S_IRWXU);
                pending.append(prefix + name);
            } else if (S_ISREG(st.st_mode)) {
                ensureMode(path, st, unpackedFileMode(st));
                tree.files.append({prefix + name, path, qint64(st.st_size)});
            }
        }
    }
    return tree;
}

bool removeTree(const QString &path)
{
    struct stat st;
    if (!lstatPath(path, st)) {
        return errno == ENOENT;
    }
    const QByteArray native = QFile::encodeName(path);
    if (!S_ISDIR(st.st_mode)) {
        return ::unlink(native.constData()) == 0;
    }
    ensureMode(path, st, S_IRWXU);
    bool complete = true;
    QDirIterator it(path, everything);
    while (it.hasNext()) {
        it.next();
        complete = removeTree(it.filePath()) && complete;
    }
    return ::rmdir(native.constData()) == 0 && complete;
}

} // namespace vesk
