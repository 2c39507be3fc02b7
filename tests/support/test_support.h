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

// Makes a symbolic link at `link` holding `target`; false when that fails.
bool makeSymlink(const QString &target, const QString &link);

// Every name in `dir` (hidden ones and links too), sorted.
QStringList entryNames(const QString &dir);

// chmod: false when that fails.
bool setPermissionBits(const QString &path, int mode);

// The permission bits of `path` itself (a link is not followed); -1 when nothing is there.
int permissionBits(const QString &path);

// The unprivileged account ("nobody") the tests act as when they check what a user other than
// root may do.
inline constexpr unsigned otherUserId = 65534;
inline constexpr unsigned otherGroupId = 65534;

// What the test actor (tests/support/test_actor.cpp) reported.
struct ActorResult
{
    int exitCode = -1;  // 0: the operation succeeded; 1: it failed (output says why); else: bad use
    QString output;
};

// Writes `data` to `path` with atomicWrite as the other user, in a child process that drops
// root's privileges first. `tempDir` is its private temporary directory (it must belong to the
// other user); `fileSizeLimit` (when > 0) makes writes past it fail as on a full disk.
ActorResult writeAsOtherUser(const QString &path, const QByteArray &data, const QString &tempDir,
                             qint64 fileSizeLimit = 0);

// chown: false when that fails.
bool setOwner(const QString &path, unsigned uid, unsigned gid);

// The owner and group of `path` itself as "uid:gid"; empty when nothing is there.
QString ownerOf(const QString &path);

// While it lives, a write past `bytes` fails with EFBIG instead of raising SIGXFSZ, even for root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    Q_DISABLE_COPY_MOVE(FileSizeLimit)

private:
    quint64 m_previous = 0;
};

} // namespace vesk::test
