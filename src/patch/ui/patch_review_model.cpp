#include "patch/ui/patch_review_model.h"

#include "editor/ui/editor_colors.h"

#include <QCollator>
#include <QDateTime>
#include <QFontDatabase>
#include <QLocale>

#include <algorithm>
#include <limits>
#include <numeric>

namespace vesk {

namespace {

struct ColumnInfo
{
    const char16_t *title;
    const char *key;
};

const ColumnInfo columns[] = {
    {u"File \u2195", "file"},          {u"Status \u2195", "status"},         {u"Apply", ""},
    {u"Repo file \u2195", "repoDate"}, {u"Patch file \u2195", "patchDate"}, {u"Changes \u2195", "changes"},
};

// A missing date counts as the most distant past.
qint64 dateKey(const std::optional<FileTime> &date)
{
    return date ? date->nanoseconds : std::numeric_limits<qint64>::min();
}

QFont monospaced()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(11);
    return font;
}

} // namespace

PatchReviewModel::PatchReviewModel(QList<PatchFileEntry> entries, QObject *parent)
    : QAbstractTableModel(parent)
    , m_entries(std::move(entries))
    , m_displayOrder(m_entries.size())
    , m_checked(m_entries.size(), true)
{
    std::iota(m_displayOrder.begin(), m_displayOrder.end(), qsizetype(0));
}

int PatchReviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int PatchReviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

QString PatchReviewModel::dateText(const std::optional<FileTime> &date)
{
    if (!date) {
        return QStringLiteral("\u2014");
    }
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(date->nanoseconds / 1'000'000);
    return QLocale::system().toString(time, QStringLiteral("MMM d, HH:mm"));
}

QString PatchReviewModel::changesText(const PatchFileEntry &entry)
{
    QStringList parts;
    if (entry.addedLines >= 1) {
        parts << u'+' + QString::number(entry.addedLines);
    }
    if (entry.removedLines >= 1) {
        parts << QStringLiteral("\u2212") + QString::number(entry.removedLines);
    }
    return parts.isEmpty() ? QStringLiteral("\u2014") : parts.join(u' ');
}

QString PatchReviewModel::statusText(const PatchFileEntry &entry)
{
    return entry.isNew ? QStringLiteral("new") : QStringLiteral("overwrite");
}

QVariant PatchReviewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_displayOrder.size()) {
        return {};
    }
    const qsizetype entryIndex = m_displayOrder[index.row()];
    const PatchFileEntry &entry = m_entries[entryIndex];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case fileColumn: return entry.relativePath;
        case statusColumn: return statusText(entry);
        case repoDateColumn: return dateText(entry.repoModDate);
        case patchDateColumn: return dateText(entry.patchModDate);
        case changesColumn: return changesText(entry);
        default: return {};
        }
    case Qt::ToolTipRole:
        return column == fileColumn ? QVariant(entry.relativePath) : QVariant();
    case Qt::CheckStateRole:
        return column == applyColumn ? QVariant(m_checked[entryIndex] ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::FontRole:
        return column == fileColumn || column == changesColumn ? QVariant(monospaced()) : QVariant();
    case Qt::ForegroundRole:
        return foreground(entry, column);
    case Qt::BackgroundRole:
        return background(index.row(), entry);
    case Qt::UserRole:
        return QVariant::fromValue(entryIndex);
    default:
        return {};
    }
}

QVariant PatchReviewModel::foreground(const PatchFileEntry &entry, int column) const
{
    switch (column) {
    case statusColumn:
        return systemColor(entry.isNew ? SystemColor::green : SystemColor::orange, m_palette);
    case repoDateColumn:
        return entry.repoNewer ? QVariant(systemColor(SystemColor::orange, m_palette)) : QVariant();
    case changesColumn:
        if (entry.removedLines >= 1) {
            return systemColor(SystemColor::red, m_palette);
        }
        return entry.addedLines >= 1 ? QVariant(systemColor(SystemColor::green, m_palette)) : QVariant();
    default:
        return {};
    }
}

QVariant PatchReviewModel::background(int row, const PatchFileEntry &entry) const
{
    // Odd rows are set off; a row whose repository copy is newer is tinted orange over that.
    QColor color = Qt::transparent;
    if (row % 2 == 1) {
        color = withAlpha(secondaryLabelColor(m_palette), 0.1);
    }
    if (entry.repoNewer) {
        const QColor orange = withAlpha(systemColor(SystemColor::orange, m_palette), 0.1);
        const double a = orange.alphaF() + color.alphaF() * (1 - orange.alphaF());
        auto mix = [&](double top, double under) {
            return (top * orange.alphaF() + under * color.alphaF() * (1 - orange.alphaF())) / a;
        };
        color = QColor::fromRgbF(float(mix(orange.redF(), color.redF())), float(mix(orange.greenF(), color.greenF())),
                                 float(mix(orange.blueF(), color.blueF())), float(a));
    }
    return color.alpha() == 0 ? QVariant() : QVariant(color);
}

bool PatchReviewModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != applyColumn || role != Qt::CheckStateRole) {
        return false;
    }
    setChecked(entryIndex(index.row()), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags PatchReviewModel::flags(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == applyColumn) {
        result |= Qt::ItemIsUserCheckable;
    }
    return result;
}

QVariant PatchReviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount_) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromUtf16(columns[section].title);
    }
    if (role == Qt::TextAlignmentRole) {
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

int PatchReviewModel::sortColumn() const
{
    for (int column = 0; column < columnCount_; ++column) {
        if (!m_sortKey.isEmpty() && m_sortKey == QLatin1String(columns[column].key)) {
            return column;
        }
    }
    return -1;
}

bool PatchReviewModel::sortByColumn(int column)
{
    if (column < 0 || column >= columnCount_ || columns[column].key[0] == '\0') {
        return false;
    }
    const QString key = QString::fromLatin1(columns[column].key);
    if (key == m_sortKey) {
        m_sortAsc = !m_sortAsc;
    } else {
        m_sortKey = key;
        m_sortAsc = true;
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    auto less = [&](qsizetype a, qsizetype b) -> bool {
        const PatchFileEntry &x = m_entries[a];
        const PatchFileEntry &y = m_entries[b];
        switch (column) {
        case fileColumn: return collator.compare(x.relativePath, y.relativePath) < 0;
        case statusColumn: return statusText(x) < statusText(y);
        case repoDateColumn: return dateKey(x.repoModDate) < dateKey(y.repoModDate);
        case patchDateColumn: return dateKey(x.patchModDate) < dateKey(y.patchModDate);
        default: return x.addedLines + x.removedLines < y.addedLines + y.removedLines;
        }
    };

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<qsizetype> entriesBefore;
    entriesBefore.reserve(before.size());
    for (const QModelIndex &index : before) {
        entriesBefore << m_displayOrder[index.row()];
    }
    if (m_sortAsc) {
        std::stable_sort(m_displayOrder.begin(), m_displayOrder.end(), less);
    } else {
        std::stable_sort(m_displayOrder.begin(), m_displayOrder.end(), [&](qsizetype a, qsizetype b) { return less(b, a); });
    }
    // The selection stays with its entry wherever the entry moves.
    QList<int> rowOf(m_entries.size());
    for (int row = 0; row < m_displayOrder.size(); ++row) {
        rowOf[m_displayOrder[row]] = row;
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        after << index(rowOf[entriesBefore[i]], before[i].column());
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return true;
}

qsizetype PatchReviewModel::entryIndex(int displayRow) const
{
    return displayRow >= 0 && displayRow < m_displayOrder.size() ? m_displayOrder[displayRow] : -1;
}

int PatchReviewModel::displayRow(qsizetype entryIndex) const
{
    return int(m_displayOrder.indexOf(entryIndex));
}

bool PatchReviewModel::isChecked(qsizetype entryIndex) const
{
    return entryIndex >= 0 && entryIndex < m_checked.size() && m_checked[entryIndex];
}

void PatchReviewModel::setChecked(qsizetype entryIndex, bool checked)
{
    if (entryIndex < 0 || entryIndex >= m_checked.size() || m_checked[entryIndex] == checked) {
        return;
    }
    m_checked[entryIndex] = checked;
    const QModelIndex cell = index(displayRow(entryIndex), applyColumn);
    Q_EMIT dataChanged(cell, cell, {Qt::CheckStateRole});
}

QSet<qsizetype> PatchReviewModel::excludedIndices() const
{
    QSet<qsizetype> excluded;
    for (qsizetype i = 0; i < m_checked.size(); ++i) {
        if (!m_checked[i]) {
            excluded.insert(i);
        }
    }
    return excluded;
}

void PatchReviewModel::setPalette(const QPalette &palette)
{
    m_palette = palette;
    if (!m_entries.isEmpty()) {
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount_ - 1));
    }
}

} // namespace vesk
