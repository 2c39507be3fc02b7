#include "workspace/repository_walker.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

namespace vesk::RepositoryWalker {

namespace {

struct Entry
{
    QByteArray name;
    bool isDirectory = false;
};

bool isHidden(const QByteArray &path, const QByteArray &name)
{
    if (name.startsWith('.')) {
        return true;
    }
#ifdef __APPLE__
    struct stat info;
    return ::lstat(path.constData(), &info) == 0 && (info.st_flags & UF_HIDDEN) != 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

// A real folder, not a link to one.
bool isDirectory(const QByteArray &path, const dirent *entry)
{
#ifdef DT_DIR
    if (entry->d_type != DT_UNKNOWN) {
        return entry->d_type == DT_DIR;
    }
#else
    Q_UNUSED(entry);
#endif
    struct stat info;
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Reads a whole folder before anything is visited, so only one folder is open at a time
// however deep the tree.
std::vector<Entry> listFolder(const QByteArray &folder)
{
    std::vector<Entry> entries;
    DIR *dir = ::opendir(folder.constData());
    if (!dir) {
        return entries;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        const QByteArray path = folder + '/' + name;
        if (name == "." || name == ".." || isHidden(path, name) || isExcludedName(name)) {
            continue;
        }
        entries.push_back({name, isDirectory(path, entry)});
    }
    ::closedir(dir);
    return entries;
}

} // namespace

bool isExcludedName(QByteArrayView name)
{
    return name == ".git" || name == "node_modules" || name == ".build";
}

bool walk(const QString &root, const std::function<bool(const QByteArray &path, QByteArrayView name)> &visit)
{
    QByteArray rootPath = QFile::encodeName(root);
    while (rootPath.size() > 1 && rootPath.endsWith('/')) {
        rootPath.chop(1);
    }
    struct Level
    {
        QByteArray folder;
        std::vector<Entry> entries;
        size_t next = 0;
    };
    std::vector<Level> stack;
    stack.push_back({rootPath, listFolder(rootPath)});
    while (!stack.empty()) {
        Level &level = stack.back();
        if (level.next == level.entries.size()) {
            stack.pop_back();
            continue;
        }
        const Entry &entry = level.entries[level.next++];
        QByteArray path = (level.folder == "/" ? QByteArray() : level.folder) + '/' + entry.name;
        if (!entry.isDirectory) {
            if (!visit(path, entry.name)) {
                return false;
            }
            continue;
        }
        std::vector<Entry> children = listFolder(path);
        stack.push_back({std::move(path), std::move(children)});
    }
    return true;
}

} // namespace vesk::RepositoryWalker
