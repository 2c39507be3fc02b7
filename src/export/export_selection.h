#pragma once

#include "export/export_filter.h"
#include "export/export_node.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

namespace vesk {

// The state behind one open export panel: the scanned tree, the user's filter and the files
// it selects. Every operation runs synchronously and leaves includedPaths() equal to
// ExportScanner::resolveInclusion(tree(), filter()). Only rescan() and save() write the file.
class ExportSelection : public QObject
{
    Q_OBJECT

public:
    explicit ExportSelection(QObject *parent = nullptr);

    // Loads the saved filter (or proposes the default directories, writing nothing), lists the
    // top-level directories and scans.
    void open(const QString &repoPath);

    const QString &repoPath() const { return m_repoPath; }
    const QStringList &allTopDirs() const { return m_allTopDirs; }
    const ExportFilter &filter() const { return m_filter; }
    const ExportTree &tree() const { return m_tree; }
    const QSet<QString> &includedPaths() const { return m_includedPaths; }
    bool isSelected(const QString &relativePath) const { return m_includedPaths.contains(relativePath); }
    // Why the last save left the filter file as it was (it is a link, the disk refused); empty
    // after a save that wrote it.
    const QString &saveError() const { return m_saveError; }

    // Flips one file, recording an override only where it differs from its category's default.
    void toggleFile(const ExportNode &node);
    // Deselects every file below a fully selected directory; otherwise selects them all.
    void toggleDir(const ExportNode &node);
    // Checks or unchecks the top-level directory allTopDirs()[index], then rescans. An index
    // outside the list is ignored.
    void dirChanged(qsizetype index, bool on);
    // Back to the proposed directories without overrides; rescans (and so saves).
    void scanDefaults();
    // Scans again keeping the overrides, then saves.
    void rescan();
    // Drops overrides of files no longer in the tree and writes the filter file.
    void save();

    // The selected paths in code-point order: what goes into the archive.
    QStringList exportList() const;

    // The top-level directories a user may choose: every directory at the root except ".git".
    static QStringList listTopDirs(const QString &repoPath);

Q_SIGNALS:
    void willChange();

private:
    void setFilter(ExportFilter filter);
    void resolve();

    QString m_repoPath;
    QStringList m_allTopDirs;
    ExportFilter m_filter;
    ExportTree m_tree;
    QSet<QString> m_includedPaths;
    QString m_saveError;
};

} // namespace vesk
