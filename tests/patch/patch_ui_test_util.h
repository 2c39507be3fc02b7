#pragma once

// Fixtures of the patch views' tests: real zip archives, synthetic entries, clicks on rows.

#include "patch/patch_analysis.h"
#include "patch/ui/patch_review_list.h"
#include "platform/preferences.h"

#include "test_support.h"

#include <QDir>
#include <QHeaderView>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMap>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>

namespace vesk::test {

// Points the preferences store at a file of its own for the life of the fixture.
class PrivatePreferences
{
public:
    PrivatePreferences() { Preferences::useFile(m_dir.filePath(QStringLiteral("preferences.ini"))); }
    ~PrivatePreferences() { Preferences::useFile(QString()); }

private:
    QTemporaryDir m_dir;
};

// A zip archive made by /usr/bin/zip from `files` (relative path -> content), written to `zipPath`.
inline void makeZip(const QString &zipPath, const QMap<QString, QByteArray> &files)
{
    QTemporaryDir staging;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        writeFile(staging.path(), it.key(), it.value());
    }
    QStringList arguments{QStringLiteral("-q"), QStringLiteral("-r"), zipPath};
    arguments << QDir(staging.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    bool ok = false;
    run(QStringLiteral("/usr/bin/zip"), arguments, staging.path(), &ok);
    QVERIFY2(ok, "zip failed");
}

inline PatchFileEntry entry(const QString &path, bool isNew, qint64 added, qint64 removed, bool repoNewer = false)
{
    PatchFileEntry result;
    result.relativePath = path;
    result.patchFileURL = QStringLiteral("/nonexistent/") + path;
    result.isNew = isNew;
    result.addedLines = added;
    result.removedLines = removed;
    result.repoNewer = repoNewer;
    result.patchModDate = FileTime{qint64(1'600'000'000) * 1'000'000'000};
    if (!isNew) {
        result.repoModDate = FileTime{qint64(repoNewer ? 1'700'000'000 : 1'500'000'000) * 1'000'000'000};
    }
    return result;
}

inline PatchAnalysis analysisOf(const QList<PatchFileEntry> &entries, const QString &repoPath = QStringLiteral("/nonexistent"))
{
    PatchAnalysis analysis;
    analysis.entries = entries;
    analysis.repoPath = repoPath;
    return analysis;
}

// Where a click toggles the checkbox of a cell.
inline QPoint checkboxCenter(QAbstractItemView *view, const QModelIndex &index)
{
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    return view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view).center();
}

inline void clickCheckbox(QAbstractItemView *view, int row, int column)
{
    const QPoint at = checkboxCenter(view, view->model()->index(row, column));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// A whole drag over the target, as the window system delivers it: enter, move, drop.
inline void dropOn(QWidget *target, QMimeData *mime)
{
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

inline void clickHeader(QTableView *view, int section)
{
    QHeaderView *header = view->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

inline void clickRow(QTableView *view, int row)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(view->model()->index(row, 0)).center());
}

} // namespace vesk::test
