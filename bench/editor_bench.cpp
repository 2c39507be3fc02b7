// Opening a very large file, typing with many carets, undoing, the marks after a pause and
// saving, as the editor does them.

#include "editor/editor_view_model.h"
#include "platform/background.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

using namespace vesk;

namespace {

// `lines` ASCII lines of about `width` bytes each (line feed included).
QString writeSourceFile(const QTemporaryDir &dir, qint64 lines, int width)
{
    const QString path = dir.filePath(QStringLiteral("source.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    const QByteArray pattern = "    value = compute(alpha, beta) + offset * 42; // note abcdefghijklmnopqrstuvwxyz";
    QByteArray block;
    for (qint64 i = 0; i < lines; ++i) {
        QByteArray line = QByteArray::number(i % 1000).rightJustified(3, '0') + pattern;
        line.truncate(width - 1);
        block += line + '\n';
        if (block.size() > (1 << 20) || i + 1 == lines) {
            file.write(block);
            block.clear();
        }
    }
    return path;
}

void finishBackgroundWork()
{
    waitForBackgroundWork();
    QCoreApplication::processEvents();
}

// Opens the file and waits until it is complete (a big one is read in stages) and its committed
// baseline, if any, has arrived.
void openAndSettle(EditorViewModel &editor, const QString &path)
{
    editor.openFile(path);
    while (editor.isLoading()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    finishBackgroundWork();
}

// Reading, validating and building a 100 MB file of 1.6 million lines, until the whole document
// is ready (its baseline is the loaded text); firstPartMs is the time until openFile returns with
// the first part on screen.
void OpenFile(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = writeSourceFile(dir, 1'600'000, 64);
    if (QFile(path).size() < 100'000'000) {
        state.SkipWithError("could not write the test file");
        return;
    }
    double firstPartMs = 0;
    for (auto _ : state) {
        auto editor = std::make_unique<EditorViewModel>();
        QElapsedTimer clock;
        clock.start();
        editor->openFile(path);
        firstPartMs += double(clock.nsecsElapsed()) / 1e6;
        // The first part shows at once; the document is complete when the rest is handed back.
        while (editor->isLoading()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        benchmark::DoNotOptimize(editor->document()->lineCount());
        state.PauseTiming();
        editor.reset();
        finishBackgroundWork();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * QFile(path).size());
    state.counters["firstPartMs"] = benchmark::Counter(firstPartMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(OpenFile)->Name("OpenFile/100MB")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// One character typed at 100 carets spread over a 100,000-line document; the characters are
// taken back (untimed) after each round so the lines keep their length.
void TypeAtCarets(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = writeSourceFile(dir, 100'000, 62);
    EditorViewModel editor;
    openAndSettle(editor, path);
    const qint64 carets = 100;
    QList<TextCursor> cursors;
    for (qint64 i = 0; i < carets; ++i) {
        cursors.append(TextCursor::at(i * (100'000 / carets) + 7, 10));
    }
    editor.setCursors(cursors);
    for (auto _ : state) {
        editor.insertAtCursors(QStringLiteral("x"));
        state.PauseTiming();
        editor.deleteAtCursors();
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(editor.document()->modifiedLines().size());
}
BENCHMARK(TypeAtCarets)->Name("TypeAtCarets/100")->Unit(benchmark::kMillisecond);

// Undo of a 200-character typing run at 10 carets in a 1,000,000-line document: one step that
// puts back the text, the marks and the carets. Redo (untimed) makes the step again.
void UndoTypingRun(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = writeSourceFile(dir, state.range(0), 62);
    EditorViewModel editor;
    openAndSettle(editor, path);
    editor.setClock([] { return qint64(0); });  // no pause ever ends the run
    QList<TextCursor> cursors;
    for (qint64 i = 0; i < 10; ++i) {
        cursors.append(TextCursor::at(i * (state.range(0) / 10) + 3, 10));
    }
    editor.setCursors(cursors);
    for (int i = 0; i < 200; ++i) {
        editor.handleKeyEvent(EditorKeyEvent{KeyCode::Other, 0, QStringLiteral("x"), QStringLiteral("x")});
    }
    if (editor.document()->undoStack().size() != 1) {
        state.SkipWithError("the typing run was not one undo step");
        return;
    }
    for (auto _ : state) {
        editor.undo();
        state.PauseTiming();
        editor.redo();
        state.ResumeTiming();
    }
    benchmark::DoNotOptimize(editor.document()->modifiedLines().size());
}
BENCHMARK(UndoTypingRun)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

bool git(const QString &directory, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(QStringLiteral("/usr/bin/git"), arguments);
    return process.waitForFinished(120'000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool commitAll(const QString &directory)
{
    return git(directory, {QStringLiteral("init"), QStringLiteral("-q")})
        && git(directory, {QStringLiteral("add"), QStringLiteral("-A")})
        && git(directory, {QStringLiteral("-c"), QStringLiteral("user.name=Bench"), QStringLiteral("-c"),
                           QStringLiteral("user.email=bench@example.com"), QStringLiteral("commit"), QStringLiteral("-qm"),
                           QStringLiteral("source")});
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// From a 3-line paste in a 1,000,000-line committed document to the exact marks published: the diff runs
// on a worker; mainThreadMs is the main thread's own CPU time meanwhile (paste, hand-back,
// publishing). The paste is undone (untimed) after each round.
void MarksAfterPause(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = writeSourceFile(dir, state.range(0), 62);
    // Committed, as most files are, and changed since at its end: the baseline is the committed
    // text, read by git, and differs from the text on show.
    QFile file(path);
    if (!commitAll(dir.path()) || !file.open(QIODevice::Append) || file.write("appended since the commit\n") < 0) {
        state.SkipWithError("could not commit and change the test file");
        return;
    }
    file.close();
    EditorViewModel editor;
    openAndSettle(editor, path);
    VeskDocument *document = editor.document();
    if (document->original() == document->vesk()) {
        state.SkipWithError("the committed baseline did not arrive");
        return;
    }
    document->setMarksPause(0);
    const qint64 line = state.range(0) / 2;
    double mainMs = 0;
    for (auto _ : state) {
        editor.setCursors({TextCursor::at(line, 0)});
        const double cpuBefore = threadCpuMs();
        editor.paste(QStringLiteral("first pasted\nsecond pasted\nthird pasted\n"));
        QEventLoop loop;
        QObject::connect(document, &VeskDocument::marksSettled, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);  // a bound, should the marks never settle
        loop.exec();
        if (document->marksPending()) {
            state.SkipWithError("the marks did not settle");
            break;
        }
        mainMs += threadCpuMs() - cpuBefore;
        state.PauseTiming();
        if (document->modifiedLines().size() != 4) {
            state.SkipWithError("the pasted lines were not marked");
        }
        editor.undo();
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        if (document->marksPending()) {
            state.SkipWithError("the marks did not settle after the undo");
        }
        state.ResumeTiming();
    }
    state.counters["mainThreadMs"] = benchmark::Counter(mainMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(MarksAfterPause)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
