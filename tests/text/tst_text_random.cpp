// Random edits, undos, redos and pauses applied to a document and to a plain string, compared
// after every step. VESK_RANDOM_SEED and VESK_RANDOM_STEPS replay or extend a run.

#include "text/vesk_document.h"
#include "text_reference.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace vesk;
using namespace vesk::test;

namespace {

const QStringList pieces = {
    QStringLiteral("a"),      QStringLiteral("bc"),     QStringLiteral(" "),        QStringLiteral("\t"),
    QStringLiteral("\n"),     QStringLiteral("\r"),     QStringLiteral("\r\n"),     QStringLiteral("\u2028"),
    QStringLiteral("\u2029"), QStringLiteral("e\u0301"), QStringLiteral("\u0301"),  QStringLiteral("\u0323"),
    QStringLiteral("👍"),     QStringLiteral("🏽"),     QStringLiteral("👨\u200D👩"), QStringLiteral("\u200D"),
    QStringLiteral("🇫"),     QStringLiteral("🇫🇷"),     QStringLiteral("\u1100"),   QStringLiteral("\u1161"),
    QStringLiteral("漢字"),   QStringLiteral("x\n\ny"), QStringLiteral("\u000b\u0085"),
    // Latin-1: leaves of one byte per character, next to ASCII and UTF-16 ones.
    QStringLiteral("ßæ£"),    QStringLiteral("\u00a0ø"), QStringLiteral("\u00ad"), QStringLiteral("\u00e9"),
};

// The document's operations done the slow way on a string, as the text model defines them.
struct Reference
{
    QString text;
    QStringList undo;
    QStringList redo;
    VeskNodePtr original;  // what the document was given; its lines are checked separately
    QStringList originalLines;
    DiffResult baseDiff;
    // The marks are still the ones a new baseline got from the external diff tool, which need
    // not find a longest common subsequence (it trades that for speed); any edit, undo or redo
    // since brings the exact ones.
    bool marksFromTool = false;

    void pushUndo()
    {
        undo.append(text);
        if (undo.size() > 200) {
            undo.removeFirst();
        }
        redo.clear();
    }

    void insert(const QString &piece, qint64 offset)
    {
        marksFromTool = false;
        pushUndo();
        text.insert(referenceUnit(text, offset), piece);
    }

    void remove(qint64 from, qint64 to)
    {
        pushUndo();
        const qint64 length = referenceLength(text);
        from = std::clamp<qint64>(from, 0, length);
        const qint64 end = std::clamp<qint64>(to, from, length);
        const qsizetype a = referenceUnit(text, from);
        const qsizetype units = referenceUnit(text, end) - a;
        marksFromTool = marksFromTool && units == 0;
        text.remove(a, units);
    }

    void step(QStringList &source, QStringList &target)
    {
        if (source.isEmpty()) {
            return;
        }
        marksFromTool = false;
        target.append(text);
        text = source.takeLast();
    }
};

QStringList normalizedLines(const QStringList &lines, bool dropFinalEmpty)
{
    QStringList out;
    for (const QString &line : lines) {
        out.append(line.normalized(QString::NormalizationForm_D));
    }
    if (dropFinalEmpty && !out.isEmpty() && out.last().isEmpty()) {
        out.removeLast();
    }
    return out;
}

qsizetype longestCommonSubsequence(const QStringList &a, const QStringList &b)
{
    std::vector<qsizetype> row(size_t(b.size() + 1), 0);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = 0;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[size_t(j)];
            row[size_t(j)] = a[i - 1] == b[j - 1] ? diagonal + 1 : std::max(above, row[size_t(j - 1)]);
            diagonal = above;
        }
    }
    return row[size_t(b.size())];
}

QString randomText(QRandomGenerator &rng, int count)
{
    QString out;
    for (int i = 0; i < count; ++i) {
        out += pieces[rng.bounded(int(pieces.size()))];
    }
    return out;
}

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

} // namespace

class TestTextRandom : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesStringReference_data();
    void matchesStringReference();

private:
    void compare(const VeskDocument &doc, const Reference &ref, int step);
    void checkSettledMarks(const VeskDocument &doc, const Reference &ref);
};

// The exact marks the slow way. Equal line counts compare line by line. Otherwise the unmarked
// lines must be a longest common subsequence of baseline and text (the diff may pick any of
// them), and removal marks exist exactly when some baseline line is not matched.
void TestTextRandom::checkSettledMarks(const VeskDocument &doc, const Reference &ref)
{
    const QStringList current = referenceLines(ref.text).lines;
    if (current.size() == ref.originalLines.size()) {
        QSet<qint64> modified;
        const QStringList a = normalizedLines(ref.originalLines, false);
        const QStringList b = normalizedLines(current, false);
        for (qsizetype i = 0; i < b.size(); ++i) {
            if (a[i] != b[i]) {
                modified.insert(i);
            }
        }
        QCOMPARE(doc.modifiedLines(), modified);
        QCOMPARE(doc.deletedAfterLines(), QSet<qint64>());
        return;
    }
    const QStringList a = normalizedLines(ref.originalLines, true);
    const QStringList b = normalizedLines(current, true);
    qsizetype matched = 0;
    qsizetype next = 0;  // the baseline line the next unmarked line may match from
    for (qsizetype i = 0; i < b.size(); ++i) {
        if (doc.modifiedLines().contains(i)) {
            continue;
        }
        while (next < a.size() && a[next] != b[i]) {
            ++next;
        }
        QVERIFY2(next < a.size(), "an unmarked line has no baseline line to match");
        ++next;
        ++matched;
    }
    if (ref.marksFromTool) {
        QVERIFY(matched <= longestCommonSubsequence(a, b));
    } else {
        QCOMPARE(matched, longestCommonSubsequence(a, b));
    }
    QCOMPARE(doc.modifiedLines().size(), b.size() - matched);
    QCOMPARE(doc.deletedAfterLines().isEmpty(), matched == a.size());
    for (qint64 line : doc.deletedAfterLines()) {
        QVERIFY(line >= -1 && line < b.size());
    }
}

void TestTextRandom::matchesStringReference_data()
{
    QTest::addColumn<int>("initialPieces");
    QTest::addColumn<int>("bigInsertPercent");
    const int seed = envInt("VESK_RANDOM_SEED", 20261206);
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("loadedLeafBytes");  // 0: built from the string
    QTest::addRow("small document") << 20 << 0 << quint32(seed) << 0;
    QTest::addRow("many leaves") << 1500 << 3 << quint32(seed + 1) << 0;
    QTest::addRow("read from a file in small leaves") << 1500 << 3 << quint32(seed + 2) << 24;
    QTest::addRow("read from a file in file-sized leaves") << 3000 << 3 << quint32(seed + 3)
                                                           << int(TreeBuilder::defaultLeafBytes);
}

void TestTextRandom::matchesStringReference()
{
    QFETCH(int, initialPieces);
    QFETCH(int, bigInsertPercent);
    QFETCH(quint32, seed);
    QFETCH(int, loadedLeafBytes);
    const int steps = envInt("VESK_RANDOM_STEPS", 1500);
    qInfo("seed %u, %d steps", seed, steps);
    QRandomGenerator rng(seed);
    const int traceStep = envInt("VESK_RANDOM_TRACE", -1);

    Reference ref;
    ref.text = randomText(rng, initialPieces);
    VeskNodePtr initial;
    if (loadedLeafBytes > 0) {
        // As a file is read: the UTF-8 in blocks of random sizes.
        TreeBuilder builder(loadedLeafBytes);
        const QByteArray utf8 = ref.text.toUtf8();
        for (qsizetype at = 0; at < utf8.size();) {
            const qsizetype piece = std::min<qsizetype>(1 + rng.bounded(200), utf8.size() - at);
            QVERIFY(builder.append(QByteArrayView(utf8).sliced(at, piece)));
            at += piece;
        }
        initial = builder.finish();
    } else {
        initial = VeskNode::build(ref.text);
    }
    VeskDocument doc(initial);
    doc.setMarksPause(0);
    ref.original = doc.original();
    ref.originalLines = referenceLines(ref.text).lines;

    for (int step = 0; step < steps; ++step) {
        const qint64 length = referenceLength(ref.text);
        const int op = rng.bounded(100);
        if (op < 40) {
            const bool big = int(rng.bounded(100)) < bigInsertPercent;
            const QString piece = randomText(rng, big ? 400 : 1 + rng.bounded(4));
            const qint64 offset = qint64(rng.bounded(int(length) + 5)) - 2;
            if (step == traceStep) {
                qInfo() << "before" << ref.text.toUcs4() << "insert" << piece << offset;
            }
            doc.insert(piece, offset);
            ref.insert(piece, offset);
        } else if (op < 65) {
            const qint64 from = qint64(rng.bounded(int(length) + 5)) - 2;
            const qint64 to = from + qint64(rng.bounded(25)) - 3;
            if (step == traceStep) {
                qInfo() << "before" << ref.text.toUcs4() << "delete" << from << to;
            }
            doc.deleteRange(from, to);
            ref.remove(from, to);
        } else if (op < 78) {
            doc.undo();
            ref.step(ref.undo, ref.redo);
        } else if (op < 88) {
            doc.redo();
            ref.step(ref.redo, ref.undo);
        } else if (op < 98) {
            // A pause in typing: the exact marks arrive from the background.
            if (doc.marksPending()) {
                QSignalSpy settled(&doc, &VeskDocument::marksSettled);
                QVERIFY(settled.wait(10000));
            }
            checkSettledMarks(doc, ref);
        } else {
            // A new baseline: either an older text or the current one slightly changed.
            QString baseline = ref.undo.isEmpty() ? ref.text : ref.undo[rng.bounded(int(ref.undo.size()))];
            baseline.insert(rng.bounded(int(baseline.size()) + 1), QStringLiteral("\nbase"));
            doc.setOriginal(baseline);
            QCOMPARE(doc.originalLines(), referenceLines(baseline).lines);
            ref.originalLines = referenceLines(baseline).lines;
            ref.baseDiff = doc.baseDiff();
            ref.marksFromTool = true;
            QCOMPARE(doc.modifiedLines(), ref.baseDiff.modified);
            QCOMPARE(doc.deletedAfterLines(), ref.baseDiff.deletedAfter);
        }
        compare(doc, ref, step);
        if (QTest::currentTestFailed()) {
            qWarning("failed at step %d (seed %u)", step, seed);
            return;
        }
    }
}

void TestTextRandom::compare(const VeskDocument &doc, const Reference &ref, int step)
{
    Q_UNUSED(step);
    QCOMPARE(doc.text(), ref.text);
    QCOMPARE(doc.length(), referenceLength(ref.text));
    QCOMPARE(qsizetype(doc.undoStack().size()), ref.undo.size());
    QCOMPARE(qsizetype(doc.redoStack().size()), ref.redo.size());
    const ReferenceLines lines = referenceLines(ref.text);
    QCOMPARE(doc.cachedLines(), lines.lines);
    QCOMPARE(doc.paragraphBreaks(), lines.paragraphBreaks);
    QCOMPARE(doc.vesk()->lineCount(), qint64(ref.text.count(u'\n') - ref.text.count(QStringLiteral("\r\n"))));
    for (qsizetype i = 0; i < lines.lines.size(); ++i) {
        const VeskNode::LineInfo info = doc.lineInfo(i);
        QCOMPARE(info.offset, lines.offsets[i]);
        QCOMPARE(info.content, lines.lines[i]);
        QCOMPARE(doc.vesk()->lineOfOffset(info.offset), i);
        qint64 before = 0;
        for (qint64 p : lines.paragraphBreaks) {
            before += p < i ? 1 : 0;
        }
        QCOMPARE(doc.paragraphBreaksBefore(i), before);
    }
    // Between pauses the marks only have to stay on existing lines.
    for (qint64 line : doc.modifiedLines()) {
        QVERIFY(line >= 0 && line < lines.lines.size());
    }
    for (qint64 line : doc.deletedAfterLines()) {
        QVERIFY(line >= -1 && line < lines.lines.size());
    }
    QCOMPARE(treeProblem(doc.vesk()), QString());
}

QTEST_GUILESS_MAIN(TestTextRandom)
#include "tst_text_random.moc"
