// Editing, line lookup and building speed of the text model.

#include "text/vesk_document.h"

#include <benchmark/benchmark.h>

using namespace vesk;

namespace {

// `lines` lines of about 60 ASCII characters.
QString sourceText(qint64 lines)
{
    const QString line = QStringLiteral("    value = compute(alpha, beta) + offset * 42; // note %1\n");
    QString text;
    text.reserve(lines * 62);
    for (qint64 i = 0; i < lines; ++i) {
        text += line.arg(i % 1000, 3, 10, QLatin1Char('0'));
    }
    return text;
}

QString mixedText(qsizetype units)
{
    const QString sample = QStringLiteral("漢字かな交じり文 café e\u0301 👍🏽 👨\u200D👩\u200D👧 🇫🇷 한국어\r\n"
                                          "ASCII code line with some words in it;\r\n");
    QString text;
    text.reserve(units + sample.size());
    while (text.size() < units) {
        text += sample;
    }
    return text;
}

// One typed character in the middle line, as the editor does it: mark the line, insert, and
// let the document recalculate its modified lines. Every 50 characters the typing is taken
// back (untimed) so the line keeps a realistic length.
void TypeCharacter(benchmark::State &state)
{
    VeskDocument doc(sourceText(state.range(0)));
    const qint64 middleLine = doc.lineCount() / 2;
    const qint64 offset = doc.lineStartOffset(middleLine) + 10;
    int typed = 0;
    for (auto _ : state) {
        doc.addUserEditedLine(middleLine);
        doc.insert(QStringLiteral("x"), offset);
        benchmark::DoNotOptimize(doc.modifiedLines().size());
        if (++typed == 50) {
            state.PauseTiming();
            doc.deleteRange(offset, offset + typed);
            typed = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(TypeCharacter)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void LineInfo(benchmark::State &state)
{
    VeskDocument doc(sourceText(state.range(0)));
    const qint64 middleLine = doc.lineCount() / 2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(doc.lineInfo(middleLine));
    }
}
BENCHMARK(LineInfo)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// Times the building only; freeing the tree again is left out.
template <typename Build>
void buildRepeatedly(benchmark::State &state, Build build)
{
    for (auto _ : state) {
        VeskNodePtr root = build();
        benchmark::DoNotOptimize(root.get());
        state.PauseTiming();
        root.reset();
        state.ResumeTiming();
    }
}

void BuildAscii(benchmark::State &state)
{
    const QString text = sourceText(100'000'000 / 62);
    buildRepeatedly(state, [&text] { return VeskNode::build(text); });
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BuildAscii)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BuildAsciiUtf8(benchmark::State &state)
{
    const QByteArray bytes = sourceText(100'000'000 / 62).toUtf8();
    buildRepeatedly(state, [&bytes] { return VeskNode::buildUtf8(bytes); });
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BuildAsciiUtf8)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BuildMixed(benchmark::State &state)
{
    const QString text = mixedText(10'000'000);
    const qint64 bytes = text.toUtf8().size();
    buildRepeatedly(state, [&text] { return VeskNode::build(text); });
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BuildMixed)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
