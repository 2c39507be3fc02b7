#include "editor/editor_view_model.h"
#include "editor/ui/conflict_panel.h"
#include "patch/ui/patch_result_strip.h"
#include "patch/ui/patch_review_list.h"
#include "patch/ui/patch_review_model.h"
#include "patch/ui/patch_review_panel.h"
#include "patch/ui/patch_toolbar_section.h"
#include "patch/ui/zip_drop_target.h"
#include "platform/background.h"
#include "platform/file_time.h"
#include "workspace/repository_state.h"

#include "patch_ui_test_util.h"

#include <QLabel>
#include <QProgressBar>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QUrl>

using namespace vesk;
using namespace vesk::test;

namespace {

QString textOf(const EditorViewModel &editor)
{
    return editor.document()->text();
}

} // namespace

// The patch flow from the drop to the files on disk and the editor, as the toolbar runs it.
class TestPatchFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void applyFollowsTheEditor_data();
    void applyFollowsTheEditor();
    void manyFilesShowProgress();

private:
    PrivatePreferences m_preferences;
};

void TestPatchFlow::cleanup()
{
    if (PatchReviewPanel *panel = openPatchReviewPanel()) {
        panel->dismiss();
    }
    if (ConflictPanel *conflict = openConflictPanel()) {
        delete conflict;
    }
    waitForBackgroundWork();
    QCoreApplication::processEvents();
}

void TestPatchFlow::applyFollowsTheEditor_data()
{
    QTest::addColumn<QString>("openFile");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<bool>("editsCannotBeSaved");
    QTest::addColumn<QString>("editorText");
    QTest::addColumn<bool>("conflict");

    QTest::addRow("the open file, written by the patch, shows the patched text")
        << "a.txt" << false << false << "A patched\n" << false;
    QTest::addRow("unsaved edits of a file the patch leaves alone are saved and kept")
        << "c.txt" << true << false << "edit c\nC\n" << false;
    QTest::addRow("a file the patch skips keeps its edits")
        << "b.txt" << true << false << "edit b\nB\n" << false;
    QTest::addRow("edits that cannot be saved before the patch writes their file raise the conflict")
        << "a.txt" << true << true << "edit a\nA\n" << true;
}

void TestPatchFlow::applyFollowsTheEditor()
{
    QFETCH(QString, openFile);
    QFETCH(bool, edit);
    QFETCH(bool, editsCannotBeSaved);
    QFETCH(QString, editorText);
    QFETCH(bool, conflict);

    QTemporaryDir dir;
    const QString repo = dir.filePath(QStringLiteral("repo"));
    writeFile(repo, QStringLiteral("a.txt"), "A\n");
    writeFile(repo, QStringLiteral("b.txt"), "B\n");
    writeFile(repo, QStringLiteral("c.txt"), "C\n");
    const QString zip = dir.filePath(QStringLiteral("reply.zip"));
    makeZip(zip, {{QStringLiteral("proj/a.txt"), "A patched\n"},
                  {QStringLiteral("proj/b.txt"), "B patched\n"},
                  {QStringLiteral("proj/new/d.txt"), "D\n"}});

    RepositoryState state(RepositoryTab::forPath(repo));
    EditorViewModel &editor = *state.editor();
    editor.openFile(repo + u'/' + openFile);
    if (edit) {
        editor.insertAtCursors(QStringLiteral("edit %1\n").arg(openFile.left(1)));
    }
    if (editsCannotBeSaved) {
        // Changed on disk behind the editor, the file is not saved over automatically.
        const QString path = repo + u'/' + openFile;
        QVERIFY(setModificationTime(path, {modificationTime(path)->nanoseconds + 10'000'000'000LL}));
    }

    PatchToolbarSection section(state);
    section.show();
    QSignalSpy analysed(&section, &PatchToolbarSection::analysisFinished);
    QSignalSpy applied(&section, &PatchToolbarSection::applyFinished);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(zip)});
    dropOn(section.dropTarget(), &mime);
    QVERIFY(analysed.wait(30000));

    PatchReviewPanel *panel = openPatchReviewPanel();
    QVERIFY(panel);
    QTRY_VERIFY(panel->list()->isVisible());
    QCOMPARE(panel->model()->entries().size(), 3);
    QCOMPARE(panel->model()->entries()[1].relativePath, QStringLiteral("b.txt"));
    clickCheckbox(panel->list(), 1, PatchReviewModel::applyColumn);
    QTest::keyClick(panel->list(), Qt::Key_Return);
    QVERIFY(applied.wait(30000));

    QCOMPARE(readFile(repo + QStringLiteral("/new/d.txt")), QByteArray("D\n"));
    QCOMPARE(readFile(repo + QStringLiteral("/b.txt")), openFile == u"b.txt" ? QByteArray("edit b\nB\n") : QByteArray("B\n"));
    QCOMPARE(section.resultStrip()->appliedLabel()->text(), QStringLiteral("2 applied"));
    QCOMPARE(section.resultStrip()->skippedLabel()->text(), QStringLiteral("1 skipped"));
    QCOMPARE(section.resultStrip()->errorsButton()->text(), QStringLiteral("0 errors"));
    QVERIFY(section.resultStrip()->isVisible());

    QCOMPARE(textOf(editor), editorText);
    QCOMPARE(editor.pendingConflict(), conflict);
    QCOMPARE(openConflictPanel() != nullptr, conflict);
    if (!conflict) {
        QVERIFY(!editor.hasUnsavedEdits());
        QCOMPARE(QString::fromUtf8(readFile(repo + u'/' + openFile)), editorText);
    } else {
        QCOMPARE(readFile(repo + QStringLiteral("/a.txt")), QByteArray("A patched\n"));
        // Keeping the edits writes them over the patched file.
        openConflictPanel()->keepButton()->click();
        QTRY_COMPARE(readFile(repo + QStringLiteral("/a.txt")), QByteArray("edit a\nA\n"));
    }
}

void TestPatchFlow::manyFilesShowProgress()
{
    QTemporaryDir dir;
    const QString repo = dir.filePath(QStringLiteral("repo"));
    QVERIFY(QDir().mkpath(repo));
    QMap<QString, QByteArray> files;
    for (int i = 0; i < 120; ++i) {
        files.insert(QStringLiteral("src/f%1.txt").arg(i, 3, 10, QLatin1Char('0')), QByteArray::number(i) + '\n');
    }
    const QString zip = dir.filePath(QStringLiteral("many.zip"));
    makeZip(zip, files);

    RepositoryState state(RepositoryTab::forPath(repo));
    PatchToolbarSection section(state);
    section.show();
    QSignalSpy analysed(&section, &PatchToolbarSection::analysisFinished);
    QSignalSpy applied(&section, &PatchToolbarSection::applyFinished);
    section.beginPatchFlow(zip, false);
    QVERIFY(analysed.wait(30000));
    PatchReviewPanel *panel = openPatchReviewPanel();
    QVERIFY(panel);

    QList<int> values;
    QStringList labels;
    connect(section.busyBar(), &QProgressBar::valueChanged, this, [&](int value) {
        values << value;
        labels << section.busyLabel()->text();
    });
    QTest::keyClick(panel->list(), Qt::Key_Return);
    QCOMPARE(section.busyLabel()->text(), QStringLiteral("Applying\u2026"));
    QCOMPARE(section.busyBar()->maximum(), 120);
    QVERIFY(applied.wait(30000));
    QCOMPARE(section.resultStrip()->appliedLabel()->text(), QStringLiteral("120 applied"));
    // The bar climbed to the end while the label said what was going on, then went away.
    QVERIFY(values.indexOf(120) > 0);
    QVERIFY(std::is_sorted(values.cbegin(), values.cbegin() + values.indexOf(120) + 1));
    QCOMPARE(labels.at(values.indexOf(120)), QStringLiteral("Applying\u2026"));
    QVERIFY(!section.busyLabel()->isVisible());
}

QTEST_MAIN(TestPatchFlow)
#include "tst_patch_flow.moc"
