// Runs one file operation of the program as another (unprivileged) user, for tests that check
// what a user other than root may do: the tests run as root, who may do almost anything.
//
//   vesk_test_actor UID GID [--file-size-limit BYTES] write PATH    (the data on standard input)
//
// Drops to UID and GID (no supplementary groups) before anything else. Prints the error and
// exits 1 when the operation fails, exits 0 when it succeeds, 2 on bad use.

#include "editor/save_failure.h"
#include "platform/atomic_write.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 5) {
        return 2;
    }
    const uid_t uid = uid_t(std::strtoul(argv[1], nullptr, 10));
    const gid_t gid = gid_t(std::strtoul(argv[2], nullptr, 10));
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0 || ::getuid() != uid) {
        std::perror("dropping privileges");
        return 2;
    }
    int next = 3;
    if (QByteArray(argv[next]) == "--file-size-limit" && argc >= next + 4) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(std::strtoull(argv[next + 1], nullptr, 10));
        ::setrlimit(RLIMIT_FSIZE, &limit);
        next += 2;
    }
    if (QByteArray(argv[next]) != "write" || next + 1 >= argc) {
        return 2;
    }
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        return 2;
    }
    const vesk::WriteResult result = vesk::atomicWrite(QFile::decodeName(argv[next + 1]), input.readAll());
    if (!result) {
        // The technical reason, then the sentence the editor would show.
        QTextStream(stdout) << result.error << '\n'
                            << vesk::saveFailureSentence(QFileInfo(QFile::decodeName(argv[next + 1])).fileName(), result);
        return 1;
    }
    return 0;
}
