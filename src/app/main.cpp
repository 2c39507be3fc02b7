#include "app/about_panel.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/open_request.h"
#include "app/single_instance.h"
#include "app/vesk_app.h"
#include "editor/ui/editor_canvas_view.h"
#include "platform/preferences.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyleFactory>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

// The start-up benchmark measures from the start of the process to the first frame of the
// restored workspace: with VESK_EXIT_AFTER_FIRST_FRAME set, the program ends as soon as an
// editor has painted its text.
class FirstFrameExit : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && qobject_cast<vesk::EditorCanvasView *>(watched)) {
            QTimer::singleShot(0, [] { ::_exit(0); });
        }
        return false;
    }
};

// --help and --version answer without a display, so they are looked at before the application
// (which needs one) is made.
std::optional<int> answerWithoutWindow(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const vesk::CommandLine line = vesk::parseCommandLine(arguments);
    if (line.action == vesk::CommandLine::Action::help) {
        std::fputs(qPrintable(vesk::usageText()), stdout);
        return 0;
    }
    if (line.action == vesk::CommandLine::Action::version) {
        std::fputs(qPrintable(vesk::versionText()), stdout);
        return 0;
    }
    return std::nullopt;
}

// Paths made absolute here, since the instance that opens them runs in another folder.
QStringList absoluteItems(const QStringList &items)
{
    QStringList absolute;
    for (const QString &item : items) {
        const bool isUrl = item.startsWith(QLatin1String("vesk:"), Qt::CaseInsensitive)
            || item.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) || item.contains(QLatin1String("://"));
        absolute.append(isUrl ? item : QDir::current().absoluteFilePath(item));
    }
    return absolute;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerWithoutWindow(argc, argv)) {
        return *status;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setOrganizationName(QStringLiteral("Vesk"));
    QApplication::setOrganizationDomain(QStringLiteral("vesk.dev"));
    QApplication::setApplicationVersion(vesk::applicationVersion());
    QApplication::setDesktopFileName(QStringLiteral("vesk"));
#ifndef Q_OS_MACOS
    // The palettes of the light and dark appearance are drawn by Fusion the same on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
#endif

    // Qt has taken its own options (-platform, -style, ...) out by now.
    const vesk::CommandLine line = vesk::parseCommandLine(QApplication::arguments().mid(1));
    if (line.action == vesk::CommandLine::Action::error) {
        QTextStream(stderr) << "vesk: " << line.error << "\n" << vesk::usageText();
        return 2;
    }
    for (const QString &item : line.items) {
        if (!item.contains(u':') && !QFileInfo::exists(item)) {
            QTextStream(stderr) << "vesk: " << item << ": no such file or folder\n";
        }
    }

    // A Vesk already running takes the request and comes to the front; this one ends.
    const QString socketPath = vesk::SingleInstance::defaultSocketPath();
    const QStringList request = absoluteItems(line.items);
    if (vesk::SingleInstance::handOff(socketPath, request)) {
        return 0;
    }

    if (qEnvironmentVariableIsSet("VESK_EXIT_AFTER_FIRST_FRAME")) {
        application.installEventFilter(new FirstFrameExit(&application));
    }
    vesk::VeskApp app;
    vesk::handleOpenRequest(app.state(), line.items);
    vesk::SingleInstance instance(socketPath);
    instance.listen([&app](const QStringList &items) {
        vesk::handleOpenRequest(app.state(), items, QDir::rootPath());
        vesk::MainWindow *window = app.mainWindow();
        window->showNormal();
        window->raise();
        window->activateWindow();
    });
    app.mainWindow()->show();
    const int status = QApplication::exec();

    // Everything was saved on the way out (aboutToQuit). Tearing down the workspace node by node
    // (a large file's text tree, every tab's models) would only delay the exit the user asked for.
    vesk::Preferences::instance().sync();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(status);
}
