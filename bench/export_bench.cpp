// Scanning a large repository for export, and building its archive against plain `zip -r`.

#include "export/export_selection.h"
#include "export/zip_builder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace vesk;

namespace {

void writeBytes(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

// Source-like text of about `bytes` bytes: words from a small vocabulary, so it compresses as
// code does.
QByteArray sourceText(QRandomGenerator &random, qsizetype bytes)
{
    static const char *const words[] = {"return", "value", "const", "auto", "if", "for", "index", "result",
                                        "QString", "std::vector", "=", "+", "(", ")", "{", "}", ";", "0", "1",
                                        "count", "name", "path", "node", "// note", "while", "size"};
    QByteArray text;
    text.reserve(bytes + 32);
    while (text.size() < bytes) {
        text += words[random.bounded(int(std::size(words)))];
        text += random.bounded(8) == 0 ? '\n' : ' ';
    }
    return text;
}

// 20 top-level directories of 100 directories of 10 files: mostly text, some images and
// binaries, a few secrets.
struct ScanRepository
{
    QTemporaryDir dir;
    int files = 0;

    ScanRepository()
    {
        QRandomGenerator random(20000);
        for (int top = 0; top < 20; ++top) {
            for (int sub = 0; sub < 100; ++sub) {
                const QString path = dir.path() + QStringLiteral("/mod%1/pkg%2").arg(top).arg(sub);
                QDir().mkpath(path);
                for (int i = 0; i < 10; ++i, ++files) {
                    const int kind = (files * 7919) % 100;
                    if (kind < 15) {
                        writeBytes(path + QStringLiteral("/icon%1.png").arg(i), QByteArray(3000, '\x89'));
                    } else if (kind < 25) {
                        writeBytes(path + QStringLiteral("/lib%1.so").arg(i), "\x7f" "ELF" + QByteArray(5000, '\0'));
                    } else if (kind < 27) {
                        writeBytes(path + QStringLiteral("/conf%1.env").arg(i), "API_KEY=abc\n" + sourceText(random, 500));
                    } else {
                        writeBytes(path + QStringLiteral("/file%1.cpp").arg(i), sourceText(random, 2000 + random.bounded(6000)));
                    }
                }
            }
        }
    }
};

void ExportScan(benchmark::State &state)
{
    static ScanRepository repository;
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
