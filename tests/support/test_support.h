#pragma once

// Fixtures shared by the tests: real files, real git repositories, stand-in tool scripts.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vesk::test {

// Writes `content` to dir/relativePath, creating parent folders. Fails the test on error.
QString writeFile(const QString &dir, const QString &relativePath, const QByteArray &content);

QByteArray readFile(const QString &path);

// Writes an executable shell script (a stand-in for an external tool) and returns its path.
QString writeScript(const QString &dir, const QString &name, const QByteArray &body);

// Runs a program to completion; returns its standard output. `ok` is false when it could not
// start or exited with a non-zero status.
QByteArray run(const QString &program, const QStringList &arguments, const QString &workingDirectory,
               bool *ok = nullptr);

// Runs /usr/bin/git in `repo`; fails the test when git fails.
QByteArray git(const QString &repo, const QStringList &arguments);

// Makes `dir` a git repository with a test identity and an initial branch named "main".
void initGitRepo(const QString &dir);

// Stages everything in `repo` and commits it.
void commitAll(const QString &repo, const QString &message = QStringLiteral("commit"));

// Directory holding the checked-in fixture files.
QString dataDir();

} // namespace vesk::test
