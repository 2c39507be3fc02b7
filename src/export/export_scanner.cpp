#include "export/export_scanner.h"

#include "export/path_order.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <set>
#include <utility>

#include <sys/stat.h>

namespace vesk {

namespace {

using DirectoryId = std::pair<dev_t, ino_t>;

struct ScanContext
{
    QCollator collator;
    // The repository's real path: nothing outside it is ever entered or offered.
    QString realRoot;
    // Every real folder entered so far: folders that link to each other would otherwise repeat
    // the same files over and over, so each is scanned once, where it is met first.
    std::set<DirectoryId> visited;
};

QCollator nameCollator()
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

std::optional<DirectoryId> directoryId(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return DirectoryId{st.st_dev, st.st_ino};
}

struct Entry
{
    QString name;
    QFileInfo info;
};

// The entries of `dirPath` that exist (links followed), in code-point order of their names.
QList<Entry> listEntries(const QString &dirPath)
{
    const QFileInfoList infos = QDir(dirPath).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    QList<Entry> entries;
    entries.reserve(infos.size());
    for (const QFileInfo &info : infos) {
        entries.append({info.fileName(), info});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry &a, const Entry &b) { return compareCodePoints(a.name, b.name) < 0; });
    return entries;
}

ScanContext makeContext(const QString &rootPath)
{
    ScanContext context{nameCollator(), QFileInfo(rootPath).canonicalFilePath(), {}};
    return context;
}

bool isInside(const QString &path, const QString &root)
{
    return !path.isEmpty() && !root.isEmpty() && (path == root || path.startsWith(root + QLatin1Char('/')));
}

// A link whose destination lies outside the repository's real path.
bool leadsOutside(const Entry &entry, const ScanContext &context)
{
    return entry.info.isSymLink() && !isInside(entry.info.canonicalFilePath(), context.realRoot);
}

ExportNodePtr outsideNode(const Entry &entry, const QString &relativePath)
{
    auto node = std::make_shared<ExportNode>();
    node->name = entry.name;
    node->relativePath = relativePath;
    node->category = FileCategory::Binary;
    node->reason = QStringLiteral("Link leading outside the repository");
    node->outsideRepository = true;
    return node;
}

ExportNodePtr fileNode(const Entry &entry, const QString &relativePath)
{
    const Classification classification = FileClassifier::classify(entry.info.filePath());
    auto node = std::make_shared<ExportNode>();
    node->name = entry.name;
    node->relativePath = relativePath;
    node->category = classification.category;
    node->reason = classification.reason;
    return node;
}

ExportTree scanDirectory(const QString &dirPath, const QString &relBase, int depth, ScanContext &context);

// The directory node for `entry`, or nothing when it holds no file within reach.
ExportNodePtr directoryNode(const Entry &entry, const QString &relativePath, int depth, ScanContext &context)
{
    const QString path = entry.info.filePath();
    const std::optional<DirectoryId> id = directoryId(path);
    if (!id || !context.visited.insert(*id).second) {
        return nullptr;
    }
    ExportTree children = scanDirectory(path, relativePath, depth, context);
    if (children.isEmpty()) {
        return nullptr;
    }
    auto node = std::make_shared<ExportNode>();
    node->name = entry.name;
    node->relativePath = relativePath;
    node->isDirectory = true;
    node->children = std::move(children);
    return node;
}

ExportTree scanDirectory(const QString &dirPath, const QString &relBase, int depth, ScanContext &context)
{
    if (depth > ExportScanner::maxDepth) {
        return {};
    }
    ExportTree nodes;
    for (const Entry &entry : listEntries(dirPath)) {
        if (entry.name == QLatin1String(".DS_Store") || !entry.info.exists()) {
            continue;
        }
        const QString relativePath = relBase + QLatin1Char('/') + entry.name;
        if (leadsOutside(entry, context)) {
            nodes.append(outsideNode(entry, relativePath));
        } else if (!entry.info.isDir()) {
            nodes.append(fileNode(entry, relativePath));
        } else if (!FileClassifier::isSkippedDirName(entry.name)) {
            if (ExportNodePtr node = directoryNode(entry, relativePath, depth + 1, context)) {
                nodes.append(std::move(node));
            }
        }
    }
    ExportScanner::sortNodes(nodes, context.collator);
    return nodes;
}

} // namespace

namespace ExportScanner {

ExportTree buildTree(const QString &repoPath, const QSet<QString> &includedDirs)
{
    ScanContext context = makeContext(repoPath);
    if (const std::optional<DirectoryId> root = directoryId(repoPath)) {
        context.visited.insert(*root);
    }
    ExportTree nodes;
    for (const Entry &entry : listEntries(repoPath)) {
        if (entry.name == ExportFilter::fileName() || entry.name == QLatin1String(".DS_Store")
            || !entry.info.exists()) {
            continue;
        }
        if (leadsOutside(entry, context)) {
            if (!entry.info.isDir() || includedDirs.contains(entry.name)) {
                nodes.append(outsideNode(entry, entry.name));
            }
        } else if (!entry.info.isDir()) {
            nodes.append(fileNode(entry, entry.name));
        } else if (includedDirs.contains(entry.name)) {
            // The user's choice decides at the root: no name table applies here.
            if (ExportNodePtr node = directoryNode(entry, entry.name, 1, context)) {
                nodes.append(std::move(node));
            }
        }
    }
    sortNodes(nodes, context.collator);
    return nodes;
}

ExportTree buildSub(const QString &dirPath, const QString &relBase, int depth)
{
    // Without the repository's root at hand, the folder scanned is the bound.
    ScanContext context = makeContext(dirPath);
    if (const std::optional<DirectoryId> id = directoryId(dirPath)) {
        context.visited.insert(*id);
    }
    return scanDirectory(dirPath, relBase, depth, context);
}

void sortNodes(ExportTree &nodes, const QCollator &collator)
{
    std::stable_sort(nodes.begin(), nodes.end(), [&collator](const ExportNodePtr &a, const ExportNodePtr &b) {
        if (a->isDirectory != b->isDirectory) {
            return a->isDirectory;
        }
        return collator.compare(a->name, b->name) < 0;
    });
}

QSet<QString> resolveInclusion(const ExportTree &tree, const ExportFilter &filter)
{
    const QSet<QString> included(filter.included.cbegin(), filter.included.cend());
    const QSet<QString> excluded(filter.excluded.cbegin(), filter.excluded.cend());
    QSet<QString> selected;
    for (const ExportNode *file : allFileNodes(tree)) {
        const QString &path = file->relativePath;
        if (file->outsideRepository) {
            continue;  // whatever the saved choice says
        }
        if (included.contains(path)
            || (!excluded.contains(path) && isExportedByDefault(file->category))) {
            selected.insert(path);
        }
    }
    return selected;
}

} // namespace ExportScanner

} // namespace vesk
