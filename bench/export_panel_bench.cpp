// The export panel on a repository of 20,000 files: from the call to the painted panel, and from
// a click on a top-level directory's box in the outline to the repainted outline.

#include "bench_support.h"
#include "export/export_filter.h"
#include "export/ui/export_outline_model.h"
#include "export/ui/export_panel.h"
#include "widget_bench_main.h"

#include <QApplication>
#include <QTest>
#include <QTreeView>

#include <benchmark/benchmark.h>

using namespace vesk;
using namespace vesk::bench;

namespace {

// Notes when a widget has painted.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget) { widget->installEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            painted = true;
        }
        return false;
    }
};

void waitForPaint(PaintWatch &watch)
{
    while (!watch.painted) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

void closePanel()
{
    if (ExportPanel *panel = openExportPanel()) {
        panel->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

ExportScanRepository &repository()
{
    static ExportScanRepository instance;
    return instance;
}

void OpenExportPanel(benchmark::State &state)
{
    const QString repo = repository().dir.path();
    for (auto _ : state) {
        state.PauseTiming();
        closePanel();
        QFile::remove(ExportFilter::filePath(repo));
        state.ResumeTiming();
        showExportPanel(repo, {});
        PaintWatch watch(openExportPanel()->outline()->viewport());
        waitForPaint(watch);
    }
    closePanel();
}
BENCHMARK(OpenExportPanel)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

void ToggleTopDirectory(benchmark::State &state)
{
    const QString repo = repository().dir.path();
    QFile::remove(ExportFilter::filePath(repo));
    showExportPanel(repo, {});
    ExportPanel *panel = openExportPanel();
    if (!QTest::qWaitForWindowExposed(panel)) {
        state.SkipWithError("panel not shown");
        return;
    }
    QTreeView *outline = panel->outline();
    const QModelIndex box = panel->outlineModel()->indexOf(QStringLiteral("mod0"), ExportOutlineModel::IncludeColumn);
    const QPoint centre = outline->visualRect(box).center();
    for (auto _ : state) {
        PaintWatch watch(outline->viewport());
        QTest::mouseClick(outline->viewport(), Qt::LeftButton, {}, centre);
        waitForPaint(watch);
    }
    closePanel();
}
BENCHMARK(ToggleTopDirectory)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return vesk::bench::runWidgetBenchmarks(argc, argv, [] { repository(); });
}
