// Peak memory of a 100 MB ASCII document holding 200 undo snapshots, against the file size.
// A program of its own so that the process peak belongs to this scenario alone.

#include "editor/text_file.h"
#include "text/vesk_document.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

using namespace vesk;

namespace {

double peakResidentMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
#ifdef __APPLE__
    return double(usage.ru_maxrss) / (1024.0 * 1024.0);
#else
    return double(usage.ru_maxrss) / 1024.0;
#endif
}

QString writeSourceFile(const QString &dir, qint64 bytes)
{
    const QString path = dir + QStringLiteral("/big.txt");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    const QByteArray line = "    value = compute(alpha, beta) + offset * 42; // a line of code\n";
    QByteArray block;
    while (block.size() < (1 << 20)) {
        block += line;
    }
    for (qint64 written = 0; written < bytes; written += block.size()) {
        file.write(block.constData(), std::min<qint64>(block.size(), bytes - written));
    }
    return path;
}

void PeakMemory100MB(benchmark::State &state)
{
    QTemporaryDir dir;
    const qint64 fileBytes = 100'000'000;
    const QString path = writeSourceFile(dir.path(), fileBytes);
    const double before = peakResidentMegabytes();
    for (auto _ : state) {
        // Read as the editor reads a file: block by block into the tree.
        VeskNodePtr root = readTextFile(path).text;
        if (!root) {
            state.SkipWithError("cannot read the test file");
            return;
        }
        VeskDocument doc(std::move(root));
        const qint64 step = doc.length() / 211;
        for (int i = 0; i < 200; ++i) {
            doc.insert(QStringLiteral("x"), step * i + 7);
        }
        benchmark::DoNotOptimize(doc.undoStack().size());
    }
    const double peak = peakResidentMegabytes() - before;
    state.counters["file_MB"] = double(fileBytes) / (1024.0 * 1024.0);
    state.counters["peak_MB"] = peak;
    state.counters["peak_per_file"] = peak / (double(fileBytes) / (1024.0 * 1024.0));
}
BENCHMARK(PeakMemory100MB)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
