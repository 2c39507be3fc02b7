// Drawing the editor: one viewport of the canvas, one keystroke through a standalone window to
// the end of the next paint, and one minimap frame, on documents of a thousand and a million lines.

#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_scroll_host.h"
#include "editor/ui/line_layout.h"
#include "editor/ui/minimap_view.h"
#include "editor/ui/standalone_editor_window.h"
#include "platform/background.h"
#include "platform/preferences.h"
#include "widget_bench_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace vesk;

namespace {

constexpr int viewportLines = 50;
constexpr int lineHeight = 20;

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// `lines` lines of code-like ASCII with varied indentation and length, one file per size.
QString sourceFile(qint64 lines)
{
    const QString path = scratch().filePath(QStringLiteral("source_%1.txt").arg(lines));
    if (QFile::exists(path)) {
        return path;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    const QByteArray body = "value = compute(alpha, beta) + offset * 42; // note on the computation abcdefghij";
    QByteArray block;
    for (qint64 i = 0; i < lines; ++i) {
        const QByteArray indent(int(i % 4) * 4, ' ');
        block += indent + QByteArray::number(i) + ' ' + body.left(int(20 + i % 60)) + '\n';
        if (block.size() > (1 << 20) || i + 1 == lines) {
            file.write(block);
            block.clear();
        }
    }
    return path;
}

void settle()
{
    waitForBackgroundWork();
    QCoreApplication::processEvents();
}

// An editor on `lines` lines with a few edited lines, two carets and a selection in the middle.
std::unique_ptr<EditorViewModel> middleOfDocument(qint64 lines, qint64 &middle)
{
    auto editor = std::make_unique<EditorViewModel>();
    editor->openFile(sourceFile(lines));
    settle();
    middle = lines / 2;
    for (qint64 k = 0; k < viewportLines; k += 7) {
        editor->setCursors({TextCursor::at(middle + k, 4)});
        editor->insertAtCursors(QStringLiteral("edit "));
    }
    TextCursor selection = TextCursor::at(middle + 12, 10);
    selection.setAnchor(middle + 9, 3);
    editor->setCursors({TextCursor::at(middle + 3, 8), selection});
    return editor;
}

void PaintViewport(benchmark::State &state)
{
    qint64 middle = 0;
    const std::unique_ptr<EditorViewModel> editor = middleOfDocument(state.range(0), middle);
    EditorScrollHost host(editor.get());
    host.resize(900, viewportLines * lineHeight);
    host.show();
    settle();
    host.scrollTo(QPointF(0, middle * lineHeight));
    EditorCanvasView *canvas = host.canvas();
    QImage image(canvas->size(), QImage::Format_ARGB32_Premultiplied);
    const bool cold = state.range(1) != 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            clearLayoutCache();
            state.ResumeTiming();
        }
        canvas->render(&image);
    }
    benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(PaintViewport)->ArgsProduct({{1'000, 1'000'000}, {0}})->ArgNames({"", "cold"})->Unit(benchmark::kMillisecond);
// The first frame after a jump: every line typeset afresh.
BENCHMARK(PaintViewport)->Name("PaintViewportCold")->Args({1'000'000, 1})->Unit(benchmark::kMillisecond);

QKeyEvent typed(QEvent::Type type, int key, const QString &text)
{
    return QKeyEvent(type, key, Qt::NoModifier, text);
}

// A key press delivered to the canvas of a standalone window, through the key routing and the
// edit, to the end of the paint that shows it. Alternates typing a letter and deleting it, so
// every iteration is one keystroke and the document keeps its size.
void KeystrokeToFrame(benchmark::State &state)
{
    StandaloneEditorWindow *window = openFileInNewWindow(sourceFile(state.range(0)));
    if (!window) {
        state.SkipWithError("could not open the document");
        return;
    }
    settle();
    const qint64 middle = state.range(0) / 2;
    window->editor()->goToLine(middle, 6);
    settle();
    EditorCanvasView *canvas = window->view()->canvas();
    int paints = 0;
    struct PaintCounter : QObject
    {
        int *count;
        explicit PaintCounter(int *c) : count(c) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            *count += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter(&paints);
    canvas->installEventFilter(&counter);

    std::vector<double> times;
    bool letter = true;
    for (auto _ : state) {
        QKeyEvent press = letter ? typed(QEvent::KeyPress, Qt::Key_A, QStringLiteral("a"))
                                 : typed(QEvent::KeyPress, Qt::Key_Backspace, QString());
        const int before = paints;
        QElapsedTimer timer;
        timer.start();
        QApplication::sendEvent(canvas, &press);
        // The views look at the change on the next turn of the loop and ask for a paint.
        while (paints == before && timer.elapsed() < 1000) {
            QCoreApplication::processEvents();
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        times.push_back(seconds * 1e3);
        if (paints == before) {
            state.SkipWithError("the keystroke was not painted");
            break;
        }
        letter = !letter;
    }
    canvas->removeEventFilter(&counter);
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        state.counters["median_ms"] = times[times.size() / 2];
        state.counters["worst_ms"] = times.back();
    }
    window->close();
    settle();
}
BENCHMARK(KeystrokeToFrame)->Arg(1'000)->Arg(1'000'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(400);

void PaintMinimap(benchmark::State &state)
{
    qint64 middle = 0;
    const std::unique_ptr<EditorViewModel> editor = middleOfDocument(state.range(0), middle);
    MinimapView minimap(editor.get());
    minimap.resize(int(MinimapView::defaultWidth), 900);
    minimap.setContainerHeight(900);
    QImage image(minimap.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        minimap.drawFrame(painter);  // everything, without the image the widget keeps
    }
    benchmark::DoNotOptimize(image.constBits());
}
BENCHMARK(PaintMinimap)->Arg(1'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return vesk::bench::runWidgetBenchmarks(
        argc, argv, [] { Preferences::useFile(scratch().filePath(QStringLiteral("preferences.ini"))); });
}
