// Saving a very large document as the editor does it: the text is encoded and written off the
// main thread while the main thread goes on.

#include "editor/editor_view_model.h"
#include "platform/background.h"
#include "platform/posix_io.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>

#include <fcntl.h>

using namespace vesk;

namespace {

// `lines` ASCII lines of `width` bytes each (line feed included).
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

// The reference: the system's cp of the same file, then a flush of the copy to the device.
// Milliseconds, or a negative number when it failed.
double copyAndFlush(const QString &from, const QString &to)
{
    QElapsedTimer clock;
    clock.start();
    QProcess cp;
    cp.start(QStringLiteral("/bin/cp"), {from, to});
    if (!cp.waitForFinished(-1) || cp.exitCode() != 0) {
        return -1;
    }
    FileDescriptor fd(::open(QFile::encodeName(to).constData(), O_RDONLY | O_CLOEXEC));
    if (!fd.isOpen() || !flushToDevice(fd.get())) {
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The longest gap between runs of a 1 ms timer on the main thread while nothing else happens,
// for `durationMs`: what the machine's own load costs the main thread.
double idleStallMs(double durationMs)
{
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - lastTick);
        lastTick = now;
    });
    tick.start();
    clock.start();
    while (double(clock.nsecsElapsed()) / 1e6 < durationMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return double(longest) / 1e6;
}

// From save() to the flushed write handed back to the main thread, for a 100 MB document of
// 1.6 million lines with one fresh edit per round. Counters, in the same run:
// - cpFsyncMs: cp of the same file plus fsync of the copy (goal: the save within 2 times that);
// - saveToCp: the save's time over that reference;
// - longestStallMs: the longest the main thread went without running a 1 ms timer while the
//   save was under way (goal: never over 16 ms), over all rounds;
// - idleStallMs: the same timer over as long a time with no save under way, in each round
//   before the save: the part of any stall that is the machine's, not the save's;
// - mainThreadCpuMs: the main thread's own processor time per save, timer ticks included.
void SaveFile(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = writeSourceFile(dir, 1'600'000, 64);
    if (QFile(path).size() < 100'000'000) {
        state.SkipWithError("could not write the test file");
        return;
    }
    EditorViewModel editor;
    editor.openFile(path);
    waitForBackgroundWork();
    QCoreApplication::processEvents();
    const QString copy = dir.filePath(QStringLiteral("copy.txt"));
    double referenceMs = 0;
    double saveMs = 0;
    qint64 longestStall = 0;
    double idleStall = 0;
    double mainCpuMs = 0;
    double lastSaveMs = 500;
    for (auto _ : state) {
        state.PauseTiming();
        editor.goToLine(0, 0);
        editor.insertAtCursors(QStringLiteral("x"));
        const double reference = copyAndFlush(path, copy);
        if (reference < 0) {
            state.SkipWithError("cp and fsync of the file failed");
            return;
        }
        referenceMs += reference;
        idleStall = std::max(idleStall, idleStallMs(lastSaveMs));
        QElapsedTimer clock;
        qint64 lastTick = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longestStall = std::max(longestStall, now - lastTick);
            lastTick = now;
        });
        tick.start();
        state.ResumeTiming();

        const double cpuBefore = threadCpuMs();
        clock.start();
        editor.save();
        while (editor.isSaving()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        const qint64 end = clock.nsecsElapsed();
        mainCpuMs += threadCpuMs() - cpuBefore;

        state.PauseTiming();
        tick.stop();
        longestStall = std::max(longestStall, end - lastTick);
        lastSaveMs = double(end) / 1e6;
        saveMs += lastSaveMs;
        if (editor.hasUnsavedEdits() || QFile(path).size() != QFile(copy).size() + 1) {
            state.SkipWithError("the save did not write the document");
            return;
        }
        state.ResumeTiming();
    }
    state.counters["cpFsyncMs"] = benchmark::Counter(referenceMs, benchmark::Counter::kAvgIterations);
    state.counters["saveToCp"] = saveMs / std::max(referenceMs, 1e-9);
    state.counters["longestStallMs"] = double(longestStall) / 1e6;
    state.counters["idleStallMs"] = idleStall;
    state.counters["mainThreadCpuMs"] = benchmark::Counter(mainCpuMs, benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(state.iterations() * QFile(path).size());
}
BENCHMARK(SaveFile)->Name("SaveFile/100MB")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
