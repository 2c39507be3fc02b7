#pragma once

#include "export/file_classifier.h"

#include <QList>
#include <QString>

#include <memory>

namespace vesk {

struct ExportNode;
using ExportNodePtr = std::shared_ptr<ExportNode>;
using ExportTree = QList<ExportNodePtr>;

// One file or directory of the export scan. Nodes are shared and keep their identity, so a view
// can point at them while it shows the tree.
struct ExportNode
{
    QString name;
    QString relativePath;  // "/"-separated, no leading or trailing "/"
    bool isDirectory = false;
    FileCategory category = FileCategory::Text;  // text for directories
    QString reason;                               // empty for directories
    // A link that leads out of the repository (to a file or a folder): listed so the user sees
    // why it is missing, never selected, never packed, never entered.
    bool outsideRepository = false;
    ExportTree children;                          // directories only; never empty, sorted

    // The files at and below this node, depth first in tree order.
    QList<const ExportNode *> allFileNodes() const;
    void appendFileNodes(QList<const ExportNode *> &into) const;
};

// Every file node of `tree`, depth first in tree order.
QList<const ExportNode *> allFileNodes(const ExportTree &tree);

} // namespace vesk
