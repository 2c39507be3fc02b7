#include "export/export_selection.h"

#include "export/export_scanner.h"
#include "export/file_classifier.h"
#include "export/path_order.h"

#include <QDir>
#include <QFileInfo>

namespace vesk {

namespace {

void appendOnce(QStringList &list, const QString &value)
{
    if (!list.contains(value)) {
        list.append(value);
    }
}

QSet<QString> setOf(const QStringList &list)
{
    return QSet<QString>(list.cbegin(), list.cend());
}

// Moves the file to the state `select` with as few overrides as it takes.
void setSelected(ExportFilter &filter, const ExportNode &file, bool select)
{
    const bool byDefault = isExportedByDefault(file.category);
    if (select) {
        if (byDefault) {
            filter.excluded.removeAll(file.relativePath);
        } else {
            appendOnce(filter.included, file.relativePath);
        }
    } else {
        // A text file can be in both lists (a hand-edited filter); "included" would keep it
        // selected for good.
        filter.included.removeAll(file.relativePath);
        if (byDefault) {
            appendOnce(filter.excluded, file.relativePath);
        }
    }
}

} // namespace

ExportSelection::ExportSelection(QObject *parent)
    : QObject(parent)
{
}

void ExportSelection::open(const QString &repoPath)
{
    std::optional<ExportFilter> saved = ExportFilter::load(repoPath);
    Q_EMIT willChange();
    m_repoPath = repoPath;
    m_filter = saved ? std::move(*saved) : ExportFilter{FileClassifier::defaultIncludedDirs(repoPath), {}, {}};
    m_allTopDirs = listTopDirs(repoPath);
    m_tree = ExportScanner::buildTree(repoPath, setOf(m_filter.includedDirs));
    resolve();
}

void ExportSelection::toggleFile(const ExportNode &node)
{
    ExportFilter filter = m_filter;
    setSelected(filter, node, !isSelected(node.relativePath));
    setFilter(std::move(filter));
    resolve();
}

void ExportSelection::toggleDir(const ExportNode &node)
{
    const QList<const ExportNode *> files = node.allFileNodes();
    if (files.isEmpty()) {
        return;
    }
    const bool fullySelected = std::all_of(files.cbegin(), files.cend(), [this](const ExportNode *file) {
        return isSelected(file->relativePath);
    });
    ExportFilter filter = m_filter;
    for (const ExportNode *file : files) {
        setSelected(filter, *file, !fullySelected);
    }
    setFilter(std::move(filter));
    resolve();
}

void ExportSelection::dirChanged(qsizetype index, bool on)
{
    if (index < 0 || index >= m_allTopDirs.size()) {
        return;
    }
    const QString &name = m_allTopDirs.at(index);
    ExportFilter filter = m_filter;
    if (on) {
        appendOnce(filter.includedDirs, name);
    } else {
        filter.includedDirs.removeAll(name);
    }
    setFilter(std::move(filter));
    rescan();
}

void ExportSelection::scanDefaults()
{
    setFilter(ExportFilter{FileClassifier::defaultIncludedDirs(m_repoPath), {}, {}});
    rescan();
}

void ExportSelection::rescan()
{
    ExportTree tree = ExportScanner::buildTree(m_repoPath, setOf(m_filter.includedDirs));
    Q_EMIT willChange();
    m_tree = std::move(tree);
    resolve();
    save();
}

void ExportSelection::save()
{
    QSet<QString> present;
    for (const ExportNode *file : allFileNodes(m_tree)) {
        present.insert(file->relativePath);
    }
    ExportFilter filter = m_filter;
    const auto gone = [&present](const QString &path) { return !present.contains(path); };
    filter.included.removeIf(gone);
    filter.excluded.removeIf(gone);
    if (filter != m_filter) {
        setFilter(std::move(filter));
    }
    QString error = m_filter.write(m_repoPath);
    if (error != m_saveError) {
        Q_EMIT willChange();
        m_saveError = std::move(error);
    }
}

QStringList ExportSelection::exportList() const
{
    QStringList list(m_includedPaths.cbegin(), m_includedPaths.cend());
    sortByCodePoint(list);
    return list;
}

QStringList ExportSelection::listTopDirs(const QString &repoPath)
{
    QStringList names = QDir(repoPath).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    names.removeIf([&repoPath](const QString &name) {
        return name == QLatin1String(".git") || name == ExportFilter::fileName() || name == QLatin1String(".DS_Store")
               || !QFileInfo(repoPath + QLatin1Char('/') + name).isDir();
    });
    sortByCodePoint(names);
    return names;
}

void ExportSelection::setFilter(ExportFilter filter)
{
    Q_EMIT willChange();
    m_filter = std::move(filter);
}

void ExportSelection::resolve()
{
    QSet<QString> paths = ExportScanner::resolveInclusion(m_tree, m_filter);
    Q_EMIT willChange();
    m_includedPaths = std::move(paths);
}

} // namespace vesk
