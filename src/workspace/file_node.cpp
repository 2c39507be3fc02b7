#include "workspace/file_node.h"

#include <QCollator>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QRandomGenerator>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <map>
#include <numeric>
#include <set>
#include <vector>

namespace vesk {

namespace {

// How strongly a folder shows a status found below it; the strongest wins.
int rollUpRank(ChangeStatus status)
{
    switch (status) {
    case ChangeStatus::conflict:
        return 6;
    case ChangeStatus::deleted:
        return 5;
    case ChangeStatus::modified:
        return 4;
    case ChangeStatus::added:
        return 3;
    case ChangeStatus::renamed:
        return 2;
    case ChangeStatus::untracked:
        return 1;
    case ChangeStatus::unmodified:
        return 0;
    }
    return 0;
}

// The status entries arranged for lookups by relative path, so a tree of many files costs a few
// hash lookups per node rather than a pass over every entry.
//
// A file takes only the status of its own path. Matching entries by their last components as
// well would give a clean README.md at the root the status of a changed docs/README.md; and the
// entries are always relative to the tree's root, since status is read only where .git is.
class StatusIndex
{
public:
    explicit StatusIndex(const QList<GitStatusEntry> &entries)
    {
        for (const GitStatusEntry &entry : entries) {
            const QString &path = entry.path;
            insertFirst(m_exact, path, entry.status);
            // An entry may name a folder: an untracked "dir/", or a submodule (" M sub") whose
            // checkout changed. It gives that folder its status, as it does every folder above it.
            const QString asFolder = path.endsWith(u'/') ? path : path + u'/';
            for (qsizetype slash = asFolder.indexOf(u'/'); slash >= 0; slash = asFolder.indexOf(u'/', slash + 1)) {
                const QString folder = asFolder.left(slash + 1);
                const auto it = m_folder.find(folder);
                if (it == m_folder.end()) {
                    m_folder.insert(folder, entry.status);
                } else if (rollUpRank(entry.status) > rollUpRank(*it)) {
                    *it = entry.status;
                }
            }
        }
    }

    ChangeStatus fileStatus(const QString &relativePath) const
    {
        if (const auto it = m_exact.constFind(relativePath); it != m_exact.cend()) {
            return *it;
        }
        return ChangeStatus::unmodified;
    }

    ChangeStatus folderStatus(const QString &relativePath) const
    {
        const QString prefix = relativePath.endsWith(u'/') ? relativePath : relativePath + u'/';
        return m_folder.value(prefix, ChangeStatus::unmodified);
    }

private:
    // The first entry for a path decides, as a search in git's order would.
    static void insertFirst(QHash<QString, ChangeStatus> &map, const QString &key, ChangeStatus status)
    {
        if (!map.contains(key)) {
            map.insert(key, status);
        }
    }

    QHash<QString, ChangeStatus> m_exact;
    QHash<QString, ChangeStatus> m_folder;
};

struct FileId
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId &) const = default;
    auto operator<=>(const FileId &) const = default;
};

struct Listed
{
    QByteArray rawName;
    QString name;
    bool isDirectory = false;
    bool isLink = false;
    FileId target;  // for a link to a directory: what it leads to
};

bool isDropped(const QByteArray &name, bool showDotFiles)
{
    if (name == "." || name == ".." || name == "node_modules" || name == ".build") {
        return true;
    }
    return !showDotFiles && name.startsWith('.');
}

QString joinPath(const QString &directory, const QString &name)
{
    return directory.endsWith(u'/') ? directory + name : directory + u'/' + name;
}

QByteArray joinPath(const QByteArray &directory, const QByteArray &name)
{
    return directory.endsWith('/') ? directory + name : directory + '/' + name;
}

// The user's locale; the C locale's collation ignores case settings, so English stands in.
QLocale collationLocale()
{
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
}

// Version 4 UUIDs from a generator seeded once per build: asking the system for randomness for
// each of tens of thousands of nodes costs more than listing them.
class NodeIds
{
public:
    NodeIds()
        : m_generator(seeded())
    {
    }

    QUuid next()
    {
        std::array<quint32, 4> bits;
        m_generator.fillRange(bits.data(), qsizetype(bits.size()));
        QByteArray bytes(reinterpret_cast<const char *>(bits.data()), 16);
        bytes[6] = char((bytes[6] & 0x0F) | 0x40);  // version 4
        bytes[8] = char((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
        return QUuid::fromRfc4122(bytes);
    }

private:
    static QRandomGenerator seeded()
    {
        std::array<quint32, 8> seed;
        QRandomGenerator::system()->fillRange(seed.data(), qsizetype(seed.size()));
        return QRandomGenerator(seed.data(), qsizetype(seed.size()));
    }

    QRandomGenerator m_generator;
};

class TreeBuilder
{
public:
    TreeBuilder(const QList<GitStatusEntry> &entries, bool showDotFiles)
        : m_index(entries)
        , m_collator(collationLocale())
        , m_showDotFiles(showDotFiles)
    {
        m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    }

    // The tree below `directory`. Every real folder (device and inode) is listed once per
    // build: folders that link to each other would otherwise multiply the tree. Real folders
    // come first; links to folders are followed afterwards, so a link to a folder shown
    // elsewhere appears as a folder without children.
    QList<FileNode> buildTree(const QString &directory, const QString &relativePrefix, int depth)
    {
        QList<FileNode> nodes = build(directory, relativePrefix, depth, true);
        if (!m_pendingLinks.empty()) {
            followPendingLinks(nodes);
        }
        return nodes;
    }

private:
    struct PendingLink
    {
        QString relative;
        int depth = 0;
    };

    QList<FileNode> build(const QString &directory, const QString &relativePrefix, int depth, bool deferLinks)
    {
        if (depth >= fileTreeDepthLimit) {
            return {};
        }
        const QByteArray rawDirectory = QFile::encodeName(directory);
        std::vector<Listed> listed;
        if (!list(rawDirectory, listed)) {
            return {};
        }
        QList<FileNode> nodes;
        nodes.reserve(qsizetype(listed.size()));
        for (const qsizetype i : sortedOrder(listed)) {
            const Listed &entry = listed[size_t(i)];
            FileNode node;
            node.id = m_ids.next();
            node.name = entry.name;
            node.path = joinPath(directory, entry.name);
            node.isDirectory = entry.isDirectory;
            const QString relative = relativePrefix.isEmpty() ? entry.name : relativePrefix + u'/' + entry.name;
            if (entry.isDirectory) {
                if (!entry.isLink) {
                    node.children = build(node.path, relative, depth + 1, deferLinks);
                } else if (deferLinks) {
                    m_pendingLinks.emplace(node.path, PendingLink{relative, depth + 1});
                } else if (!m_visited.contains(entry.target)) {
                    node.children = build(node.path, relative, depth + 1, false);
                }
                node.gitStatus = m_index.folderStatus(relative);
            } else {
                node.gitStatus = m_index.fileStatus(relative);
            }
            nodes.append(std::move(node));
        }
        return nodes;
    }

    void followPendingLinks(QList<FileNode> &nodes)
    {
        for (FileNode &node : nodes) {
            if (!node.isDirectory) {
                continue;
            }
            const auto pending = m_pendingLinks.find(node.path);
            if (pending == m_pendingLinks.end()) {
                followPendingLinks(node.children);
                continue;
            }
            const PendingLink link = pending->second;
            m_pendingLinks.erase(pending);
            node.children = build(node.path, link.relative, link.depth, false);
        }
    }

    // Reads one folder whole; false when it cannot be read or was listed before in this build.
    bool list(const QByteArray &rawDirectory, std::vector<Listed> &listed)
    {
        DIR *dir = ::opendir(rawDirectory.constData());
        if (!dir) {
            return false;
        }
        struct stat self;
        if (::fstat(dirfd(dir), &self) != 0 || !m_visited.insert(FileId{self.st_dev, self.st_ino}).second) {
            ::closedir(dir);
            return false;
        }
        while (const dirent *item = ::readdir(dir)) {
            Listed entry;
            entry.rawName = QByteArray(item->d_name);
            if (isDropped(entry.rawName, m_showDotFiles)) {
                continue;
            }
            entry.name = QFile::decodeName(entry.rawName);
            classify(rawDirectory, item, entry);
            listed.push_back(std::move(entry));
        }
        ::closedir(dir);
        return true;
    }

    static void classify(const QByteArray &rawDirectory, const dirent *item, Listed &entry)
    {
#ifdef DT_DIR
        if (item->d_type == DT_DIR) {
            entry.isDirectory = true;
            return;
        }
        if (item->d_type != DT_LNK && item->d_type != DT_UNKNOWN) {
            return;
        }
        entry.isLink = item->d_type == DT_LNK;
#else
        Q_UNUSED(item);
#endif
        const QByteArray path = joinPath(rawDirectory, entry.rawName);
        struct stat info;
        if (::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return;
        }
        entry.isDirectory = true;
        entry.target = {info.st_dev, info.st_ino};
        if (!entry.isLink) {
            struct stat own;
            entry.isLink = ::lstat(path.constData(), &own) == 0 && S_ISLNK(own.st_mode);
        }
    }

    // Directories first, then the collator's order; each name's sort key is made once.
    std::vector<qsizetype> sortedOrder(const std::vector<Listed> &listed)
    {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(listed.size());
        for (const Listed &entry : listed) {
            keys.push_back(m_collator.sortKey(entry.name));
        }
        std::vector<qsizetype> order(listed.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
            const Listed &x = listed[size_t(a)];
            const Listed &y = listed[size_t(b)];
            if (x.isDirectory != y.isDirectory) {
                return x.isDirectory;
            }
            if (const int c = keys[size_t(a)].compare(keys[size_t(b)]); c != 0) {
                return c < 0;
            }
            return x.name < y.name;  // names equal but for case: a fixed order all the same
        });
        return order;
    }

    StatusIndex m_index;
    NodeIds m_ids;
    QCollator m_collator;
    bool m_showDotFiles;
    std::set<FileId> m_visited;
    std::map<QString, PendingLink> m_pendingLinks;  // by the link's path
};

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/')) {
        path.chop(1);
    }
    return path;
}

// Where `directory` stands relative to the repository root; a directory outside it keeps its
// whole path, which then matches no entry.
QString relativeStart(const QString &directory, const QString &root)
{
    if (directory == root) {
        return QString();
    }
    const QString prefix = root.endsWith(u'/') ? root : root + u'/';
    return directory.startsWith(prefix) ? directory.mid(prefix.size()) : directory;
}

} // namespace

QList<FileNode> buildFileTree(const QString &directory, const QString &repoRoot,
                              const QList<GitStatusEntry> &statusEntries, bool showDotFiles, int depth)
{
    const QString dir = withoutTrailingSlashes(directory);
    const QString root = withoutTrailingSlashes(repoRoot);
    TreeBuilder builder(statusEntries, showDotFiles);
    return builder.buildTree(dir, relativeStart(dir, root), depth);
}

} // namespace vesk
