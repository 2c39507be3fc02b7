#pragma once

// Compact caret notation for the editor tests: "2:4 0:1[0:0]" is a caret at line 2, column 4
// and one at (0, 1) with its anchor at (0, 0), in array order.

#include "editor/editor_view_model.h"
#include "platform/file_time.h"
#include "test_support.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace vesk::test {

inline QList<TextCursor> parseCursors(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+):(\\d+)(?:\\[(\\d+):(\\d+)\\])?$"));
    QList<TextCursor> cursors;
    for (const QString &part : text.split(u' ', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = pattern.match(part);
        TextCursor cursor = TextCursor::at(m.captured(1).toLongLong(), m.captured(2).toLongLong());
        if (m.hasCaptured(3)) {
            cursor.setAnchor(m.captured(3).toLongLong(), m.captured(4).toLongLong());
        }
        cursors.append(cursor);
    }
    return cursors;
}

inline QString describeCursors(const QList<TextCursor> &cursors)
{
    QStringList parts;
    for (const TextCursor &c : cursors) {
        QString part = QStringLiteral("%1:%2").arg(c.line).arg(c.column);
        if (c.selectionAnchorLine || c.selectionAnchorColumn) {
            part += QStringLiteral("[%1:%2]").arg(c.selectionAnchorLine.value_or(-1)).arg(c.selectionAnchorColumn.value_or(-1));
        }
        parts.append(part);
    }
    return parts.join(u' ');
}

inline QList<qint64> sortedLines(const QSet<qint64> &set)
{
    QList<qint64> list(set.cbegin(), set.cend());
    std::sort(list.begin(), list.end());
    return list;
}

inline QList<qint64> marks(const EditorViewModel &editor)
{
    return sortedLines(editor.document()->modifiedLines());
}

// Writes `text` to a real file and opens it; the editor then holds it with a file open.
inline QString openText(EditorViewModel &editor, const QTemporaryDir &dir, const QString &text,
                        const QString &name = QStringLiteral("file.txt"))
{
    const QString path = writeFile(dir.path(), name, text.toUtf8());
    editor.openFile(path);
    return path;
}

// Rewrites the file and moves its modification time by `seconds`, as a change by another program.
inline void changeOnDisk(const QString &path, const QByteArray &content, qint64 seconds)
{
    const std::optional<FileTime> before = modificationTime(path);
    QVERIFY(before);
    writeFile(QFileInfo(path).path(), QFileInfo(path).fileName(), content);
    QVERIFY(setModificationTime(path, FileTime{before->nanoseconds + seconds * 1'000'000'000}));
}

// A key press as the translation from Qt hands it over: `text` is what the key produced.
inline EditorKeyEvent key(quint16 code, quint64 modifiers = 0, const QString &text = {})
{
    return EditorKeyEvent{code, modifiers, text, text.toLower()};
}

} // namespace vesk::test
