// Speed of the patch review on screen: opening and sorting the review panel of a large patch,
// and the styled diff of a large file in the preview.

#include "patch/ui/patch_preview_window.h"
#include "patch/ui/patch_review_list.h"
#include "patch/ui/patch_review_model.h"
#include "patch/ui/patch_review_panel.h"
#include "widget_bench_main.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>

#include <benchmark/benchmark.h>

using namespace vesk;

namespace {

PatchAnalysis syntheticAnalysis(int count)
{
    PatchAnalysis analysis;
    analysis.repoPath = QStringLiteral("/nonexistent");
    for (int i = 0; i < count; ++i) {
        PatchFileEntry entry;
        entry.relativePath = QStringLiteral("src/Module%1/file_%2.cpp").arg(i % 37).arg((i * 7919) % count);
        entry.patchFileURL = QStringLiteral("/nonexistent/") + entry.relativePath;
        entry.isNew = i % 5 == 0;
        entry.addedLines = (i * 31) % 200;
        entry.removedLines = entry.isNew ? 0 : (i * 17) % 90;
        entry.patchModDate = FileTime{qint64(1'600'000'000 + i) * 1'000'000'000};
        if (!entry.isNew) {
            entry.repoModDate = FileTime{qint64(1'600'000'000 + (i * 13) % 2000) * 1'000'000'000};
            entry.repoNewer = *entry.repoModDate > *entry.patchModDate;
        }
        analysis.entries << entry;
    }
    return analysis;
}

void writeText(const QString &path, const QByteArray &content)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

void OpenReviewPanel(benchmark::State &state)
{
    const PatchAnalysis analysis = syntheticAnalysis(int(state.range(0)));
    for (auto _ : state) {
        PatchReviewPanel *panel = showPatchConfirmPanel(analysis, [](const QSet<qsizetype> &) {}, [] {});
        const QPixmap painted = panel->grab();
        benchmark::DoNotOptimize(painted.cacheKey());
        state.PauseTiming();
        panel->dismiss();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(OpenReviewPanel)->Arg(1000)->Unit(benchmark::kMillisecond);

void SortReviewPanel(benchmark::State &state)
{
    PatchReviewPanel *panel =
        showPatchConfirmPanel(syntheticAnalysis(int(state.range(0))), [](const QSet<qsizetype> &) {}, [] {});
    panel->grab();
    int column = 0;
    const int columns[] = {PatchReviewModel::fileColumn, PatchReviewModel::changesColumn, PatchReviewModel::repoDateColumn};
    for (auto _ : state) {
        // Each click sorts by another key, so every round does a full sort, then repaints the rows.
        panel->model()->sortByColumn(columns[column++ % 3]);
        panel->list()->viewport()->repaint();
    }
    panel->dismiss();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(SortReviewPanel)->Arg(1000)->Unit(benchmark::kMillisecond);

// A file of `lines` lines and its patched copy with 500 lines changed, spread through the file.
void PreviewDiff(benchmark::State &state)
{
    const int lines = int(state.range(0));
    QTemporaryDir dir;
    QByteArray original;
    QByteArray patched;
    for (int i = 0; i < lines; ++i) {
        const QByteArray line = "    result += compute(value" + QByteArray::number(i) + ", " + QByteArray::number(i * 3) + ");\n";
        original += line;
        patched += i % (lines / 500) == 7 ? "    result -= adjusted(" + QByteArray::number(i) + ");\n" : line;
    }
    const QString repo = dir.filePath(QStringLiteral("repo"));
    writeText(repo + QStringLiteral("/big.cpp"), original);
    PatchFileEntry entry;
    entry.relativePath = QStringLiteral("big.cpp");
    entry.patchFileURL = dir.filePath(QStringLiteral("patch/big.cpp"));
    writeText(entry.patchFileURL, patched);

    for (auto _ : state) {
        PatchPreviewWindow *preview = showPatchDiffPreview(entry, repo);
        QElapsedTimer waited;
        waited.start();
        while (!preview->isCurrent() && waited.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        const QPixmap painted = preview->grab();
        benchmark::DoNotOptimize(painted.cacheKey());
        state.PauseTiming();
        if (preview->textView()->document()->blockCount() < 500 * 4) {
            state.SkipWithError("unexpected diff");
        }
        state.ResumeTiming();
    }
    delete patchPreviewWindow();
}
BENCHMARK(PreviewDiff)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return vesk::bench::runWidgetBenchmarks(argc, argv);
}
