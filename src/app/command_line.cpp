#include "app/command_line.h"

#include "app/about_panel.h"

namespace vesk {

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    bool optionsEnded = false;
    for (const QString &argument : arguments) {
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            result.items.append(argument);
        } else if (argument == u"--") {
            optionsEnded = true;
        } else if (argument == u"-h" || argument == u"--help") {
            return {CommandLine::Action::help, {}, {}};
        } else if (argument == u"-v" || argument == u"--version") {
            return {CommandLine::Action::version, {}, {}};
        } else if (result.error.isEmpty()) {
            result.error = QStringLiteral("unknown option \u2018%1\u2019").arg(argument);
        }
    }
    if (!result.error.isEmpty()) {
        result.action = CommandLine::Action::error;
        result.items.clear();
    }
    return result;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: vesk [OPTION]... [PATH|URL]...\n"
        "Opens each folder as a repository tab, and each file in the tab of its repository\n"
        "(or of its folder when it lies in none). A file that does not exist yet opens empty\n"
        "and is made by the first save. Without a path, the last workspace reopens.\n"
        "\n"
        "  vesk://open?file=PATH&line=N   opens PATH with the caret on line N\n"
        "  file:///PATH                   opens PATH\n"
        "\n"
        "  -h, --help      show this help and exit\n"
        "  -v, --version   show the version and exit\n"
        "  --              treat every later argument as a path\n");
}

QString versionText()
{
    return QStringLiteral("Vesk %1\n").arg(applicationVersion());
}

} // namespace vesk
