// Syntax highlighting on a C++ file of 100,000 lines: a keystroke through a standalone window to
// the end of its paint with highlighting on, the incremental re-parse after one keystroke (the
// work of the pool thread), the captures of one screen of lines, and the first frame of a 10 MB
// file with highlighting on and off.

#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_scroll_host.h"
#include "editor/ui/editor_syntax.h"
#include "editor/ui/standalone_editor_window.h"
#include "platform/background.h"
#include "platform/preferences.h"
#include "syntax/language_table.h"
#include "syntax/syntax_highlighter.h"
#include "syntax/tree_input.h"
#include "widget_bench_main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

using namespace vesk;

namespace {

constexpr int viewportLines = 50;

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// A block of ordinary C++: comments, strings, numbers, templates, nested braces.
const char *block = R"(// Sums the weights of the items that pass the filter.
template <typename Item>
static double totalWeight(const std::vector<Item> &items, double limit)
{
    /* Items above the limit count half. */
    double total = 0.0;
    for (const Item &item : items) {
        if (item.weight > limit && item.name != "skip") {
            total += item.weight * 0.5;
        } else {
            total += item.weight;  // the common case
        }
    }
    return total;
}

)";

// A C++ file of at least `lines` lines (or `bytes` bytes), made once.
QString cppFile(qint64 lines, qint64 bytes = 0)
{
    const QString path = scratch().filePath(QStringLiteral("source_%1_%2.cpp").arg(lines).arg(bytes));
    if (QFile::exists(path)) {
        return path;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    const QByteArray text(block);
    const qint64 perBlock = text.count('\n');
    qint64 written = 0;
    for (qint64 n = 0; n * perBlock < lines || written < bytes; ++n) {
        written += file.write(text);
    }
    return path;
}

void settle()
{
    waitForBackgroundWork();
    QCoreApplication::processEvents();
}

bool waitForColours(EditorViewModel *editor)
{
    EditorSyntax *syntax = EditorSyntax::of(editor);
    QElapsedTimer timer;
    timer.start();
    while ((syntax->highlighter().isParsing() || syntax->highlighter().parseCount() == 0) && timer.elapsed() < 60000) {
        settle();
    }
    return syntax->highlighter().parseCount() > 0;
}

struct PaintCounter : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// Alternates typing a letter and deleting it in the middle of the file, with highlighting on;
// each keystroke is timed from the key press to the end of the paint that shows it. The re-parse
// runs meanwhile on a pool thread and never holds the keystroke up.
void KeystrokeToFrame(benchmark::State &state)
{
    const bool highlighting = state.range(0) != 0;
    Preferences::instance().setValue(QStringLiteral("syntaxHighlighting"), highlighting);
    StandaloneEditorWindow *window = openFileInNewWindow(cppFile(100'000));
    if (!window || (highlighting && !waitForColours(window->editor()))) {
        state.SkipWithError("could not open or colour the document");
        return;
    }
    window->editor()->goToLine(50'000, 12);
    settle();
    EditorCanvasView *canvas = window->view()->canvas();
    PaintCounter paints;
    canvas->installEventFilter(&paints);
    std::vector<double> times;
    bool letter = true;
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, letter ? Qt::Key_A : Qt::Key_Backspace, Qt::NoModifier,
                        letter ? QStringLiteral("a") : QString());
        const int before = paints.count;
        QElapsedTimer timer;
        timer.start();
        QApplication::sendEvent(canvas, &press);
        while (paints.count == before && timer.elapsed() < 1000) {
            QCoreApplication::processEvents();
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        times.push_back(seconds * 1e3);
        if (paints.count == before) {
            state.SkipWithError("the keystroke was not painted");
            break;
        }
        letter = !letter;
    }
    canvas->removeEventFilter(&paints);
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        state.counters["median_ms"] = times[times.size() / 2];
        state.counters["worst_ms"] = times.back();
        state.counters["over_8ms"] = double(std::count_if(times.begin(), times.end(), [](double t) { return t > 8; }));
    }
    state.counters["parses"] = double(EditorSyntax::of(window->editor())->highlighter().parseCount());
    window->close();
    settle();
    Preferences::instance().remove(QStringLiteral("syntaxHighlighting"));
}
// Highlighting off (0) gives the same keystroke's cost without colours, for comparison.
BENCHMARK(KeystrokeToFrame)->Name("KeystrokeToFrame/100000Cpp")->Arg(1)->Arg(0)->ArgName("highlighting")
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(400);

// A whole screen of the C++ file drawn, as after a parse comes back, with highlighting on (1) and
// off (0). The captures are queried afresh for every frame.
void PaintViewport(benchmark::State &state)
{
    const bool highlighting = state.range(0) != 0;
    Preferences::instance().setValue(QStringLiteral("syntaxHighlighting"), highlighting);
    EditorViewModel editor;
    editor.openFile(cppFile(100'000));
    EditorScrollHost host(&editor);
    host.resize(900, viewportLines * 20);
    host.show();
    if (highlighting && !waitForColours(&editor)) {
        state.SkipWithError("no colours");
        return;
    }
    host.scrollTo(QPointF(0, 50'000 * 20));
    settle();
    QImage image(host.canvas()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        editor.document()->insert(u"", 0);  // a new version of the text: the line cache starts over
        host.canvas()->render(&image);
    }
    Preferences::instance().remove(QStringLiteral("syntaxHighlighting"));
}
BENCHMARK(PaintViewport)->Name("PaintViewport/100000Cpp")->Arg(1)->Arg(0)->ArgName("highlighting")
    ->Unit(benchmark::kMillisecond);

// What the pool thread does after one keystroke: find the edited range between the two versions,
// shift the old tree by it, and re-parse from the snapshot of the text tree.
void Reparse(benchmark::State &state)
{
    QFile file(cppFile(100'000));
    file.open(QIODevice::ReadOnly);
    VeskNodePtr root = VeskNode::buildUtf8(file.readAll());
    const SyntaxLanguage *cpp = LanguageTable::byName(QStringLiteral("C++"));
    TSParser *parser = ts_parser_new();
    ts_parser_set_language(parser, cpp->grammar());
    TreeTextInput first(root);
    TSTree *tree = ts_parser_parse(parser, nullptr, first.input());
    const qint64 at = root->lineStartOffset(50'000) + 12;
    bool letter = true;
    for (auto _ : state) {
        const VeskNodePtr next = letter ? VeskNode::replaceRange(root, at, at, u"a") : VeskNode::replaceRange(root, at, at + 1, u"");
        const std::optional<TSInputEdit> edit = TreeUnits::editBetween(root, next);
        ts_tree_edit(tree, &*edit);
        TreeTextInput input(next);
        TSTree *parsed = ts_parser_parse(parser, tree, input.input());
        ts_tree_delete(tree);
        tree = parsed;
        root = next;
        letter = !letter;
    }
    ts_tree_delete(tree);
    ts_parser_delete(parser);
}
BENCHMARK(Reparse)->Name("Reparse/100000Cpp")->Unit(benchmark::kMillisecond);

// The captures of one screen of lines, queried afresh (another screen each time, so the per-line
// cache never answers).
void HighlightViewport(benchmark::State &state)
{
    QFile file(cppFile(100'000));
    file.open(QIODevice::ReadOnly);
    const VeskNodePtr root = VeskNode::buildUtf8(file.readAll());
    SyntaxHighlighter highlighter;
    highlighter.setLanguage(LanguageTable::byName(QStringLiteral("C++")));
    highlighter.setText(root);
    while (highlighter.isParsing()) {
        settle();
    }
    qint64 first = 0;
    for (auto _ : state) {
        highlighter.prepareLines(first, first + viewportLines - 1);
        first = (first + 997 * viewportLines) % (root->lines() - viewportLines);
    }
}
BENCHMARK(HighlightViewport)->Unit(benchmark::kMicrosecond);

// Opening a 10 MB C++ file in a window: the time to its first paint, with highlighting on (1) and
// off (0). The parse runs after, on a pool thread.
void OpenLargeFile(benchmark::State &state)
{
    const QString path = cppFile(0, 10'000'000);
    Preferences::instance().setValue(QStringLiteral("syntaxHighlighting"), state.range(0) != 0);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        StandaloneEditorWindow *window = openFileInNewWindow(path);
        EditorCanvasView *canvas = window->view()->canvas();
        PaintCounter paints;
        canvas->installEventFilter(&paints);
        while (paints.count == 0 && timer.elapsed() < 10000) {
            QCoreApplication::processEvents();
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        canvas->removeEventFilter(&paints);
        state.PauseTiming();
        window->close();
        settle();
        state.ResumeTiming();
    }
    Preferences::instance().remove(QStringLiteral("syntaxHighlighting"));
}
BENCHMARK(OpenLargeFile)->Name("OpenFirstFrame/10MBCpp")->Arg(0)->Arg(1)->ArgName("highlighting")->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    return vesk::bench::runWidgetBenchmarks(
        argc, argv, [] { Preferences::useFile(scratch().filePath(QStringLiteral("preferences.ini"))); });
}
