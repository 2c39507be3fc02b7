#include "workspace/ui/changes_list_model.h"

#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "workspace/git_manager.h"

#include <QApplication>
#include <QDir>
#include <QPainter>

#include <algorithm>

namespace vesk {

void ChangesListModel::update(const QString &repoPath, const QSet<QString> &favorites, const GitManager &git)
{
    const QList<GitStatusEntry> &entries = git.statusEntries();
    if (repoPath == m_repoPath && favorites == m_favorites && entries.constData() == m_entries.constData()
        && entries.size() == m_entries.size()) {
        return;
    }
    beginResetModel();
    m_repoPath = repoPath;
    m_favorites = favorites;
    m_entries = entries;
    m_rows.clear();
    QStringList sorted(favorites.cbegin(), favorites.cend());
    std::sort(sorted.begin(), sorted.end());
    const QString prefix = repoPath + u'/';
    if (!sorted.isEmpty()) {
        m_rows.append({Kind::favoritesHeader, QStringLiteral("Favorites"), {}, {}, {}});
    }
    for (const QString &path : std::as_const(sorted)) {
        const QString relative = QString(path).remove(prefix);
        m_rows.append({Kind::favorite, relative, QStringLiteral("fav-") + path, path, git.statusFor(relative)});
    }
    if (!entries.isEmpty()) {
        m_rows.append({Kind::changesHeader, QStringLiteral("Changes"), {}, {}, {}});
    }
    for (const GitStatusEntry &entry : entries) {
        m_rows.append({Kind::change, entry.displayPath(), QStringLiteral("change-") + entry.path,
                       QDir(repoPath).filePath(entry.path), entry.status});
    }
    endResetModel();
}

int ChangesListModel::rowForId(const QString &id) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).id == id) {
            return int(i);
        }
    }
    return -1;
}

int ChangesListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ChangesListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size()) {
        return {};
    }
    const Row &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.text;
    case Qt::ToolTipRole:
        return row.openPath.isEmpty() ? QVariant() : QVariant(row.text);
    case KindRole:
        return int(row.kind);
    case RowIdRole:
        return row.id;
    case OpenPathRole:
        return row.openPath;
    case StatusRole:
        return int(row.status);
    default:
        return {};
    }
}

Qt::ItemFlags ChangesListModel::flags(const QModelIndex &index) const
{
    const auto kind = Kind(index.data(KindRole).toInt());
    if (kind == Kind::favoritesHeader || kind == Kind::changesHeader) {
        return Qt::ItemIsEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void ChangesRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    using Kind = ChangesListModel::Kind;
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QPalette &palette = opt.palette;
    const auto kind = Kind(index.data(ChangesListModel::KindRole).toInt());
    const QString text = index.data(Qt::DisplayRole).toString();
    QRect rect = opt.rect.adjusted(8, 0, -6, 0);
    painter->save();
    if (kind == Kind::favoritesHeader || kind == Kind::changesHeader) {
        QFont font = opt.font;
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 0.9);
        painter->setFont(font);
        painter->setPen(secondaryLabelColor(palette));
        if (kind == Kind::favoritesHeader) {
            symbolIcon(QStringLiteral("star.fill"), systemColor(SystemColor::yellow, palette))
                .paint(painter, QRect(rect.left(), rect.center().y() - 6, 12, 12));
            rect.setLeft(rect.left() + 16);
        }
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, text);
        painter->restore();
        return;
    }
    opt.text.clear();
    QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, opt.widget);
    const bool selected = opt.state & QStyle::State_Selected;
    const auto status = ChangeStatus(index.data(ChangesListModel::StatusRole).toInt());
    const QColor color = namedColor(colorName(status), palette);
    symbolIcon(symbolName(status), color).paint(painter, QRect(rect.left(), rect.center().y() - 7, 14, 14));
    rect.setLeft(rect.left() + 20);

    QFont badgeFont = opt.font;
    badgeFont.setPointSizeF(badgeFont.pointSizeF() * 0.8);
    const QFontMetrics badgeMetrics(badgeFont);
    const QString badgeText = label(status);
    const int badgeWidth = badgeMetrics.horizontalAdvance(badgeText) + 10;
    const QRect badge(rect.right() - badgeWidth, rect.center().y() - badgeMetrics.height() / 2 - 1, badgeWidth,
                      badgeMetrics.height() + 2);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(withAlpha(color, badgeOpacity));
    painter->drawRoundedRect(badge, 4, 4);
    painter->setFont(badgeFont);
    painter->setPen(color);
    painter->drawText(badge, Qt::AlignCenter, badgeText);

    rect.setRight(badge.left() - 6);
    painter->setFont(opt.font);
    painter->setPen(selected ? palette.color(QPalette::HighlightedText) : labelColor(palette));
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                      opt.fontMetrics.elidedText(text, Qt::ElideMiddle, rect.width()));
    painter->restore();
}

QSize ChangesRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto kind = ChangesListModel::Kind(index.data(ChangesListModel::KindRole).toInt());
    const bool header = kind == ChangesListModel::Kind::favoritesHeader || kind == ChangesListModel::Kind::changesHeader;
    return QSize(option.rect.width(), header ? 26 : 22);
}

} // namespace vesk
