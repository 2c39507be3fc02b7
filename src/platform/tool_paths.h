#pragma once

#include <QString>

namespace vesk {

// The external programs the editor runs. Their locations live here only, so a test can point
// one of them at a stand-in script (a tool that fails, one that hangs).
enum class Tool { Git, Diff, Zip, Unzip };

// The path to run for `tool`: "/usr/bin/git", "/usr/bin/diff", "/usr/bin/zip", "/usr/bin/unzip"
// unless overridden. Safe to call from any thread.
QString toolPath(Tool tool);

// Replaces the path of `tool` (an empty path restores the default). Meant for tests.
void setToolPath(Tool tool, const QString &path);

// Restores every default path.
void resetToolPaths();

} // namespace vesk
