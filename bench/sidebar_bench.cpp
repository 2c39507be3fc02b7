// The sidebar on large inputs: a refreshed file tree of 50,000 files with 200 folders open, from
// the new tree arriving on the main thread to the repainted view; scrolling that tree by a page;
// and a full list of search hits from arrival to the painted list.

#include "platform/preferences.h"
#include "workspace/app_state.h"
#include "workspace/file_search.h"
#include "workspace/repository_state.h"
#include "workspace/ui/file_tree_model.h"
#include "workspace/ui/file_tree_view.h"
#include "workspace/ui/search_panel_view.h"
#include "workspace/ui/search_results_model.h"
#include "workspace/ui/sidebar_view.h"
#include "widget_bench_main.h"

#include <QApplication>
#include <QImage>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

using namespace vesk;

namespace {

const QString root = QStringLiteral("/bench/repo");

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// `folders` folders of `files` files each, as a refresh builds them.
QList<FileNode> makeTree(int folders, int files)
{
    QList<FileNode> tree;
    for (int d = 0; d < folders; ++d) {
        FileNode folder;
        folder.id = QUuid::createUuid();
        folder.name = QStringLiteral("module%1").arg(d, 3, 10, QLatin1Char('0'));
        folder.path = root + u'/' + folder.name;
        folder.isDirectory = true;
        for (int f = 0; f < files; ++f) {
            FileNode file;
            file.id = QUuid::createUuid();
            file.name = QStringLiteral("source_file_%1.cpp").arg(f, 4, 10, QLatin1Char('0'));
            file.path = folder.path + u'/' + file.name;
            file.gitStatus = f % 37 == 0 ? ChangeStatus::modified : ChangeStatus::unmodified;
            folder.children.append(file);
        }
        tree.append(folder);
    }
    return tree;
}

// Paints `widget` as the screen would, into an image kept between calls.
void paint(QWidget *widget)
{
    static QImage image;
    if (image.size() != widget->size()) {
        image = QImage(widget->size(), QImage::Format_ARGB32_Premultiplied);
    }
    widget->render(&image);
}

struct SidebarSetup
{
    AppState app;
    RepositoryState state{RepositoryTab::forPath(root)};
    SidebarView sidebar{app, state};

    SidebarSetup()
    {
        sidebar.resize(300, 900);
        sidebar.show();
        QCoreApplication::processEvents();
    }
};

// 50,000 files in 250 folders, 200 of them open; each iteration hands over a newly built tree.
void TreeRefresh(benchmark::State &state)
{
    const int files = int(state.range(0));
    const int folders = 250;
    SidebarSetup setup;
    FileTreeView *tree = setup.sidebar.fileTree();
    const QList<FileNode> trees[2] = {makeTree(folders, files / folders), makeTree(folders, files / folders)};
    setup.state.setFileTree(trees[0]);
    tree->applyTree();
    for (int d = 0; d < 200; ++d) {
        tree->setExpanded(trees[0].at(d * folders / 200).path, true);
    }
    tree->treeView()->verticalScrollBar()->setValue(tree->treeView()->verticalScrollBar()->maximum() / 2);
    int turn = 0;
    for (auto _ : state) {
        setup.state.setFileTree(trees[++turn % 2]);
        tree->applyTree();
        paint(tree->treeView()->viewport());
    }
    state.counters["expanded"] = double(tree->expandedDirs().size());
}
BENCHMARK(TreeRefresh)->Arg(50'000)->Unit(benchmark::kMillisecond);

// One page of scrolling through the open 50,000-file tree, painted.
void TreeScroll(benchmark::State &state)
{
    SidebarSetup setup;
    FileTreeView *tree = setup.sidebar.fileTree();
    const QList<FileNode> nodes = makeTree(250, int(state.range(0)) / 250);
    setup.state.setFileTree(nodes);
    tree->applyTree();
    for (int d = 0; d < 200; ++d) {
        tree->setExpanded(nodes.at(d * 250 / 200).path, true);
    }
    QScrollBar *bar = tree->treeView()->verticalScrollBar();
    paint(tree->treeView()->viewport());
    int value = 0;
    for (auto _ : state) {
        value = (value + 40) % bar->maximum();
        bar->setValue(value);
        paint(tree->treeView()->viewport());
    }
}
BENCHMARK(TreeScroll)->Arg(50'000)->Unit(benchmark::kMillisecond);

// A list of 501 hits arriving, to the painted list with its count.
void ShowSearchResults(benchmark::State &state)
{
    SidebarSetup setup;
    setup.sidebar.setSelectedTab(SidebarTab::search);
    SearchPanelView *panel = setup.sidebar.searchPanel();
    QList<SearchResult> lists[2];
    for (QList<SearchResult> &list : lists) {
        for (int i = 0; i < state.range(0); ++i) {
            list.append({QUuid::createUuid(), root + QStringLiteral("/src/module%1/file.cpp").arg(i % 40),
                         QStringLiteral("src/module%1/file.cpp").arg(i % 40), i + 1,
                         QStringLiteral("    const auto needle = haystack.find(needle, %1); // the line").arg(i)});
        }
    }
    int turn = 0;
    for (auto _ : state) {
        panel->resultsModel()->setResults(lists[++turn % 2]);
        panel->resultsView()->doItemsLayout();  // what the view's posted layout does next
        paint(panel->resultsView()->viewport());
    }
    state.counters["rowsPainted"] = panel->resultsView()->viewport()->height() / SearchResultDelegate::rowHeight;
}
BENCHMARK(ShowSearchResults)->Arg(FileSearch::hitLimit)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return vesk::bench::runWidgetBenchmarks(
        argc, argv, [] { Preferences::useFile(scratch().filePath(QStringLiteral("preferences.ini"))); });
}
