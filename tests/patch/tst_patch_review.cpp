#include "patch/patch_preview_lines.h"
#include "patch/ui/patch_preview_document.h"
#include "patch/ui/patch_preview_window.h"
#include "patch/ui/patch_review_list.h"
#include "patch/ui/patch_review_model.h"
#include "patch/ui/patch_review_panel.h"
#include "platform/background.h"

#include "patch_ui_test_util.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>

using namespace vesk;
using namespace vesk::test;

namespace {

using Type = PreviewLine::Type;

// One expected preview line: type, numbers (0 for none) and content.
struct Line
{
    Type type;
    qint64 oldNum;
    qint64 newNum;
    QString content;
};

QList<Line> linesOf(const PreviewText &text)
{
    QList<Line> lines;
    for (const PreviewLine &line : text.lines) {
        lines.append({line.type, line.oldNum.value_or(0), line.newNum.value_or(0), line.content});
    }
    return lines;
}

QString describe(const QList<Line> &lines)
{
    QStringList parts;
    for (const Line &line : lines) {
        parts << QStringLiteral("%1|%2|%3|%4").arg(int(line.type)).arg(line.oldNum).arg(line.newNum).arg(line.content);
    }
    return parts.join(u'\n');
}

// Entries with distinct sizes of change, so that sorting by changes gives one order.
QList<PatchFileEntry> fiveEntries()
{
    return {entry(QStringLiteral("a.c"), false, 5, 0), entry(QStringLiteral("B.c"), true, 1, 0),
            entry(QStringLiteral("c.c"), false, 10, 20), entry(QStringLiteral("d.c"), false, 0, 2),
            entry(QStringLiteral("e.c"), false, 0, 0)};
}

QList<qsizetype> displayedEntries(const PatchReviewModel &model)
{
    QList<qsizetype> order;
    for (int row = 0; row < model.rowCount(); ++row) {
        order << model.entryIndex(row);
    }
    return order;
}

} // namespace

Q_DECLARE_METATYPE(Line)

class TestPatchReview : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void summary_data();
    void summary();
    void rowTexts();
    void emptyPatchCannotBeApplied();
    void sortingKeepsCheckboxes();
    void returnHandsOnEntryIndices();
    void newPanelReplacesOldSilently();
    void previewFollowsTheList();
    void previewLines_data();
    void previewLines();
    void renderedGutter();
    void wholeFileMarksAddedLines();
    void viewToggleSwitchesInPlace();

private:
    QTemporaryDir m_dir;
};

void TestPatchReview::cleanup()
{
    if (PatchReviewPanel *panel = openPatchReviewPanel()) {
        panel->dismiss();
    }
    if (PatchPreviewWindow *preview = patchPreviewWindow()) {
        delete preview;
    }
    waitForBackgroundWork();
    QCoreApplication::processEvents();
}

void TestPatchReview::summary_data()
{
    QTest::addColumn<QList<PatchFileEntry>>("entries");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("warns");

    QTest::addRow("no files") << QList<PatchFileEntry>{} << "No files found in archive." << false;
    QTest::addRow("one new file") << QList<PatchFileEntry>{entry("x", true, 3, 0)} << "1 file  \u00B7  1 new" << false;
    QTest::addRow("overwrites and new")
        << QList<PatchFileEntry>{entry("a", false, 1, 1), entry("b", false, 1, 1), entry("c", true, 1, 0)}
        << "3 files  \u00B7  2 overwrite  \u00B7  1 new" << false;
    QTest::addRow("repository newer")
        << QList<PatchFileEntry>{entry("a", false, 1, 1, true), entry("b", false, 1, 1)}
        << "2 files  \u00B7  2 overwrite  \u00B7  \u26A0 1 where repo file is newer than patch" << true;
}

void TestPatchReview::summary()
{
    QFETCH(QList<PatchFileEntry>, entries);
    QFETCH(QString, text);
    QFETCH(bool, warns);
    PatchReviewPanel *panel = showPatchConfirmPanel(analysisOf(entries), [](const QSet<qsizetype> &) {}, [] {});
    QCOMPARE(panel->windowTitle(), QStringLiteral("Apply ZIP Patch?"));
    QCOMPARE(panel->summary()->text(), text);
    QCOMPARE(panel->summary()->font().weight() == QFont::DemiBold, warns);
    QCOMPARE(panel->summary()->palette().color(QPalette::WindowText) == QColor(255, 149, 0), warns);
    QCOMPARE(panel->model()->rowCount(), entries.size());
}

void TestPatchReview::rowTexts()
{
    PatchReviewModel model({entry("old.c", false, 3, 2, true), entry("new.c", true, 4, 0), entry("same.c", false, 0, 0)});
    model.setPalette(QApplication::palette());
    const QStringList headers{"File \u2195", "Status \u2195", "Apply", "Repo file \u2195", "Patch file \u2195", "Changes \u2195"};
    for (int column = 0; column < headers.size(); ++column) {
        QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), headers[column]);
    }
    auto text = [&](int row, int column) { return model.index(row, column).data().toString(); };
    QCOMPARE(text(0, PatchReviewModel::statusColumn), QStringLiteral("overwrite"));
    QCOMPARE(text(1, PatchReviewModel::statusColumn), QStringLiteral("new"));
    QCOMPARE(text(0, PatchReviewModel::changesColumn), QStringLiteral("+3 \u22122"));
    QCOMPARE(text(1, PatchReviewModel::changesColumn), QStringLiteral("+4"));
    QCOMPARE(text(2, PatchReviewModel::changesColumn), QStringLiteral("\u2014"));
    QCOMPARE(text(1, PatchReviewModel::repoDateColumn), QStringLiteral("\u2014"));
    // 1,700,000,000 s since the epoch, in the local time zone.
    const QDateTime newer = QDateTime::fromSecsSinceEpoch(1'700'000'000);
    QCOMPARE(text(0, PatchReviewModel::repoDateColumn), QLocale::system().toString(newer, QStringLiteral("MMM d, HH:mm")));
    QVERIFY(QRegularExpression(QStringLiteral("^[A-Z][a-z]{2} \\d{1,2}, \\d\\d:\\d\\d$")).match(text(0, 3)).hasMatch());
    // Colours: red when lines go, green when they only come; the newer repository date in orange.
    auto color = [&](int row, int column) { return model.index(row, column).data(Qt::ForegroundRole).value<QColor>(); };
    QVERIFY(color(0, PatchReviewModel::changesColumn).red() > 200 && color(0, PatchReviewModel::changesColumn).green() < 100);
    QVERIFY(color(1, PatchReviewModel::changesColumn).green() > 150 && color(1, PatchReviewModel::changesColumn).red() < 100);
    QVERIFY(!model.index(2, PatchReviewModel::changesColumn).data(Qt::ForegroundRole).isValid());
    QCOMPARE(color(0, PatchReviewModel::repoDateColumn), QColor(255, 149, 0));
    QVERIFY(!model.index(0, PatchReviewModel::patchDateColumn).data(Qt::ForegroundRole).isValid());
    // The newer row is tinted orange; the plain even row is not tinted at all.
    const QColor tint = model.index(0, 0).data(Qt::BackgroundRole).value<QColor>();
    QVERIFY(tint.red() > tint.blue() && tint.alpha() > 0);
    QVERIFY(!model.index(2, 0).data(Qt::BackgroundRole).isValid());
    QVERIFY(model.index(1, 0).data(Qt::BackgroundRole).isValid());
    QCOMPARE(model.index(0, PatchReviewModel::applyColumn).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
}

void TestPatchReview::emptyPatchCannotBeApplied()
{
    int applied = 0;
    int cancelled = 0;
    PatchReviewPanel *panel = showPatchConfirmPanel(
        analysisOf({}), [&](const QSet<qsizetype> &) { ++applied; }, [&] { ++cancelled; });
    QPointer<PatchReviewPanel> alive(panel);
    QVERIFY(!panel->applyButton()->isEnabled());
    QTest::keyClick(panel->list(), Qt::Key_Return);
    QCOMPARE(applied, 0);
    QVERIFY(alive && panel->isVisible());
    QTest::keyClick(panel->list(), Qt::Key_Escape);
    QCOMPARE(cancelled, 1);
    QCOMPARE(applied, 0);
    QTRY_VERIFY(!alive);
}

void TestPatchReview::sortingKeepsCheckboxes()
{
    PatchReviewPanel *panel = showPatchConfirmPanel(analysisOf(fiveEntries()), [](const QSet<qsizetype> &) {}, [] {});
    PatchReviewModel *model = panel->model();
    QTRY_VERIFY(panel->list()->isVisible());
    clickCheckbox(panel->list(), 0, PatchReviewModel::applyColumn);  // a.c
    clickCheckbox(panel->list(), 3, PatchReviewModel::applyColumn);  // d.c
    QCOMPARE(model->excludedIndices(), (QSet<qsizetype>{0, 3}));

    // Totals 5, 1, 30, 2, 0: ascending, then descending.
    clickHeader(panel->list(), PatchReviewModel::changesColumn);
    QCOMPARE(displayedEntries(*model), (QList<qsizetype>{4, 1, 3, 0, 2}));
    clickHeader(panel->list(), PatchReviewModel::changesColumn);
    QCOMPARE(displayedEntries(*model), (QList<qsizetype>{2, 0, 3, 1, 4}));
    QCOMPARE(model->excludedIndices(), (QSet<qsizetype>{0, 3}));
    for (int row = 0; row < 5; ++row) {
        const bool excluded = model->entryIndex(row) == 0 || model->entryIndex(row) == 3;
        QCOMPARE(model->index(row, PatchReviewModel::applyColumn).data(Qt::CheckStateRole).toInt(),
                 int(excluded ? Qt::Unchecked : Qt::Checked));
    }

    // The "Apply" header sorts nothing and leaves the sort key alone.
    clickHeader(panel->list(), PatchReviewModel::applyColumn);
    QCOMPARE(displayedEntries(*model), (QList<qsizetype>{2, 0, 3, 1, 4}));
    QCOMPARE(model->sortKey(), QStringLiteral("changes"));
    QVERIFY(!model->sortAscending());

    // File names sort without regard to case; status puts "new" first.
    clickHeader(panel->list(), PatchReviewModel::fileColumn);
    QCOMPARE(displayedEntries(*model), (QList<qsizetype>{0, 1, 2, 3, 4}));
    clickHeader(panel->list(), PatchReviewModel::statusColumn);
    QCOMPARE(model->entryIndex(0), 1);
}

void TestPatchReview::returnHandsOnEntryIndices()
{
    std::optional<QSet<qsizetype>> excluded;
    int cancelled = 0;
    PatchReviewPanel *panel = showPatchConfirmPanel(
        analysisOf(fiveEntries()), [&](const QSet<qsizetype> &indices) { excluded = indices; }, [&] { ++cancelled; });
    QPointer<PatchReviewPanel> alive(panel);
    QTRY_VERIFY(panel->list()->isVisible());
    clickHeader(panel->list(), PatchReviewModel::changesColumn);  // display order 4, 1, 3, 0, 2
    clickCheckbox(panel->list(), 0, PatchReviewModel::applyColumn);
    clickCheckbox(panel->list(), 4, PatchReviewModel::applyColumn);
    clickRow(panel->list(), 2);
    QTest::keyClick(panel->list(), Qt::Key_Return);
    QVERIFY(excluded);
    QCOMPARE(*excluded, (QSet<qsizetype>{4, 2}));
    QCOMPARE(cancelled, 0);
    QTRY_VERIFY(!alive);
}

void TestPatchReview::newPanelReplacesOldSilently()
{
    int calls = 0;
    int replaced = 0;
    QPointer<PatchReviewPanel> first = showPatchConfirmPanel(
        analysisOf(fiveEntries()), [&](const QSet<qsizetype> &) { ++calls; }, [&] { ++calls; });
    first->setOnReplaced([&] { ++replaced; });
    PatchReviewPanel *second = showPatchConfirmPanel(analysisOf({}), [](const QSet<qsizetype> &) {}, [] {});
    QCOMPARE(openPatchReviewPanel(), second);
    QTRY_VERIFY(!first);
    QCOMPARE(calls, 0);
    QCOMPARE(replaced, 1);
}

void TestPatchReview::previewFollowsTheList()
{
    const QString repo = m_dir.filePath(QStringLiteral("follow/repo"));
    QList<PatchFileEntry> entries;
    for (const QString &name : {QStringLiteral("one.txt"), QStringLiteral("two.txt"), QStringLiteral("three.txt")}) {
        PatchFileEntry e = entry(name, true, 1, 0);
        e.patchFileURL = writeFile(m_dir.filePath(QStringLiteral("follow/patch")), name, name.toUtf8() + '\n');
        entries << e;
    }
    PatchReviewPanel *panel = showPatchConfirmPanel(analysisOf(entries, repo), [](const QSet<qsizetype> &) {}, [] {});
    PatchReviewList *list = panel->list();
    QTRY_VERIFY(list->isVisible());
    QCOMPARE(list->selectedRow(), -1);
    QTest::keyClick(list, Qt::Key_Up);  // nothing to move from
    QCOMPARE(list->selectedRow(), -1);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->selectedRow(), 0);

    QTest::keyClick(list, Qt::Key_Space);
    QTRY_VERIFY(isPatchPreviewVisible());
    PatchPreviewWindow *preview = patchPreviewWindow();
    QTRY_VERIFY(preview->isCurrent());
    QCOMPARE(preview->windowTitle(), QStringLiteral("Patch Preview \u2014 one.txt (new file)"));
    QCOMPARE(panel->previewingEntry(), 0);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->selectedRow(), 1);
    QTRY_VERIFY(preview->isCurrent() && preview->entry()->relativePath == u"two.txt");
    QVERIFY(preview->textView()->toPlainText().contains(QStringLiteral("two.txt")));

    // Arrows pressed in the preview move the list, which the preview follows.
    QTest::keyClick(preview->textView(), Qt::Key_Down);
    QCOMPARE(list->selectedRow(), 2);
    QTRY_VERIFY(preview->isCurrent() && preview->entry()->relativePath == u"three.txt");
    QCOMPARE(patchPreviewWindow(), preview);

    // Space in the preview closes it and hands the keyboard back to the list.
    QTest::keyClick(preview->textView(), Qt::Key_Space);
    QVERIFY(!isPatchPreviewVisible());
    QCOMPARE(panel->previewingEntry(), -1);

    // Space on the previewed row closes the preview again.
    QTest::keyClick(list, Qt::Key_Space);
    QTRY_VERIFY(isPatchPreviewVisible());
    clickRow(list, 0);
    QTRY_VERIFY(patchPreviewWindow()->entry()->relativePath == u"one.txt");
    QTest::keyClick(list, Qt::Key_Space);
    QVERIFY(!isPatchPreviewVisible());
    QCOMPARE(panel->previewingEntry(), -1);
}

void TestPatchReview::previewLines_data()
{
    QTest::addColumn<bool>("isNew");
    QTest::addColumn<QByteArray>("repoText");
    QTest::addColumn<QByteArray>("patchText");
    QTest::addColumn<QList<Line>>("expected");

    const Line oldHeader{Type::fileHeader, 0, 0, "--- a/f.txt"};
    const Line newHeader{Type::fileHeader, 0, 0, "+++ b/f.txt"};
    QTest::addRow("new file of three lines ending in a line feed")
        << true << QByteArray() << QByteArray("a\nb\nc\n")
        << QList<Line>{{Type::fileHeader, 0, 0, "--- /dev/null"}, {Type::fileHeader, 0, 0, "+++ b/f.txt"},
                       {Type::hunkHeader, 0, 0, "@@ -0,0 +1,3 @@"}, {Type::addition, 0, 1, "a"},
                       {Type::addition, 0, 2, "b"}, {Type::addition, 0, 3, "c"}};
    QTest::addRow("new file without a final line feed")
        << true << QByteArray() << QByteArray("a\n\nb")
        << QList<Line>{{Type::fileHeader, 0, 0, "--- /dev/null"}, {Type::fileHeader, 0, 0, "+++ b/f.txt"},
                       {Type::hunkHeader, 0, 0, "@@ -0,0 +1,3 @@"}, {Type::addition, 0, 1, "a"},
                       {Type::addition, 0, 2, ""}, {Type::addition, 0, 3, "b"},
                       {Type::context, 0, 0, "\\ No newline at end of file"}};
    QTest::addRow("new file that is not UTF-8")
        << true << QByteArray() << QByteArray("\xff\xfe")
        << QList<Line>{{Type::fileHeader, 0, 0, "--- /dev/null"}, {Type::fileHeader, 0, 0, "+++ b/f.txt"},
                       {Type::context, 0, 0, "(Unable to read file)"}};
    QTest::addRow("one replaced line")
        << false << QByteArray("one\ntwo\nthree\n") << QByteArray("one\nTWO\nthree\n")
        << QList<Line>{oldHeader, newHeader, {Type::hunkHeader, 0, 0, "@@ -1,3 +1,3 @@"}, {Type::context, 1, 1, "one"},
                       {Type::deletion, 2, 0, "two"}, {Type::addition, 0, 2, "TWO"}, {Type::context, 3, 3, "three"}};
    QTest::addRow("changed lines beginning with -- and ++")
        << false << QByteArray("-- old\nkeep\n") << QByteArray("++ new\nkeep\n")
        << QList<Line>{oldHeader, newHeader, {Type::hunkHeader, 0, 0, "@@ -1,2 +1,2 @@"}, {Type::deletion, 1, 0, "-- old"},
                       {Type::addition, 0, 1, "++ new"}, {Type::context, 2, 2, "keep"}};
    QTest::addRow("identical files") << false << QByteArray("same\n") << QByteArray("same\n")
                                     << QList<Line>{{Type::context, 0, 0, "(No differences)"}};
}

void TestPatchReview::previewLines()
{
    QFETCH(bool, isNew);
    QFETCH(QByteArray, repoText);
    QFETCH(QByteArray, patchText);
    QFETCH(QList<Line>, expected);

    QTemporaryDir dir;
    const QString repo = dir.filePath(QStringLiteral("repo"));
    PatchFileEntry e = entry(QStringLiteral("f.txt"), isNew, 0, 0);
    e.patchFileURL = writeFile(dir.filePath(QStringLiteral("patch")), QStringLiteral("f.txt"), patchText);
    if (!isNew) {
        writeFile(repo, QStringLiteral("f.txt"), repoText);
    }
    const QList<Line> actual = linesOf(buildPreviewDiff(e, repo));
    QCOMPARE(describe(actual), describe(expected));
    QCOMPARE(buildPreviewDiff(e, repo).titleSuffix, isNew ? QStringLiteral("f.txt (new file)") : QStringLiteral("f.txt"));
}

void TestPatchReview::renderedGutter()
{
    PreviewText text;
    text.lines = {{Type::hunkHeader, "@@ -9,2 +9,2 @@", {}, {}},
                  {Type::context, "same", 9, 9},
                  {Type::deletion, "gone", 10, {}},
                  {Type::addition, "come", {}, 10}};
    const QPalette palette = QApplication::palette();
    std::unique_ptr<QTextDocument> document(buildPreviewDocument(text, PreviewStyle::diff, palette));
    QCOMPARE(document->toPlainText(), QStringLiteral("           @@ @@ -9,2 +9,2 @@\n"
                                                     "   9    9     same\n"
                                                     "  10       \u2212  gone\n"
                                                     "       10  +  come"));
    // Each line's background spans the line; the context marker is drawn in a clear colour.
    const QTextBlock deletion = document->findBlockByNumber(2);
    QCOMPARE(deletion.blockFormat().background().color(), previewLineColors(Type::deletion, palette).lineBackground);
    QVERIFY(!document->findBlockByNumber(1).blockFormat().hasProperty(QTextFormat::BackgroundBrush));
    const QTextBlock context = document->findBlockByNumber(1);
    for (QTextBlock::iterator it = context.begin(); !it.atEnd(); ++it) {
        if (it.fragment().text() == u"   ") {
            QCOMPARE(it.fragment().charFormat().foreground().color().alpha(), 0);
        }
    }
    // Dark appearance keeps the marks readable: the added text is lighter than on white.
    QPalette dark = palette;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, Qt::white);
    QVERIFY(previewLineColors(Type::addition, dark).text.lightness()
            > previewLineColors(Type::addition, palette).text.lightness());
}

void TestPatchReview::wholeFileMarksAddedLines()
{
    QTemporaryDir dir;
    const QString repo = dir.filePath(QStringLiteral("repo"));
    writeFile(repo, QStringLiteral("f.txt"), "one\ntwo\nthree\n");
    PatchFileEntry e = entry(QStringLiteral("f.txt"), false, 0, 0);
    e.patchFileURL = writeFile(dir.filePath(QStringLiteral("patch")), QStringLiteral("f.txt"), "one\nTWO\n++x\nthree\n");
    const PreviewText text = buildPreviewWholeFile(e, repo);
    QList<Type> types;
    for (const PreviewLine &line : text.lines) {
        types << line.type;
    }
    QCOMPARE(types, (QList<Type>{Type::context, Type::addition, Type::addition, Type::context}));
    std::unique_ptr<QTextDocument> document(buildPreviewDocument(text, PreviewStyle::wholeFile, QApplication::palette()));
    QCOMPARE(document->toPlainText(), QStringLiteral("   1    one\n   2  + TWO\n   3  + ++x\n   4    three"));
}

void TestPatchReview::viewToggleSwitchesInPlace()
{
    QTemporaryDir dir;
    const QString repo = dir.filePath(QStringLiteral("repo"));
    writeFile(repo, QStringLiteral("f.txt"), "one\ntwo\nthree\n");
    PatchFileEntry e = entry(QStringLiteral("f.txt"), false, 1, 1);
    e.patchFileURL = writeFile(dir.filePath(QStringLiteral("patch")), QStringLiteral("f.txt"), "one\nTWO\nthree\n");

    PatchPreviewWindow *preview = showPatchDiffPreview(e, repo);
    QTRY_VERIFY(preview->isCurrent());
    QVERIFY(preview->viewOnlyPatchBox()->isChecked());
    QCOMPARE(preview->windowTitle(), QStringLiteral("Patch Preview \u2014 f.txt"));
    QVERIFY(preview->textView()->toPlainText().contains(QStringLiteral("@@ -1,3 +1,3 @@")));

    QTest::mouseClick(preview->viewOnlyPatchBox(), Qt::LeftButton);
    QTRY_VERIFY(preview->isCurrent());
    QCOMPARE(patchPreviewWindow(), preview);
    QVERIFY(preview->isVisible());
    QCOMPARE(preview->textView()->toPlainText(), QStringLiteral("   1    one\n   2  + TWO\n   3    three"));

    // The choice holds for the next preview, and is put back for the tests after this one.
    QVERIFY(!PatchPreviewWindow::viewOnlyPatch());
    showPatchDiffPreview(e, repo);
    QTRY_VERIFY(preview->isCurrent());
    QVERIFY(!preview->viewOnlyPatchBox()->isChecked());
    QVERIFY(preview->textView()->toPlainText().startsWith(QStringLiteral("   1    one")));
    QTest::mouseClick(preview->viewOnlyPatchBox(), Qt::LeftButton);
    QTRY_VERIFY(preview->isCurrent() && preview->textView()->toPlainText().contains(QStringLiteral("@@")));
}

QTEST_MAIN(TestPatchReview)
#include "tst_patch_review.moc"
