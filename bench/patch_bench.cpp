// Speed of analysing a patch archive: unpacking, then one diff per changed file.

#include "patch/patch_applier.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace vesk;

namespace {

void writeText(const QString &path, const QByteArray &content)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

QByteArray sourceFile(int number, bool changed)
{
    QByteArray text;
    for (int line = 0; line < 60; ++line) {
        text += "    int value" + QByteArray::number(line) + " = compute(" + QByteArray::number(number) + ");\n";
        if (changed && line % 20 == 10) {
            text += "    log(value" + QByteArray::number(line) + ");\n";
        }
    }
    return text;
}

// A repository of `count` files and an archive that changes every one of them.
struct PatchFixture
{
    QTemporaryDir dir;
    QString repo = dir.filePath(QStringLiteral("repo"));
    QString zip = dir.filePath(QStringLiteral("reply.zip"));

    explicit PatchFixture(int count)
    {
        const QString staging = dir.filePath(QStringLiteral("staging/proj"));
        for (int i = 0; i < count; ++i) {
            const QString relative = QStringLiteral("src/module%1/file%2.cpp").arg(i % 20).arg(i);
            writeText(repo + u'/' + relative, sourceFile(i, false));
            writeText(staging + u'/' + relative, sourceFile(i, true));
        }
        QProcess zipTool;
        zipTool.setWorkingDirectory(dir.filePath(QStringLiteral("staging")));
        zipTool.start(QStringLiteral("/usr/bin/zip"), {QStringLiteral("-q"), QStringLiteral("-r"), zip, QStringLiteral("proj")});
        if (!zipTool.waitForFinished(120000) || zipTool.exitCode() != 0) {
            qFatal("zip failed");
        }
    }
};

void AnalyzePatch(benchmark::State &state)
{
    const PatchFixture fixture(int(state.range(0)));
    for (auto _ : state) {
        const PatchAnalysis analysis = PatchApplier::analyze(fixture.zip, fixture.repo);
        if (!analysis.errors.isEmpty() || analysis.entries.size() != state.range(0)
            || analysis.entries.first().addedLines != 3) {
            state.SkipWithError("unexpected analysis");
        }
        PatchApplier::cancel(analysis);
    }
}
BENCHMARK(AnalyzePatch)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
