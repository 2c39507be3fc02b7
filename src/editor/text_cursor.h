#pragma once

#include <QUuid>
#include <QtGlobal>

#include <optional>

namespace vesk {

// One caret: a position (0-based line, column in characters) and an optional selection anchor.
// The selection runs between the anchor and the caret, whichever comes first; the caret is the
// moving end. Every cursor made gets an identity of its own that copies keep.
struct TextCursor
{
    QUuid id = QUuid::createUuid();
    qint64 line = 0;
    qint64 column = 0;
    std::optional<qint64> selectionAnchorLine;
    std::optional<qint64> selectionAnchorColumn;

    static TextCursor at(qint64 line, qint64 column)
    {
        TextCursor cursor;
        cursor.line = line;
        cursor.column = column;
        return cursor;
    }

    bool hasSelection() const { return selectionAnchorLine.has_value() && selectionAnchorColumn.has_value(); }
    void setAnchor(qint64 anchorLine, qint64 anchorColumn)
    {
        selectionAnchorLine = anchorLine;
        selectionAnchorColumn = anchorColumn;
    }
    void clearAnchor()
    {
        selectionAnchorLine.reset();
        selectionAnchorColumn.reset();
    }

    bool operator==(const TextCursor &) const = default;
};

} // namespace vesk
