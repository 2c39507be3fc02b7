#include "platform/temp_files.h"
#include "platform/tool_paths.h"
#include "test_support.h"
#include "text/baseline_diff.h"
#include "text/unified_diff.h"
#include "text/vesk_document.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vesk;

using LineList = QList<qint64>;

namespace {

QSet<qint64> toSet(const LineList &list)
{
    return QSet<qint64>(list.begin(), list.end());
}

QString lines(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *item : items) {
        out.append(QString::fromUtf8(item));
    }
    return out.join(u'\n');
}

} // namespace

class TestBaselineDiff : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void parseOutput_data();
    void parseOutput();
    void hunkHeaders_data();
    void hunkHeaders();
    void readerNumbersLines();
    void readerAtTheLimit();
    void setOriginalMarks_data();
    void setOriginalMarks();
    void equalLineCountsRunNoProcess();
    void unusableDiffToolFallsBack_data();
    void unusableDiffToolFallsBack();
    void temporaryFilesArePrivateAndRemoved();
    void marksFollowTheirLines_data();
    void marksFollowTheirLines();
    void staleMarksAreNeverPublished();

private:
    QTemporaryDir m_tmp;
};

void TestBaselineDiff::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    const QString tmp = m_tmp.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(tmp));
    QFile::setPermissions(tmp, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("TMPDIR", tmp.toUtf8());
    QCOMPARE(userTempDir(), tmp);
}

void TestBaselineDiff::cleanup()
{
    resetToolPaths();
}

void TestBaselineDiff::parseOutput_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<LineList>("modified");
    QTest::addColumn<LineList>("deletedAfter");

    QTest::addRow("empty output") << QString() << LineList{} << LineList{};
    QTest::addRow("one inserted line") << QStringLiteral("--- o\n+++ c\n@@ -1,5 +1,6 @@\n a\n b\n c\n+new\n d\n e\n")
                                       << LineList{3} << LineList{};
    QTest::addRow("first line removed") << QStringLiteral("--- o\n+++ c\n@@ -1,4 +1,3 @@\n-a\n b\n c\n d\n")
                                        << LineList{} << LineList{-1};
    QTest::addRow("last line replaced by two")
        << QStringLiteral("--- o\n+++ c\n@@ -1,3 +1,4 @@\n a\n b\n-c\n\\ No newline at end of file\n+x\n+y\n"
                          "\\ No newline at end of file\n")
        << LineList{2, 3} << LineList{1};
    QTest::addRow("removed line that starts with --")
        << QStringLiteral("--- o\n+++ c\n@@ -1,4 +1,4 @@\n a\n--- note\n+changed\n c\n+d\n-e\n")
        << LineList{1, 3} << LineList{0, 3};
    QTest::addRow("added line that starts with ++")
        << QStringLiteral("--- o\n+++ c\n@@ -1,2 +1,4 @@\n a\n++++i;\n+b\n b\n") << LineList{1, 2} << LineList{};
    QTest::addRow("everything removed") << QStringLiteral("--- o\n+++ c\n@@ -1,3 +0,0 @@\n-x\n-y\n-z\n")
                                        << LineList{} << LineList{-1};
    QTest::addRow("two hunks")
        << QStringLiteral("@@ -1,2 +1,2 @@\n-a\n+A\n b\n@@ -10,3 +10,2 @@\n j\n-k\n l\n")
        << LineList{0} << LineList{-1, 9};
    QTest::addRow("malformed header is skipped") << QStringLiteral("@@ -1,2 +x,3 @@\n+a\n+b\n") << LineList{}
                                                 << LineList{};
}

void TestBaselineDiff::parseOutput()
{
    QFETCH(QString, output);
    QFETCH(LineList, modified);
    QFETCH(LineList, deletedAfter);

    const DiffResult result = baseline::parseDiffOutput(output);
    QCOMPARE(result.modified, toSet(modified));
    QCOMPARE(result.deletedAfter, toSet(deletedAfter));
}

void TestBaselineDiff::hunkHeaders_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<LineList>("numbers");  // old start, old count, new start, new count

    QTest::addRow("full") << QStringLiteral("@@ -12,5 +12,7 @@ int main()") << true << LineList{12, 5, 12, 7};
    QTest::addRow("counts omitted") << QStringLiteral("@@ -3 +4 @@") << true << LineList{3, 1, 4, 1};
    QTest::addRow("empty range") << QStringLiteral("@@ -0,0 +1,3 @@") << true << LineList{0, 0, 1, 3};
    QTest::addRow("not a number") << QStringLiteral("@@ -1,2 +a,3 @@") << false << LineList{};
    QTest::addRow("trailing junk in number") << QStringLiteral("@@ -1,2 +3x,3 @@") << false << LineList{};
    QTest::addRow("no new range") << QStringLiteral("@@ -1,2 @@") << false << LineList{};
    QTest::addRow("overflowing number") << QStringLiteral("@@ -1 +99999999999999999999 @@") << false << LineList{};
    QTest::addRow("signed start") << QStringLiteral("@@ --3,2 +1 @@") << false << LineList{};
    QTest::addRow("signed count") << QStringLiteral("@@ -3,+2 +1 @@") << false << LineList{};
    QTest::addRow("range ends at the limit")
        << QStringLiteral("@@ -9223372036854775806,1 +9223372036854775807,0 @@") << true
        << LineList{9223372036854775806, 1, 9223372036854775807, 0};
    QTest::addRow("range ends past the limit") << QStringLiteral("@@ -9223372036854775807 +1 @@") << false
                                               << LineList{};
    QTest::addRow("count past the limit") << QStringLiteral("@@ -1 +2,9223372036854775807 @@") << false
                                          << LineList{};
}

void TestBaselineDiff::hunkHeaders()
{
    QFETCH(QString, line);
    QFETCH(bool, valid);
    QFETCH(LineList, numbers);

    const std::optional<HunkHeader> header = parseHunkHeader(line);
    QCOMPARE(header.has_value(), valid);
    if (valid) {
        QCOMPARE((LineList{header->oldStart, header->oldCount, header->newStart, header->newCount}), numbers);
    }
}

void TestBaselineDiff::readerNumbersLines()
{
    const std::vector<DiffLine> parsed = parseUnifiedDiff(
        QStringLiteral("--- a/f\n+++ b/f\n@@ -12,3 +12,3 @@\n ctx\n--- gone\n++++ added\n end\n"));
    QCOMPARE(parsed.size(), size_t(8));
    QCOMPARE(parsed[0].kind, DiffLine::Kind::FileHeader);
    QCOMPARE(parsed[2].kind, DiffLine::Kind::HunkHeader);
    QCOMPARE(parsed[3].kind, DiffLine::Kind::Context);
    QCOMPARE(parsed[3].oldNumber, std::optional<qint64>(12));
    QCOMPARE(parsed[4].kind, DiffLine::Kind::Deletion);
    QCOMPARE(parsed[4].content, QStringLiteral("-- gone"));
    QCOMPARE(parsed[4].oldNumber, std::optional<qint64>(13));
    QCOMPARE(parsed[5].kind, DiffLine::Kind::Addition);
    QCOMPARE(parsed[5].content, QStringLiteral("+++ added"));
    QCOMPARE(parsed[5].newNumber, std::optional<qint64>(13));
    QCOMPARE(parsed[6].newNumber, std::optional<qint64>(14));
    QCOMPARE(parsed[7].kind, DiffLine::Kind::Other);
}

// Hunks whose numbers reach the end of qint64: every line still numbered, nothing wraps.
void TestBaselineDiff::readerAtTheLimit()
{
    const QString diff = QStringLiteral("@@ -9223372036854775805,2 +9223372036854775806,1 @@\n-a\n b\n+c\n");
    const std::vector<DiffLine> parsed = parseUnifiedDiff(diff);
    QCOMPARE(parsed.size(), size_t(5));
    QCOMPARE(parsed[1].oldNumber, std::optional<qint64>(9223372036854775805));
    QCOMPARE(parsed[2].oldNumber, std::optional<qint64>(9223372036854775806));
    QCOMPARE(parsed[2].newNumber, std::optional<qint64>(9223372036854775806));
    QCOMPARE(parsed[3].kind, DiffLine::Kind::Other);  // the new side is used up
    const DiffResult result = baseline::parseDiffOutput(diff);
    QCOMPARE(result.deletedAfter, toSet(LineList{9223372036854775804}));
}

void TestBaselineDiff::setOriginalMarks_data()
{
    QTest::addColumn<QString>("baseline");
    QTest::addColumn<QString>("current");
    QTest::addColumn<LineList>("modified");
    QTest::addColumn<LineList>("deletedAfter");

    QTest::addRow("identical") << lines({"a", "b"}) << lines({"a", "b"}) << LineList{} << LineList{};
    QTest::addRow("same count, line 4 changed") << lines({"0", "1", "2", "3", "4", "5"})
                                                << lines({"0", "1", "2", "3", "four", "5"}) << LineList{4}
                                                << LineList{};
    QTest::addRow("line inserted after line 2") << lines({"a", "b", "c", "d", "e"})
                                                << lines({"a", "b", "c", "new", "d", "e"}) << LineList{3}
                                                << LineList{};
    QTest::addRow("first line removed") << lines({"a", "b", "c"}) << lines({"b", "c"}) << LineList{}
                                        << LineList{-1};
    QTest::addRow("last line replaced by two") << lines({"a", "b", "c"}) << lines({"a", "b", "x", "y"})
                                               << LineList{2, 3} << LineList{1};
    QTest::addRow("removed SQL comment line") << lines({"select 1;", "-- note", "x"}) << lines({"select 1;", "x"})
                                              << LineList{} << LineList{0};
    QTest::addRow("prepended lines") << lines({"x", "y", "z"}) << lines({"p", "q", "x", "y", "z"})
                                     << LineList{0, 1} << LineList{};
    QTest::addRow("canonically equivalent line") << QStringLiteral("caf\u00e9\nx")
                                                 << QStringLiteral("cafe\u0301\nx") << LineList{} << LineList{};
    // Different line counts, so the external tool compares them: it must see the same bytes.
    QTest::addRow("equivalent lines around an inserted one")
        << QStringLiteral("caf\u00e9\n\u00c5ngstr\u00f6m\nx") << QStringLiteral("cafe\u0301\nnew\nA\u030angstro\u0308m\nx")
        << LineList{1} << LineList{};
    QTest::addRow("equivalent lines, one removed")
        << QStringLiteral("\u1e69\ngone\ns\u0323\u0307") << QStringLiteral("s\u0307\u0323\n\u1e69") << LineList{}
        << LineList{0};
    QTest::addRow("CR LF against LF") << QStringLiteral("a\r\nb\r\n") << QStringLiteral("a\nb\n") << LineList{}
                                      << LineList{};
    QTest::addRow("everything removed") << lines({"x", "y", "z"}) << QString() << LineList{} << LineList{-1};
}

void TestBaselineDiff::setOriginalMarks()
{
    QFETCH(QString, baseline);
    QFETCH(QString, current);
    QFETCH(LineList, modified);
    QFETCH(LineList, deletedAfter);

    VeskDocument doc(current);
    doc.setOriginal(baseline);
    QCOMPARE(doc.modifiedLines(), toSet(modified));
    QCOMPARE(doc.deletedAfterLines(), toSet(deletedAfter));
    QCOMPARE(doc.originalLines(), VeskDocument::splitLines(baseline).lines);
    // The in-process diff that follows edits gives the marks the external tool gives.
    QCOMPARE(baseline::exactDiff(VeskNode::build(baseline), VeskNode::build(current)),
             (DiffResult{toSet(modified), toSet(deletedAfter)}));
}

void TestBaselineDiff::equalLineCountsRunNoProcess()
{
    const QString marker = m_tmp.filePath(QStringLiteral("diff-ran"));
    setToolPath(Tool::Diff, test::writeScript(m_tmp.path(), QStringLiteral("recording-diff"),
                                              "touch '" + marker.toUtf8() + "'\nexec /usr/bin/diff \"$@\""));
    VeskDocument doc(lines({"a", "b", "c"}));
    doc.setOriginal(lines({"a", "B", "c"}));
    QCOMPARE(doc.modifiedLines(), QSet<qint64>{1});
    QVERIFY(!QFile::exists(marker));
    doc.setOriginal(lines({"a", "b"}));
    QVERIFY(QFile::exists(marker));
}

void TestBaselineDiff::unusableDiffToolFallsBack_data()
{
    QTest::addColumn<QByteArray>("script");  // empty: the tool does not exist
    QTest::addColumn<LineList>("modified");
    QTest::addColumn<LineList>("deletedAfter");

    // Baseline of ten lines against one empty line: the positional fallback.
    QTest::addRow("missing tool") << QByteArray() << LineList{0} << LineList{0};
    QTest::addRow("tool hangs past the bound") << QByteArray("exec sleep 60") << LineList{0} << LineList{0};
    QTest::addRow("output is not UTF-8")
        << QByteArray("printf '@@ -1,10 +1 @@\\n+\\377\\376\\n'") << LineList{} << LineList{};
}

void TestBaselineDiff::unusableDiffToolFallsBack()
{
    QFETCH(QByteArray, script);
    QFETCH(LineList, modified);
    QFETCH(LineList, deletedAfter);

    setToolPath(Tool::Diff, script.isEmpty()
                                ? m_tmp.filePath(QStringLiteral("no-such-diff"))
                                : test::writeScript(m_tmp.path(), QStringLiteral("stand-in-diff"), script));
    VeskDocument doc;
    doc.setOriginal(lines({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    QCOMPARE(doc.modifiedLines(), toSet(modified));
    QCOMPARE(doc.deletedAfterLines(), toSet(deletedAfter));
}

void TestBaselineDiff::temporaryFilesArePrivateAndRemoved()
{
    const QString perms = m_tmp.filePath(QStringLiteral("perms"));
    setToolPath(Tool::Diff, test::writeScript(m_tmp.path(), QStringLiteral("perm-diff"),
                                              "ls -l \"$2\" \"$3\" | cut -c1-10 > '" + perms.toUtf8()
                                                  + "'\nexec /usr/bin/diff \"$@\""));
    VeskDocument doc(lines({"a", "b", "c"}));
    doc.setOriginal(lines({"a", "c"}));
    QCOMPARE(doc.modifiedLines(), QSet<qint64>{1});
    QCOMPARE(test::readFile(perms), QByteArray("-rw-------\n-rw-------\n"));
    const QStringList left = QDir(userTempDir()).entryList({QStringLiteral("vesk_*")}, QDir::Files | QDir::Hidden);
    QCOMPARE(left, QStringList());
}

void TestBaselineDiff::marksFollowTheirLines_data()
{
    QTest::addColumn<QString>("baseline");
    QTest::addColumn<QString>("current");
    QTest::addColumn<int>("editLine");
    // Inserted at the start of editLine; "\b" types a character and erases it, "\x7f" removes
    // the whole line with its break.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<LineList>("movedModified");
    QTest::addColumn<LineList>("movedDeletedAfter");
    QTest::addColumn<LineList>("exactModified");
    QTest::addColumn<LineList>("exactDeletedAfter");

    QTest::addRow("return at the top moves the mark down")
        << lines({"a", "b", "c"}) << lines({"a", "X", "c"}) << 0 << QStringLiteral("\n") << LineList{0, 2}
        << LineList{} << LineList{0, 2} << LineList{1};
    QTest::addRow("three pasted lines are marked at once")
        << lines({"0", "1", "2", "3", "4", "5"}) << lines({"0", "1", "2", "3", "4", "5"}) << 2
        << QStringLiteral("p\nq\nr\n") << LineList{2, 3, 4} << LineList{} << LineList{2, 3, 4} << LineList{};
    QTest::addRow("typing and erasing loses the mark after the pause")
        << lines({"0", "1", "2", "3", "4", "5", "6", "7"}) << lines({"0", "1", "2", "3", "4", "5", "6", "7"}) << 7
        << QStringLiteral("\b") << LineList{7} << LineList{} << LineList{} << LineList{};
    QTest::addRow("removed line marks the line above")
        << lines({"0", "1", "2", "3"}) << lines({"0", "1", "2", "3"}) << 2 << QStringLiteral("\x7f") << LineList{}
        << LineList{1} << LineList{} << LineList{1};
    QTest::addRow("removed added line leaves no removal mark")
        << lines({"0", "1", "2"}) << lines({"0", "new", "1", "2"}) << 1 << QStringLiteral("\x7f") << LineList{}
        << LineList{} << LineList{} << LineList{};
    QTest::addRow("edit below prepended lines")
        << lines({"x", "y", "z"}) << lines({"p", "q", "x", "y", "z"}) << 4 << QStringLiteral("!")
        << LineList{0, 1, 4} << LineList{} << LineList{0, 1, 4} << LineList{3};
}

// An edit moves the marks with their lines at once; the exact marks come after the pause, from
// a diff that starts no process.
void TestBaselineDiff::marksFollowTheirLines()
{
    QFETCH(QString, baseline);
    QFETCH(QString, current);
    QFETCH(int, editLine);
    QFETCH(QString, typed);
    QFETCH(LineList, movedModified);
    QFETCH(LineList, movedDeletedAfter);
    QFETCH(LineList, exactModified);
    QFETCH(LineList, exactDeletedAfter);

    VeskDocument doc(current);
    doc.setOriginal(baseline);
    setToolPath(Tool::Diff, m_tmp.filePath(QStringLiteral("no-such-diff")));
    doc.setMarksPause(0);
    const qint64 offset = doc.lineStartOffset(editLine);
    if (typed == u"\b") {
        doc.insert(QStringLiteral("z"), offset);
        doc.deleteRange(offset, offset + 1);
    } else if (typed == u"\x7f") {
        doc.deleteRange(offset, doc.lineStartOffset(editLine + 1));
    } else {
        doc.insert(typed, offset);
    }
    QCOMPARE(doc.modifiedLines(), toSet(movedModified));
    QCOMPARE(doc.deletedAfterLines(), toSet(movedDeletedAfter));
    QVERIFY(doc.marksPending());
    QSignalSpy settled(&doc, &VeskDocument::marksSettled);
    QVERIFY(settled.wait(5000));
    QCOMPARE(doc.modifiedLines(), toSet(exactModified));
    QCOMPARE(doc.deletedAfterLines(), toSet(exactDeletedAfter));
    QVERIFY(!doc.marksPending());
}

// Marks computed for a text that was edited again meanwhile must not show: whenever marks are
// published they are the exact marks of the text then shown.
void TestBaselineDiff::staleMarksAreNeverPublished()
{
    VeskDocument doc(lines({"a", "b", "c", "d"}));
    doc.setMarksPause(0);
    QSignalSpy settled(&doc, &VeskDocument::marksSettled);
    int wrong = 0;
    connect(&doc, &VeskDocument::marksSettled, this, [&] {
        wrong += baseline::exactDiff(doc.original(), doc.vesk()) != DiffResult{doc.modifiedLines(), doc.deletedAfterLines()};
    });
    for (int i = 0; i < 30; ++i) {
        doc.insert(QStringLiteral("x\n"), doc.lineStartOffset(i % 3));
        QCoreApplication::processEvents();  // lets a computation start on the text just made
        if (i % 4 == 0) {
            doc.deleteRange(0, 2);
        }
    }
    QVERIFY(settled.wait(5000));
    QCOMPARE(wrong, 0);
    QVERIFY(!doc.marksPending());
    QCOMPARE(doc.modifiedLines().size(), qsizetype(doc.lineCount() - 4));
}

QTEST_GUILESS_MAIN(TestBaselineDiff)
#include "tst_baseline_diff.moc"
