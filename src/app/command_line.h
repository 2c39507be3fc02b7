#pragma once

#include <QString>
#include <QStringList>

namespace vesk {

// What `vesk` was asked to do on its command line.
struct CommandLine
{
    enum class Action { run, help, version, error };
    Action action = Action::run;
    QStringList items;  // paths and URLs to open, in order
    QString error;      // for Action::error: what was wrong
};

// Reads the arguments after the program name. "-h"/"--help" and "-v"/"--version" win wherever
// they stand; "--" makes everything after it a path, even when it starts with "-"; any other
// argument starting with "-" is an error.
CommandLine parseCommandLine(const QStringList &arguments);

QString usageText();
QString versionText();

} // namespace vesk
