#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk::test {

QString writeFile(const QString &dir, const QString &relativePath, const QByteArray &content)
{
    const QString path = QDir(dir).filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qFatal("cannot write fixture %s", qPrintable(path));
    }
    file.write(content);
    file.close();
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

QString writeScript(const QString &dir, const QString &name, const QByteArray &body)
{
    const QString path = writeFile(dir, name, "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                    | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    return path;
}

QByteArray run(const QString &program, const QStringList &arguments, const QString &workingDirectory,
               bool *ok)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    const bool finished = process.waitForStarted(10000) && process.waitForFinished(60000);
    const bool success = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok) {
        *ok = success;
    }
    return process.readAllStandardOutput();
}

ActorResult writeAsOtherUser(const QString &path, const QByteArray &data, const QString &tempDir,
                             qint64 fileSizeLimit)
{
    QStringList arguments{QString::number(otherUserId), QString::number(otherGroupId)};
    if (fileSizeLimit > 0) {
        arguments << QStringLiteral("--file-size-limit") << QString::number(fileSizeLimit);
    }
    arguments << QStringLiteral("write") << path;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), tempDir);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VESK_TEST_ACTOR), arguments);
    process.write(data);
    process.closeWriteChannel();
    ActorResult result;
    if (process.waitForStarted(10000) && process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return result;
}

bool setOwner(const QString &path, unsigned uid, unsigned gid)
{
    return ::lchown(QFile::encodeName(path).constData(), uid_t(uid), gid_t(gid)) == 0;
}

QString ownerOf(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return {};
    }
    return QStringLiteral("%1:%2").arg(st.st_uid).arg(st.st_gid);
}

QByteArray git(const QString &repo, const QStringList &arguments)
{
    bool ok = false;
    QByteArray out = run(QStringLiteral("/usr/bin/git"), arguments, repo, &ok);
    if (!ok) {
        qFatal("git %s failed in %s", qPrintable(arguments.join(QLatin1Char(' '))), qPrintable(repo));
    }
    return out;
}

void initGitRepo(const QString &dir)
{
    QDir().mkpath(dir);
    git(dir, {QStringLiteral("init"), QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("main")});
    git(dir, {QStringLiteral("config"), QStringLiteral("user.name"), QStringLiteral("Vesk Test")});
    git(dir, {QStringLiteral("config"), QStringLiteral("user.email"), QStringLiteral("test@vesk.invalid")});
    git(dir, {QStringLiteral("config"), QStringLiteral("commit.gpgsign"), QStringLiteral("false")});
}

void commitAll(const QString &repo, const QString &message)
{
    git(repo, {QStringLiteral("add"), QStringLiteral("-A")});
    git(repo, {QStringLiteral("commit"), QStringLiteral("-q"), QStringLiteral("--allow-empty"),
               QStringLiteral("-m"), message});
}

QString dataDir()
{
    return QStringLiteral(VESK_TEST_DATA_DIR);
}

bool makeSymlink(const QString &target, const QString &link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

QStringList entryNames(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool setPermissionBits(const QString &path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

int permissionBits(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_previous = limit.rlim_cur;
    limit.rlim_cur = rlim_t(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_previous);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

} // namespace vesk::test
