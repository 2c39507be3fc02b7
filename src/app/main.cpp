#include "app/main_window.h"
#include "editor/text_file.h"
#include "editor/ui/standalone_editor_window.h"
#include "platform/preferences.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesk"));
    QApplication::setOrganizationName(QStringLiteral("Vesk"));
    QApplication::setOrganizationDomain(QStringLiteral("vesk.dev"));
    vesk::Preferences::instance().registerDefaults({
        {QStringLiteral("showWhitespace"), true},
        {QStringLiteral("syntaxHighlighting"), true},
        {QStringLiteral("tabWidth"), 4},
        {QStringLiteral("showDotFiles"), false},
    });

    // `vesk FILE` edits FILE in a window of its own.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString path = arguments.at(1);
        if (!vesk::openFileInNewWindow(path)) {
            QTextStream(stderr) << "vesk: " << vesk::readTextFile(path).error << "\n";
            return 1;
        }
        return app.exec();
    }

    vesk::MainWindow window;
    window.show();
    return app.exec();
}
