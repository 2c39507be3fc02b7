#include "export/export_node.h"

namespace vesk {

QList<const ExportNode *> ExportNode::allFileNodes() const
{
    QList<const ExportNode *> files;
    appendFileNodes(files);
    return files;
}

void ExportNode::appendFileNodes(QList<const ExportNode *> &into) const
{
    if (!isDirectory) {
        into.append(this);
        return;
    }
    for (const ExportNodePtr &child : children) {
        child->appendFileNodes(into);
    }
}

QList<const ExportNode *> allFileNodes(const ExportTree &tree)
{
    QList<const ExportNode *> files;
    for (const ExportNodePtr &node : tree) {
        node->appendFileNodes(files);
    }
    return files;
}

} // namespace vesk
