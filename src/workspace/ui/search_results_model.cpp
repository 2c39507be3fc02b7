#include "workspace/ui/search_results_model.h"

#include "editor/ui/editor_colors.h"

#include <QApplication>
#include <QPainter>

namespace vesk {

void SearchResultsModel::setResults(const QList<SearchResult> &results)
{
    if (results.constData() == m_results.constData() && results.size() == m_results.size()) {
        return;
    }
    beginResetModel();
    m_results = results;
    endResetModel();
}

int SearchResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_results.size());
}

QVariant SearchResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_results.size()) {
        return {};
    }
    const SearchResult &hit = m_results.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return QStringLiteral("%1:%2 %3").arg(hit.fileName).arg(hit.lineNumber).arg(hit.lineContent.trimmed());
    case Qt::ToolTipRole:
        return QStringLiteral("%1:%2").arg(hit.fileName).arg(hit.lineNumber);
    case FilePathRole:
        return hit.filePath;
    case FileNameRole:
        return hit.fileName;
    case LineNumberRole:
        return qlonglong(hit.lineNumber);
    case LineContentRole:
        return hit.lineContent;
    default:
        return {};
    }
}

SearchHighlighter::SearchHighlighter(const QString &query, bool caseSensitive, bool useRegex)
    : m_query(query)
    , m_case(caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive)
{
    if (useRegex) {
        QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
        if (!caseSensitive) {
            options |= QRegularExpression::CaseInsensitiveOption;
        }
        m_regex = QRegularExpression(query, options);
    }
}

std::pair<qsizetype, qsizetype> SearchHighlighter::firstMatch(const QString &line) const
{
    if (m_query.isEmpty()) {
        return {0, 0};
    }
    if (m_regex) {
        if (!m_regex->isValid()) {
            return {0, 0};
        }
        const QRegularExpressionMatch match = m_regex->match(line);
        return match.hasMatch() ? std::pair(match.capturedStart(), match.capturedLength()) : std::pair<qsizetype, qsizetype>(0, 0);
    }
    const qsizetype at = line.indexOf(m_query, 0, m_case);
    return at < 0 ? std::pair<qsizetype, qsizetype>(0, 0) : std::pair(at, m_query.size());
}

void SearchResultDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    opt.text.clear();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, opt.widget);

    const QPalette &palette = opt.palette;
    const bool selected = opt.state & QStyle::State_Selected;
    const QColor textColor = selected ? palette.color(QPalette::HighlightedText) : labelColor(palette);
    const QColor dimColor = selected ? textColor : secondaryLabelColor(palette);
    const QFontMetrics &metrics = opt.fontMetrics;
    painter->save();
    painter->setClipRect(opt.rect);
    painter->setFont(opt.font);
    QRect rect = opt.rect.adjusted(6, 0, -4, 0);

    const QString place = QStringLiteral("%1:%2")
                              .arg(index.data(SearchResultsModel::FileNameRole).toString())
                              .arg(index.data(SearchResultsModel::LineNumberRole).toLongLong());
    const QString placeShown = metrics.elidedText(place, Qt::ElideMiddle, rect.width() / 2);
    painter->setPen(dimColor);
    painter->drawText(rect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, placeShown);
    rect.setLeft(rect.left() + metrics.horizontalAdvance(placeShown) + 8);

    // The line without its indentation; the match is found in the full line and shifted along.
    const QString line = index.data(SearchResultsModel::LineContentRole).toString();
    qsizetype indent = 0;
    while (indent < line.size() && line.at(indent).isSpace()) {
        ++indent;
    }
    const QString shown = line.mid(indent);
    auto [start, length] = m_highlighter.firstMatch(line);
    start = std::max<qsizetype>(0, start - indent);
    length = std::min(length, shown.size() - start);
    const int x0 = rect.left() + metrics.horizontalAdvance(shown.left(start));
    if (length > 0) {
        const int width = metrics.horizontalAdvance(shown.mid(start, length));
        const QRect mark(x0 - 1, rect.center().y() - metrics.height() / 2, width + 2, metrics.height());
        painter->fillRect(mark, withAlpha(systemColor(SystemColor::yellow, palette), selected ? 0.55 : 0.4));
    }
    painter->setPen(textColor);
    painter->drawText(rect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, shown);
    painter->restore();
}

QSize SearchResultDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return QSize(option.rect.width(), rowHeight);
}

} // namespace vesk
