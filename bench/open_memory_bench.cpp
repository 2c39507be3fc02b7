// Resident memory while and after opening big files in the editor, against the file size. Each
// case opens its file in a child process of its own, so one case's peak never shows in another's.
// Counters: rss_MB is the child's resident memory once the file is open, peak_MB its highest
// resident memory during the open; the *_per_file ratios divide those by the file size, and the
// growth_* figures leave out what the process held before opening (code, Qt, the allocator).

#include "editor/editor_view_model.h"
#include "platform/background.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>

#include <sys/wait.h>
#include <unistd.h>

using namespace vesk;

namespace {

// A field of /proc/self/status in MiB ("VmRSS", "VmHWM").
double statusMegabytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix)) {
            return line.mid(prefix.size()).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return -1;
}

// Starts the peak over from the present resident size.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

QString writeFile(const QTemporaryDir &dir, const QByteArray &pattern, qint64 bytes)
{
    const QString path = dir.filePath(QStringLiteral("big.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    QByteArray block;
    while (block.size() < (1 << 20)) {
        block += pattern;
    }
    // Whole lines only, so a multi-byte character is never cut.
    for (qint64 written = 0; written < bytes;) {
        const qint64 lines = std::min<qint64>(block.size() / pattern.size(),
                                              (bytes - written + pattern.size() - 1) / pattern.size());
        file.write(block.constData(), lines * pattern.size());
        written += lines * pattern.size();
    }
    return path;
}

struct Measured
{
    double before = 0;
    double after = 0;
    double peak = 0;
    double lines = 0;
};

// The child: opens the file as the editor does, then reports.
[[noreturn]] void openInChild(const QString &path, int out)
{
    int argc = 1;
    char name[] = "open_memory_bench";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    Measured m;
    {
        EditorViewModel editor;
        resetPeak();
        m.before = statusMegabytes("VmRSS");
        editor.openFile(path);
        waitForBackgroundWork();
        QCoreApplication::processEvents();
        m.lines = double(editor.document()->lineCount());
        m.after = statusMegabytes("VmRSS");
        m.peak = statusMegabytes("VmHWM");
        [[maybe_unused]] const auto written = ::write(out, &m, sizeof m);
    }
    ::_exit(0);
}

void OpenMemory(benchmark::State &state, const QByteArray &pattern, qint64 bytes)
{
    QTemporaryDir dir;
    const QString path = writeFile(dir, pattern, bytes);
    const double fileMB = double(QFile(path).size()) / (1024.0 * 1024.0);
    Measured m;
    for (auto _ : state) {
        std::array<int, 2> pipeEnds{};
        if (::pipe(pipeEnds.data()) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeEnds[0]);
            openInChild(path, pipeEnds[1]);
        }
        ::close(pipeEnds[1]);
        const bool got = ::read(pipeEnds[0], &m, sizeof m) == ssize_t(sizeof m);
        ::close(pipeEnds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!got || m.lines < 2) {
            state.SkipWithError("the child did not open the file");
            return;
        }
    }
    state.counters["file_MB"] = fileMB;
    state.counters["rss_MB"] = m.after;
    state.counters["peak_MB"] = m.peak;
    state.counters["rss_per_file"] = m.after / fileMB;
    state.counters["peak_per_file"] = m.peak / fileMB;
    state.counters["growth_per_file"] = (m.after - m.before) / fileMB;
    state.counters["growth_peak_per_file"] = (m.peak - m.before) / fileMB;
}

const QByteArray asciiLine = "    value = compute(alpha, beta) + offset * 42; // note abcdefghijklmnop\n";
// About 120 bytes a line, as in a file of prose and code in many scripts.
const QByteArray mixedLines = QStringLiteral("    // 漢字かな交じり文 café e\u0301 👍🏽 👨\u200D👩\u200D👧 🇫🇷 한국어 — Ünïcödé\r\n"
                                             "    value = compute(alpha, beta) + offset * 42; // ASCII code line, words\r\n")
                                  .toUtf8();

BENCHMARK_CAPTURE(OpenMemory, 100MB, asciiLine, 100'000'000)->Name("OpenMemory/100MB")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenMemory, 20MBMixed, mixedLines, 20'000'000)->Name("OpenMemory/20MBMixed")->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
