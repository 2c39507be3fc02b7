#include "app/single_instance.h"

#include <QCoreApplication>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vesk;

namespace {

// Run as `tst_single_instance --hand-off SOCKET ARG...`, the program is a second Vesk start:
// it hands its arguments over and exits 0 when they were taken, 1 otherwise.
int handOffMain(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(2);
    const QString socket = arguments.takeFirst();
    return SingleInstance::handOff(socket, arguments) ? 0 : 1;
}

QByteArray framed(const QByteArray &body)
{
    QByteArray message(4, '\0');
    qToBigEndian(quint32(body.size()), message.data());
    return message + body;
}

// Leaves a socket file with nothing listening behind it, as a crashed instance does.
bool makeStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    qstrncpy(address.sun_path, native.constData(), sizeof address.sun_path);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodeRequest_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("wellFormed");
        QTest::addColumn<QStringList>("arguments");
        QTest::addRow("paths and a url") << QByteArray("{\"open\":[\"/a b/c.txt\",\"vesk://open?file=/x&line=3\"]}")
                                         << true << QStringList{"/a b/c.txt", "vesk://open?file=/x&line=3"};
        QTest::addRow("nothing to open") << QByteArray("{\"open\":[]}") << true << QStringList{};
        QTest::addRow("not json") << QByteArray("open /etc/passwd") << false << QStringList{};
        QTest::addRow("array at top") << QByteArray("[\"/a\"]") << false << QStringList{};
        QTest::addRow("no open item") << QByteArray("{\"paths\":[\"/a\"]}") << false << QStringList{};
        QTest::addRow("open not a list") << QByteArray("{\"open\":\"/a\"}") << false << QStringList{};
        QTest::addRow("number in the list") << QByteArray("{\"open\":[\"/a\",3]}") << false << QStringList{};
        QTest::addRow("truncated") << QByteArray("{\"open\":[\"/a\"") << false << QStringList{};
        QTest::addRow("empty") << QByteArray() << false << QStringList{};
    }

    void decodeRequest()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, wellFormed);
        QFETCH(QStringList, arguments);
        const std::optional<QStringList> decoded = SingleInstance::decodeRequest(body);
        QCOMPARE(decoded.has_value(), wellFormed);
        if (wellFormed)
            QCOMPARE(*decoded, arguments);
    }

    void roundTripThroughEncoding()
    {
        const QStringList arguments{"/tmp/ä ö/ü.txt", "", "\"quoted\"\n", QString(3000, QChar(0x4e2d))};
        const QByteArray message = SingleInstance::encodeRequest(arguments);
        QCOMPARE(qFromBigEndian<quint32>(message.constData()), quint32(message.size() - 4));
        QCOMPARE(SingleInstance::decodeRequest(message.mid(4)).value(), arguments);
    }

    void secondProcessHandsOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("instance.sock"));
        SingleInstance first(path);
        QStringList received;
        QVERIFY(first.listen([&](const QStringList &arguments) { received = arguments; }));
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup), 0);

        QProcess second;
        second.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--hand-off"), path, QStringLiteral("/repo/file.c"),
                      QStringLiteral("vesk://open?file=/repo/file.c&line=7")});
        QVERIFY(second.waitForStarted());
        QTRY_COMPARE(received, (QStringList{"/repo/file.c", "vesk://open?file=/repo/file.c&line=7"}));
        QTRY_COMPARE(second.state(), QProcess::NotRunning);
        QCOMPARE(second.exitCode(), 0);
    }

    void noRunningInstanceMeansNoHandOff()
    {
        QTemporaryDir dir;
        QVERIFY(!SingleInstance::handOff(dir.filePath(QStringLiteral("none.sock")), {"/a"}, 500));
        QVERIFY(!SingleInstance::handOff(QString(), {"/a"}, 500));
    }

    void staleSocketIsReplaced()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("instance.sock"));
        QVERIFY(makeStaleSocket(path));
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(!SingleInstance::handOff(path, {"/a"}, 500));

        SingleInstance instance(path);
        QStringList received;
        QVERIFY(instance.listen([&](const QStringList &arguments) { received = arguments; }));
        QProcess second;
        second.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hand-off"), path, "/b"});
        QTRY_COMPARE(received, QStringList{"/b"});
        QTRY_COMPARE(second.state(), QProcess::NotRunning);
        QCOMPARE(second.exitCode(), 0);
    }

    void liveInstanceIsNotTakenOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("instance.sock"));
        SingleInstance first(path);
        QVERIFY(first.listen([](const QStringList &) {}));
        SingleInstance second(path);
        QVERIFY(!second.listen([](const QStringList &) {}));
    }

    void malformedRequestsAreDropped_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addRow("garbage body") << framed("not a request");
        QTest::addRow("wrong shape") << framed("{\"open\":[1,2]}");
        QTest::addRow("length beyond the limit") << QByteArray("\x7f\xff\xff\xff", 4) + QByteArray(64, 'x');
    }

    void malformedRequestsAreDropped()
    {
        QFETCH(QByteArray, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("instance.sock"));
        SingleInstance instance(path);
        int calls = 0;
        QStringList received;
        QVERIFY(instance.listen([&](const QStringList &arguments) {
            ++calls;
            received = arguments;
        }));

        QLocalSocket hostile;
        hostile.connectToServer(path);
        QVERIFY(hostile.waitForConnected(2000));
        hostile.write(message);
        QTRY_COMPARE(hostile.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(hostile.bytesAvailable(), 0);  // no acceptance byte
        QCOMPARE(calls, 0);

        // The instance still serves a proper request afterwards.
        QProcess second;
        second.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hand-off"), path, "/ok"});
        QTRY_COMPARE(received, QStringList{"/ok"});
        QTRY_COMPARE(second.state(), QProcess::NotRunning);
        QCOMPARE(calls, 1);
    }

    void defaultSocketIsInAPrivateFolder()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        const QString path = SingleInstance::defaultSocketPath();
        qunsetenv("XDG_RUNTIME_DIR");
        QVERIFY(path.startsWith(runtime.path()));
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(QFileInfo(path).path()).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        QCOMPARE(st.st_uid, ::geteuid());
    }
};

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--hand-off") == 0)
        return handOffMain(argc, argv);
    QCoreApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_single_instance.moc"
