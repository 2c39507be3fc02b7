#pragma once

// The main function of every benchmark program that draws widgets: an offscreen QApplication
// unless a display is asked for, then Google Benchmark.

#include <QApplication>

#include <benchmark/benchmark.h>

#include <functional>

namespace vesk::bench {

// `prepare` runs once the application exists, before the first benchmark.
inline int runWidgetBenchmarks(int argc, char **argv, const std::function<void()> &prepare = {})
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;  // Qt must not take the benchmark's own flags
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    if (prepare) {
        prepare();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace vesk::bench
