// The marks of a committed file as the user sees them after an edit and a pause: the committed
// text comes from git in a real repository, the file from disk, the edit through the editor.
// The files are large enough that the comparison skips what the texts share; the published marks
// must still be those the system's diff gives for the same two texts. The unsaved-edits state of
// such a file follows its text exactly, however often it is asked.

#include "editor_test_util.h"
#include "platform/background.h"
#include "text/baseline_diff.h"

#include <QSignalSpy>

using namespace vesk;
using namespace vesk::test;

namespace {

// Line i of a file of `count` unique lines, long enough that the file spans many subtrees.
QByteArray numberedLines(int count, const QByteArray &tag = "line")
{
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        text += tag + ' ' + QByteArray::number(i) + ": the quick brown fox jumps over the lazy dog\n";
    }
    return text;
}

// Replaces lines [from, from + count) of `text` by `lines`.
QByteArray replacedLines(const QByteArray &text, int from, int count, const QByteArray &lines)
{
    QList<QByteArray> all = text.split('\n');
    QList<QByteArray> inserted = lines.isEmpty() ? QList<QByteArray>() : lines.split('\n');
    all.remove(from, count);
    for (qsizetype k = 0; k < inserted.size(); ++k) {
        all.insert(from + k, inserted[k]);
    }
    return all.join('\n');
}

} // namespace

class TestEditorMarks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void marksAfterAPause_data();
    void marksAfterAPause();
    void unsavedEditsFollowTheText_data();
    void unsavedEditsFollowTheText();
};

void TestEditorMarks::marksAfterAPause_data()
{
    QTest::addColumn<QByteArray>("committed");
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<int>("pasteLine");
    QTest::addColumn<QString>("pasted");  // replaces the whole line when it ends without a break

    const QByteArray lines = numberedLines(6000);
    QTest::addRow("unchanged since the commit, three lines pasted") << lines << lines << 3000
                                                                   << QStringLiteral("p\nq\nr\n");
    QTest::addRow("changed at the end, three lines pasted in the middle")
        << lines << lines + "appended\n" << 3000 << QStringLiteral("p\nq\nr\n");
    QTest::addRow("changed at both ends, a line pasted near the start")
        << lines << replacedLines(lines + "appended\n", 0, 2, "new first") << 40 << QStringLiteral("p\n");
    QTest::addRow("lines removed on disk, a pasted line repeats a removed one")
        << lines << replacedLines(lines, 2000, 500, "") << 4000
        << QString::fromUtf8(numberedLines(2100).split('\n').at(2010) + '\n');
    QTest::addRow("a line replaced with the same length")
        << lines << lines << 5999 << QString::fromUtf8(numberedLines(6000, "LINE").split('\n').at(5999));
    QTest::addRow("no break at the end, pasted at the last line")
        << lines.chopped(1) << lines.chopped(1) + " and more" << 5999 << QStringLiteral("x\ny\n");
}

void TestEditorMarks::marksAfterAPause()
{
    QFETCH(QByteArray, committed);
    QFETCH(QByteArray, onDisk);
    QFETCH(int, pasteLine);
    QFETCH(QString, pasted);

    QTemporaryDir dir;
    initGitRepo(dir.path());
    const QString path = writeFile(dir.path(), QStringLiteral("big.txt"), committed);
    commitAll(dir.path());
    writeFile(dir.path(), QStringLiteral("big.txt"), onDisk);

    EditorViewModel editor;
    editor.openFile(path);
    VeskDocument *document = editor.document();
    const DiffResult onOpen = baseline::computeDiff(VeskNode::buildUtf8(committed), VeskNode::buildUtf8(onDisk));
    QTRY_COMPARE(document->original()->toUtf8(), committed);
    QCOMPARE((DiffResult{document->modifiedLines(), document->deletedAfterLines()}), onOpen);
    if (committed == onDisk) {
        QCOMPARE(document->original(), document->vesk());  // the loaded text itself, not a copy
    }

    document->setMarksPause(0);
    TextCursor caret = TextCursor::at(pasteLine, 0);
    if (!pasted.endsWith(u'\n')) {
        caret = TextCursor::at(pasteLine, document->line(pasteLine).size());
        caret.setAnchor(pasteLine, 0);
    }
    editor.setCursors({caret});
    QSignalSpy settled(document, &VeskDocument::marksSettled);
    editor.paste(pasted);
    QVERIFY(settled.wait(10000));
    const QByteArray edited = document->vesk()->toUtf8();
    // The system's diff on two trees that share nothing is the reference.
    const DiffResult expected = baseline::computeDiff(VeskNode::buildUtf8(committed), VeskNode::buildUtf8(edited));
    QCOMPARE(sortedLines(document->modifiedLines()), sortedLines(expected.modified));
    QCOMPARE(sortedLines(document->deletedAfterLines()), sortedLines(expected.deletedAfter));
    QCOMPARE(document->original()->toUtf8(), committed);

    // Undone, the marks are those of the file as opened again.
    editor.undo();
    QVERIFY(settled.wait(10000));
    QCOMPARE((DiffResult{document->modifiedLines(), document->deletedAfterLines()}), onOpen);
}

void TestEditorMarks::unsavedEditsFollowTheText_data()
{
    QTest::addColumn<QString>("steps");  // t: type "x" at the caret, b: backspace, r: retype the next
                                         // letter as it was, R: as another, s: save, u: undo, y: redo
    QTest::addColumn<bool>("unsaved");

    QTest::addRow("typed and erased") << "tb" << false;
    QTest::addRow("a letter typed over with itself") << "r" << false;
    QTest::addRow("a letter typed over with another") << "R" << true;
    QTest::addRow("saved, then typed") << "ts" << false;
    QTest::addRow("saved, then typed again") << "tst" << true;
    QTest::addRow("undone back to the saved text") << "tsbu" << false;
    QTest::addRow("redone after that") << "tsbuy" << true;
    QTest::addRow("undone past the save") << "tsu" << true;
}

void TestEditorMarks::unsavedEditsFollowTheText()
{
    QFETCH(QString, steps);
    QFETCH(bool, unsaved);

    QTemporaryDir dir;
    const QString path = writeFile(dir.path(), QStringLiteral("big.txt"), numberedLines(6000));
    EditorViewModel editor;
    editor.openFile(path);
    editor.setClock([] { return qint64(0); });
    editor.setCursors({TextCursor::at(3000, 5)});
    QVERIFY(!editor.hasUnsavedEdits());
    for (const QChar step : steps) {
        const TextCursor caret = editor.cursors().first();
        if (step == u't') {
            editor.insertAtCursors(QStringLiteral("x"));
        } else if (step == u'b') {
            editor.deleteAtCursors();
        } else if (step == u'r' || step == u'R') {
            const QString letter = editor.document()->line(caret.line).mid(caret.column, 1);
            TextCursor selected = TextCursor::at(caret.line, caret.column + 1);
            selected.setAnchor(caret.line, caret.column);
            editor.setCursors({selected});
            editor.paste(step == u'r' ? letter : QStringLiteral("#"));
        } else if (step == u's') {
            editor.saveAndWait();
            QVERIFY(!editor.hasUnsavedEdits());
        } else if (step == u'u') {
            editor.undo();
        } else if (step == u'y') {
            editor.redo();
        }
        editor.hasUnsavedEdits();  // an answer kept from before must not outlive the text it was for
    }
    QCOMPARE(editor.hasUnsavedEdits(), editor.document()->vesk()->toUtf8() != readFile(path));
    QCOMPARE(editor.hasUnsavedEdits(), unsaved);
}

QTEST_MAIN(TestEditorMarks)
#include "tst_editor_marks.moc"
