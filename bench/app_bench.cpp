// The application as a whole: starting up into a restored workspace, and switching tabs.

#include "app/main_window.h"
#include "app/repository_view.h"
#include "app/desktop_appearance.h"
#include "app/vesk_app.h"
#include "bench_support.h"
#include "editor/editor_view_model.h"
#include "platform/background.h"
#include "platform/preferences.h"
#include "workspace/app_state.h"
#include "workspace/per_repo_state.h"
#include "workspace/repository_state.h"
#include "widget_bench_main.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace vesk;

namespace {

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

class LightDesktop : public DesktopAppearance
{
public:
    bool isDark() const override { return false; }
};

// A repository of `files` small files in folders of 100, committed, with big.txt of `lines` lines.
QString makeRepository(const QString &name, int files, int lines)
{
    const QString repo = scratch().filePath(name);
    if (QDir(repo).exists()) {
        return repo;
    }
    for (int i = 0; i < files; ++i) {
        const QString dir = repo + QStringLiteral("/d%1").arg(i / 100);
        QDir().mkpath(dir);
        bench::writeOldFile(dir + QStringLiteral("/f%1.txt").arg(i), QByteArray("file ") + QByteArray::number(i) + "\n");
    }
    QByteArray text;
    for (int i = 0; i < lines; ++i) {
        text += "    let value" + QByteArray::number(i) + " = compute(" + QByteArray::number(i) + ");\n";
    }
    bench::writeOldFile(repo + QStringLiteral("/big.txt"), text);
    bench::commitEverything(repo);
    return repo;
}

// The saved workspace of three tabs, each with big.txt open at line 500.
void writeWorkspace(QSettings &settings, const QStringList &repos)
{
    settings.setValue(QStringLiteral("savedRepoPaths"), repos);
    settings.setValue(QStringLiteral("activeRepoPath"), repos.last());
    QVariantMap perRepo;
    for (const QString &repo : repos) {
        PerRepoState state;
        state.openFilePath = repo + QStringLiteral("/big.txt");
        state.cursorLine = 500;
        state.cursorColumn = 4;
        perRepo.insert(repo, state.toStoredText().value_or(QString()));
    }
    settings.setValue(QStringLiteral("perRepoState"), perRepo);
    settings.sync();
}

// From starting the real program to the first frame of its restored workspace (the program
// ends itself right after that frame).
void StartToFirstFrame(benchmark::State &state)
{
    QStringList repos;
    for (int i = 0; i < 3; ++i) {
        repos.append(makeRepository(QStringLiteral("start%1").arg(i), 10'000, 2'000));
    }
    const QString config = scratch().filePath(QStringLiteral("config"));
    QSettings settings(config + QStringLiteral("/Vesk/Vesk.conf"), QSettings::IniFormat);
    writeWorkspace(settings, repos);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("VESK_EXIT_AFTER_FIRST_FRAME"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("DISPLAY"))) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    for (auto _ : state) {
        QProcess vesk;
        vesk.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        vesk.start(QStringLiteral(VESK_BINARY), {});
        if (!vesk.waitForFinished(30'000) || vesk.exitCode() != 0) {
            state.SkipWithError("vesk did not reach its first frame");
            return;
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(StartToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Switching to the next of three tabs, each with a 100,000-line file open, up to the painted
// window.
void SwitchTab(benchmark::State &state)
{
    Preferences::useFile(scratch().filePath(QStringLiteral("switch.ini")));
    LightDesktop desktop;
    VeskApp app(&desktop);
    MainWindow *window = app.mainWindow();
    window->show();
    QElapsedTimer wait;
    wait.start();
    while (!app.state().hasRestored() && wait.elapsed() < 5000) {
        QCoreApplication::processEvents();
    }
    const int tabs = int(state.range(0));
    for (int i = 0; i < tabs; ++i) {
        const QString repo = makeRepository(QStringLiteral("switch%1").arg(i), 100, 100'000);
        app.state().openFileFromFinder(repo + QStringLiteral("/big.txt"));
    }
    waitForBackgroundWork();
    for (int i = 0; i < tabs; ++i) {  // every tab's view made once, as a user who looked at each
        app.state().selectNextTab();
        QCoreApplication::processEvents();
        window->repaint();
    }
    qsizetype next = 0;
    for (auto _ : state) {
        app.state().setActiveTabId(app.state().tabs()[next].id);
        QCoreApplication::sendPostedEvents();
        window->repaint();
        next = (next + 1) % tabs;
    }
    waitForBackgroundWork();
}
BENCHMARK(SwitchTab)->Arg(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return vesk::bench::runWidgetBenchmarks(argc, argv, [] {
        QApplication::setOrganizationName(QStringLiteral("Vesk"));
        QApplication::setApplicationName(QStringLiteral("Vesk"));
    });
}
