#include "workspace/ui/file_tree_delegate.h"

#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "workspace/change_status.h"
#include "workspace/ui/file_tree_model.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>

namespace vesk {

namespace {

constexpr int iconSize = 16;
constexpr int markSize = 12;
constexpr int gap = 5;

QRect nameRect(const QStyleOptionViewItem &option)
{
    QRect rect = option.rect.adjusted(2 + iconSize + gap, 0, 0, 0);
    rect.setRight(option.rect.right() - 2 * (markSize + 4) - 4);
    return rect;
}

} // namespace

FileTreeDelegate::FileTreeDelegate(CommitRename commitRename, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_commitRename(std::move(commitRename))
{
}

void FileTreeDelegate::finishRenaming()
{
    if (QLineEdit *field = m_renameField) {
        Q_EMIT commitData(field);
        Q_EMIT closeEditor(field, QAbstractItemDelegate::NoHint);
    }
}

void FileTreeDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    opt.text.clear();
    opt.icon = QIcon();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette &palette = opt.palette;
    const bool isDirectory = index.data(FileTreeModel::IsDirectoryRole).toBool();
    const QRect rect = opt.rect;
    const int middle = rect.center().y();

    const QRect iconRect(rect.left() + 2, middle - iconSize / 2 + 1, iconSize, iconSize);
    const QColor iconColor = isDirectory ? systemColor(SystemColor::blue, palette) : secondaryLabelColor(palette);
    symbolIcon(isDirectory ? QStringLiteral("folder.fill") : QStringLiteral("doc.fill"), iconColor).paint(painter, iconRect);

    // Marks from the right edge inwards: status, then star.
    QRect markRect(rect.right() - markSize - 4, middle - markSize / 2, markSize, markSize);
    const auto status = ChangeStatus(index.data(FileTreeModel::StatusRole).toInt());
    if (status != ChangeStatus::unmodified) {
        symbolIcon(symbolName(status), namedColor(colorName(status), palette)).paint(painter, markRect);
    }
    markRect.translate(-(markSize + 4), 0);
    if (index.data(FileTreeModel::FavoriteRole).toBool()) {
        symbolIcon(QStringLiteral("star.fill"), systemColor(SystemColor::yellow, palette)).paint(painter, markRect);
    }

    const QRect textRect = nameRect(opt);
    painter->setPen(selected ? palette.color(QPalette::HighlightedText) : labelColor(palette));
    painter->setFont(opt.font);
    const QString name = opt.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle,
                                                    textRect.width());
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, name);
}

QSize FileTreeDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return QSize(option.rect.width(), rowHeight);
}

QWidget *FileTreeDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(QStringLiteral("renameField"));
    field->setFrame(true);
    m_renameField = field;
    return field;
}

void FileTreeDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *field = static_cast<QLineEdit *>(editor);
    const QString name = index.data(Qt::EditRole).toString();
    field->setText(name);
    // The name without its extension is what one usually changes.
    const qsizetype dot = name.lastIndexOf(u'.');
    field->setSelection(0, dot > 0 && !index.data(FileTreeModel::IsDirectoryRole).toBool() ? int(dot) : int(name.size()));
}

void FileTreeDelegate::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const
{
    const QString path = index.data(FileTreeModel::PathRole).toString();
    const QString text = static_cast<QLineEdit *>(editor)->text();
    m_renameField = nullptr;
    if (m_commitRename && !path.isEmpty()) {
        m_commitRename(path, text);
    }
}

void FileTreeDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &) const
{
    QRect rect = nameRect(option);
    rect.setLeft(rect.left() - 3);
    editor->setGeometry(rect);
}

} // namespace vesk
