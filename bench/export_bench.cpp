// Scanning a large repository for export, and building its archive against plain `zip -r`.

#include "bench_support.h"
#include "export/export_selection.h"
#include "export/zip_builder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace vesk;
using namespace vesk::bench;

namespace {

void ExportScan(benchmark::State &state)
{
    static ExportScanRepository repository;
    for (auto _ : state) {
        ExportSelection selection;
        selection.open(repository.dir.path());
        benchmark::DoNotOptimize(selection.includedPaths().size());
    }
    state.counters["files/s"] = benchmark::Counter(double(repository.files), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(ExportScan)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

// 5,000 files of about 20 KB each: 100 MB.
struct ZipRepository
{
    QTemporaryDir parent;
    QString path = parent.filePath(QStringLiteral("zipbench"));
    QStringList files;

    ZipRepository()
    {
        QRandomGenerator random(5000);
        for (int i = 0; i < 5000; ++i) {
            const QString relative = QStringLiteral("dir%1/file%2.cpp").arg(i / 50).arg(i);
            QDir().mkpath(path + QStringLiteral("/dir%1").arg(i / 50));
            writeBytes(path + QLatin1Char('/') + relative, sourceText(random, 20000));
            files << relative;
        }
        files.sort();
    }
};

ZipRepository &zipRepository()
{
    static ZipRepository repository;
    return repository;
}

void BuildZip(benchmark::State &state)
{
    ZipRepository &repository = zipRepository();
    for (auto _ : state) {
        const ZipResult result = ZipBuilder::buildZip(repository.path, repository.files, {}, [](int, int) {});
        if (!result.succeeded()) {
            state.SkipWithError("buildZip failed");
        }
    }
}
BENCHMARK(BuildZip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same files with the tool alone, as the reference.
void ZipRecursive(benchmark::State &state)
{
    ZipRepository &repository = zipRepository();
    const QString archive = repository.parent.filePath(QStringLiteral("plain.zip"));
    for (auto _ : state) {
        QFile::remove(archive);
        QProcess zip;
        zip.setWorkingDirectory(repository.path);
        zip.start(QStringLiteral("/usr/bin/zip"), {QStringLiteral("-q"), QStringLiteral("-r"), archive, QStringLiteral(".")});
        if (!zip.waitForFinished(-1) || zip.exitCode() != 0) {
            state.SkipWithError("zip -r failed");
        }
    }
}
BENCHMARK(ZipRecursive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
