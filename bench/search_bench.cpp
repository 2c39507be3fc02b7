// Find-in-files against ripgrep and git grep on one large tree, and the git status read against
// plain `git status`, all measured in the same run.
//
// The search tree is a copy of VESK_BENCH_TREE (default /usr/include; links resolved), made a git
// repository with every file committed so that git grep sees the same files. ripgrep runs as
// `rg -j2 --no-ignore` with globs leaving out node_modules and .build; like our search it skips
// hidden entries. Our search uses two threads too.
//
// Run with --benchmark_enable_random_interleaving=true --benchmark_repetitions=N so that the
// contenders take turns and share whatever else the machine is doing.

#include "platform/file_time.h"
#include "platform/process_runner.h"
#include "workspace/file_search.h"
#include "workspace/git_manager.h"
#include "workspace/search_matcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <cstdlib>
#include <limits>
#include <memory>

using namespace vesk;
using namespace vesk::bench;

namespace {

constexpr int threads = 2;

struct Query
{
    const char *text;
    bool caseSensitive;
    bool regex;
};

// Nothing in /usr/include matches these, so every run reads every file.
const Query queries[] = {
    {"vesk_no_such_text", true, false},
    {"vesk_no_such_text", false, false},
    {"[A-Z]+_SUSPEND_VESK", true, true},
    {"[A-Z]+_SUSPEND_VESK", false, true},
    {"[a-z]+[0-9]{9}[a-z]+", true, true},  // no literal to look for first: every line is tried
};

std::unique_ptr<QTemporaryDir> scratch;

const QString &searchTree()
{
    static const QString tree = [] {
        const char *source = std::getenv("VESK_BENCH_TREE");
        const QString from = source ? QString::fromLocal8Bit(source) : QStringLiteral("/usr/include");
        const QString to = scratch->filePath(QStringLiteral("tree"));
        if (!QDir(from).exists() || !runOk("/bin/cp", {"-rL", from, to}, scratch->path())) {
            return QString();
        }
        commitEverything(to);
        return to;
    }();
    return tree;
}

// 50,000 files in 500 folders, 500 of them changed after the commit; the index is settled by
// one plain status first, so both contenders find the same state.
const QString &statusRepo()
{
    static const QString repo = [] {
        const QString root = scratch->filePath(QStringLiteral("status"));
        for (int d = 0; d < 500; ++d) {
            const QString folder = QStringLiteral("%1/dir%2").arg(root).arg(d);
            QDir().mkpath(folder);
            for (int f = 0; f < 100; ++f) {
                writeOldFile(QStringLiteral("%1/file%2.txt").arg(folder).arg(f),
                             QByteArray("line of text ") + QByteArray::number(d * 100 + f) + "\n");
            }
        }
        commitEverything(root);
        for (int d = 0; d < 500; ++d) {
            writeOldFile(QStringLiteral("%1/dir%2/file7.txt").arg(root).arg(d), "changed\n");
        }
        runOk("/usr/bin/git", {"status", "--porcelain"}, root);
        return root;
    }();
    return repo;
}

void Ours(benchmark::State &state)
{
    const QString &tree = searchTree();
    if (tree.isEmpty()) {
        state.SkipWithError("no search tree");
        return;
    }
    const Query &q = queries[state.range(0)];
    SearchOptions options;
    options.query = QString::fromLatin1(q.text);
    options.caseSensitive = q.caseSensitive;
    options.useRegex = q.regex;
    qsizetype hits = 0;
    for (auto _ : state) {
        hits = FileSearch::searchRepository(tree, options, nullptr, threads).size();
    }
    state.counters["hits"] = double(hits);
    state.SetLabel(QStringLiteral("%1%2").arg(q.text, q.caseSensitive ? "" : " -i").toStdString());
}

void Ripgrep(benchmark::State &state)
{
    const QString &tree = searchTree();
    if (tree.isEmpty()) {
        state.SkipWithError("no search tree");
        return;
    }
    const Query &q = queries[state.range(0)];
    QStringList arguments{"-j2", "--no-ignore", "-g", "!node_modules", "-g", "!.build"};
    if (!q.regex) {
        arguments << "-F";
    }
    if (!q.caseSensitive) {
        arguments << "-i";
    }
    arguments << "-e" << QString::fromLatin1(q.text) << tree;
    qsizetype bytes = 0;
    for (auto _ : state) {
        const auto result = run("rg", arguments, tree);
        bytes = result ? result->standardOutput.size() : -1;
    }
    state.counters["output"] = double(bytes);
    state.SetLabel(QStringLiteral("%1%2").arg(q.text, q.caseSensitive ? "" : " -i").toStdString());
}

void GitGrep(benchmark::State &state)
{
    const QString &tree = searchTree();
    if (tree.isEmpty()) {
        state.SkipWithError("no search tree");
        return;
    }
    const Query &q = queries[state.range(0)];
    QStringList arguments{"grep", "--threads", QString::number(threads), q.regex ? "-E" : "-F"};
    if (!q.caseSensitive) {
        arguments << "-i";
    }
    arguments << "-e" << QString::fromLatin1(q.text);
    qsizetype bytes = 0;
    for (auto _ : state) {
        const auto result = run("/usr/bin/git", arguments, tree);
        bytes = result ? result->standardOutput.size() : -1;
    }
    state.counters["output"] = double(bytes);
    state.SetLabel(QStringLiteral("%1%2").arg(q.text, q.caseSensitive ? "" : " -i").toStdString());
}

void CollectStatus(benchmark::State &state)
{
    const QString &repo = statusRepo();
    qsizetype entries = 0;
    for (auto _ : state) {
        entries = GitManager::collectStatus(repo).entries.size();
    }
    state.counters["entries"] = double(entries);
}

void PlainGitStatus(benchmark::State &state)
{
    const QString &repo = statusRepo();
    qsizetype bytes = 0;
    for (auto _ : state) {
        const auto result = run("/usr/bin/git", {"status", "--porcelain"}, repo);
        bytes = result ? result->standardOutput.size() : -1;
    }
    state.counters["output"] = double(bytes);
}

// One line of minified script of `bytes` bytes, "foo" near its start and "bar" at its end.
QByteArray minifiedLine(qsizetype bytes)
{
    const QByteArray code = "var a=b(c,d);if(a){e.f=g}else{h.i(j)};function k(l){return l+1}";
    return "x=1;foo;" + code.repeated(bytes / code.size()) + "bar;\n";
}

// An expression whose match spans the line, and a literal, on one long line: the time per byte
// stays the same as the line grows (Complexity reports the fit).
void SearchLongLine(benchmark::State &state, bool regex)
{
    const QByteArray line = minifiedLine(state.range(0));
    const SearchMatcher matcher(QString::fromLatin1(regex ? "foo.*?bar" : "bar;"), true, regex);
    qsizetype hits = 0;
    for (auto _ : state) {
        hits = matcher.scan(line, FileSearch::hitLimit).size();
    }
    state.counters["hits"] = double(hits);
    state.SetBytesProcessed(qint64(state.iterations()) * line.size());
    state.SetComplexityN(line.size());
}

// 30,000 files committed, then all dated a minute back as a checkout or a copy would leave
// them, so the times cached in the index no longer agree with the disk.
QString staleRepo(const QString &name)
{
    const QString root = scratch->filePath(name);
    for (int d = 0; d < 300; ++d) {
        const QString folder = QStringLiteral("%1/dir%2").arg(root).arg(d);
        QDir().mkpath(folder);
        for (int f = 0; f < 100; ++f) {
            writeOldFile(QStringLiteral("%1/file%2.txt").arg(folder).arg(f), "same\n");
        }
    }
    commitEverything(root);
    return root;
}

void makeStale(const QString &root)
{
    for (int d = 0; d < 300; ++d) {
        for (int f = 0; f < 100; ++f) {
            const QString path = QStringLiteral("%1/dir%2/file%3.txt").arg(root).arg(d).arg(f);
            setModificationTime(path, {modificationTime(path)->nanoseconds - 1'000'000'000LL});
        }
    }
}

// Reads of a stale index: ReadOnly never lets git refresh it (each read hashes every file);
// FirstRead is the read that finds it stale and lets git refresh it; LaterReads follow one.
void StaleStatus(benchmark::State &state, int mode)
{
    static int copies = 0;
    const QString repo = staleRepo(QStringLiteral("stale%1").arg(++copies));
    makeStale(repo);
    const GitManager::CacheRefreshPolicy never{std::numeric_limits<qsizetype>::max(), std::chrono::hours(1)};
    GitManager::setCacheRefreshPolicy(mode == 0 ? never : GitManager::CacheRefreshPolicy{});
    if (mode == 2) {
        GitManager::collectStatus(repo);
    }
    qsizetype entries = 0;
    for (auto _ : state) {
        if (mode == 1) {
            state.PauseTiming();
            makeStale(repo);
            state.ResumeTiming();
        }
        entries = GitManager::collectStatus(repo).entries.size();
    }
    GitManager::setCacheRefreshPolicy({});
    state.counters["entries"] = double(entries);
}

void registerAll()
{
    for (const bool regex : {true, false}) {
        benchmark::RegisterBenchmark(regex ? "SearchLongLine/Expression" : "SearchLongLine/Literal", SearchLongLine,
                                     regex)
            ->Arg(1 << 20)
            ->Arg(2 << 20)
            ->Arg(5 << 20)
            ->Arg(10 << 20)
            ->Complexity(benchmark::oN)
            ->Unit(benchmark::kMillisecond);
    }
    const char *staleNames[] = {"Status/Stale/ReadOnly", "Status/Stale/FirstRead", "Status/Stale/LaterReads"};
    for (int mode = 0; mode < 3; ++mode) {
        benchmark::RegisterBenchmark(staleNames[mode], StaleStatus, mode)
            ->Iterations(5)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    constexpr int queryCount = int(std::size(queries));
    for (int i = 0; i < queryCount; ++i) {
        benchmark::RegisterBenchmark("Search/Ours", Ours)->Arg(i)->UseRealTime()->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("Search/Ripgrep", Ripgrep)->Arg(i)->UseRealTime()->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("Search/GitGrep", GitGrep)->Arg(i)->UseRealTime()->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("Status/CollectStatus", CollectStatus)->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Status/PlainGitStatus", PlainGitStatus)->UseRealTime()->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    scratch = std::make_unique<QTemporaryDir>();
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    scratch.reset();
    return 0;
}
