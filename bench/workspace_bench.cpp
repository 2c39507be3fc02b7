// A repository tab's refresh (git status and the whole file tree, until the tree is handed back
// to the main thread) against plain `git status --porcelain` followed by `find` over the same
// tree, measured in the same run. The parts of ours are measured on their own as well.
//
// The tree: 50,000 files in 5,000 folders (50 top-level folders of 99 subfolders each, 10 files
// per folder), committed, then 500 files changed. Files are dated a minute back so that no
// contender meets racily clean index entries.
//
// Run with --benchmark_enable_random_interleaving=true --benchmark_repetitions=N so that the
// contenders take turns and share whatever else the machine is doing.

#include "platform/background.h"
#include "platform/file_time.h"
#include "platform/process_runner.h"
#include "workspace/file_node.h"
#include "workspace/git_manager.h"
#include "workspace/repository_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "bench_support.h"

#include <memory>

using namespace vesk;
using namespace vesk::bench;

namespace {

std::unique_ptr<QTemporaryDir> scratch;

qsizetype countNodes(const QList<FileNode> &nodes)
{
    qsizetype count = nodes.size();
    for (const FileNode &node : nodes) {
        count += countNodes(node.children);
    }
    return count;
}

const QString &treeRepo()
{
    static const QString repo = [] {
        const QString root = scratch->filePath(QStringLiteral("tree"));
        QStringList folders;
        for (int top = 0; top < 50; ++top) {
            const QString topFolder = QStringLiteral("%1/Module%2").arg(root).arg(top);
            folders.append(topFolder);
            for (int sub = 0; sub < 99; ++sub) {
                folders.append(QStringLiteral("%1/part_%2").arg(topFolder).arg(sub));
            }
        }
        for (const QString &folder : std::as_const(folders)) {
            QDir().mkpath(folder);
            for (int f = 0; f < 10; ++f) {
                writeOldFile(QStringLiteral("%1/File%2.txt").arg(folder).arg(f), folder.toUtf8() + "\n");
            }
        }
        commitEverything(root);
        for (qsizetype i = 0; i < folders.size(); i += 10) {
            writeOldFile(folders[i] + "/File3.txt", "changed\n");
        }
        runOk("/usr/bin/git", {"status", "--porcelain"}, root);  // settles the index
        return root;
    }();
    return repo;
}

void RefreshTree(benchmark::State &state)
{
    const QString &repo = treeRepo();
    RepositoryState repository(RepositoryTab::forPath(repo));
    for (auto _ : state) {
        repository.refresh();
        waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();  // the hand-back to the main thread
    }
    state.counters["nodes"] = double(countNodes(repository.fileTree()));
    state.counters["changes"] = double(repository.git()->statusEntries().size());
}

void PlainStatusAndFind(benchmark::State &state)
{
    const QString &repo = treeRepo();
    qsizetype bytes = 0;
    for (auto _ : state) {
        const auto status = run("/usr/bin/git", {"status", "--porcelain"}, repo);
        const auto find = run("/usr/bin/find", {repo, "-not", "-path", "*/.git/*"}, repo);
        bytes = status && find ? status->standardOutput.size() + find->standardOutput.size() : -1;
    }
    state.counters["output"] = double(bytes);
}

void CollectStatus(benchmark::State &state)
{
    const QString &repo = treeRepo();
    for (auto _ : state) {
        benchmark::DoNotOptimize(GitManager::collectStatus(repo));
    }
}

void BuildFileTree(benchmark::State &state)
{
    const QString &repo = treeRepo();
    const QList<GitStatusEntry> entries = GitManager::collectStatus(repo).entries;
    for (auto _ : state) {
        benchmark::DoNotOptimize(buildFileTree(repo, repo, entries, false, 0));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    scratch = std::make_unique<QTemporaryDir>();
    const auto add = [](const char *name, void (*function)(benchmark::State &)) {
        benchmark::RegisterBenchmark(name, function)->UseRealTime()->Unit(benchmark::kMillisecond);
    };
    add("RefreshTree/50000", RefreshTree);
    add("RefreshTree/PlainStatusAndFind", PlainStatusAndFind);
    add("RefreshTree/CollectStatusOnly", CollectStatus);
    add("RefreshTree/BuildFileTreeOnly", BuildFileTree);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    scratch.reset();
    return 0;
}
