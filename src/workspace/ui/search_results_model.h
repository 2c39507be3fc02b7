#pragma once

#include "workspace/file_search.h"

#include <QAbstractListModel>
#include <QList>
#include <QRegularExpression>
#include <QStyledItemDelegate>

#include <optional>
#include <utility>

namespace vesk {

// The hits of the last search, one row each.
class SearchResultsModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { FilePathRole = Qt::UserRole + 1, FileNameRole, LineNumberRole, LineContentRole };

    using QAbstractListModel::QAbstractListModel;

    // Replaces the rows, unless `results` is the very list on show already.
    void setResults(const QList<SearchResult> &results);
    const QList<SearchResult> &results() const { return m_results; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QList<SearchResult> m_results;
};

// What a search looked for, to mark it in the hit rows.
class SearchHighlighter
{
public:
    SearchHighlighter() = default;
    SearchHighlighter(const QString &query, bool caseSensitive, bool useRegex);

    // Start and length of the first match in `line`; length 0 when there is none.
    std::pair<qsizetype, qsizetype> firstMatch(const QString &line) const;

private:
    QString m_query;
    Qt::CaseSensitivity m_case = Qt::CaseInsensitive;
    std::optional<QRegularExpression> m_regex;
};

// A hit row: "path:line" then the line's text with the match marked, on one line.
class SearchResultDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int rowHeight = 20;

    void setHighlighter(const SearchHighlighter &highlighter) { m_highlighter = highlighter; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    SearchHighlighter m_highlighter;
};

} // namespace vesk
