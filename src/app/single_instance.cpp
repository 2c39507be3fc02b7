#include "app/single_instance.h"

#include "platform/temp_files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

#include <sys/socket.h>
#include <unistd.h>

namespace vesk {

namespace {

const char acceptedByte = '\x01';
constexpr int requestTimeoutMs = 3000;  // a sender that stalls longer is dropped

// True when the peer of a connected socket runs as this user. The socket's folder already keeps
// others out; this is the second lock where the system can tell.
bool peerIsThisUser(const QLocalSocket *socket)
{
#if defined(SO_PEERCRED)
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                     &credentials, &size) != 0)
        return false;
    return credentials.uid == ::geteuid();
#else
    Q_UNUSED(socket)
    return true;
#endif
}

} // namespace

SingleInstance::SingleInstance(const QString &socketPath, QObject *parent)
    : QObject(parent)
    , m_socketPath(socketPath)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultSocketPath()
{
    const QString name = QStringLiteral("/instance.sock");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        const QString dir = ensurePrivateDirectory(runtime + QStringLiteral("/vesk"));
        if (!dir.isEmpty())
            return dir + name;
    }
    const QString dir = ensurePrivateDirectory(QDir::tempPath() + QStringLiteral("/vesk-")
                                               + QString::number(::geteuid()));
    return dir.isEmpty() ? QString() : dir + name;
}

QByteArray SingleInstance::encodeRequest(const QStringList &arguments)
{
    QJsonObject request;
    request.insert(QStringLiteral("open"), QJsonArray::fromStringList(arguments));
    const QByteArray body = QJsonDocument(request).toJson(QJsonDocument::Compact);
    QByteArray message(4, '\0');
    qToBigEndian(quint32(body.size()), message.data());
    return message + body;
}

std::optional<QStringList> SingleInstance::decodeRequest(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue open = document.object().value(QStringLiteral("open"));
    if (!open.isArray())
        return std::nullopt;
    QStringList arguments;
    for (const QJsonValue &item : open.toArray()) {
        if (!item.isString())
            return std::nullopt;
        arguments.append(item.toString());
    }
    return arguments;
}

bool SingleInstance::handOff(const QString &socketPath, const QStringList &arguments, int timeoutMs)
{
    if (socketPath.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(encodeRequest(arguments));
    QElapsedTimer clock;
    clock.start();
    while (socket.bytesAvailable() < 1) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0 || !socket.waitForReadyRead(left))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == acceptedByte;
}

bool SingleInstance::listen(Handler handler)
{
    if (m_socketPath.isEmpty())
        return false;
    m_handler = std::move(handler);
    // Listening replaces whatever stands at the name, so first make sure no live instance
    // answers there; what is left is a crashed instance's socket.
    QLocalSocket probe;
    probe.connectToServer(m_socketPath);
    if (probe.waitForConnected(500))
        return false;
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsThisUser(socket)) {
            socket->abort();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        // A sender that never finishes its request does not hold a connection open for ever.
        QTimer::singleShot(requestTimeoutMs, socket, [socket] { socket->abort(); });
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < 4)
        return;
    uchar prefix[4];
    socket->peek(reinterpret_cast<char *>(prefix), 4);
    const quint32 length = qFromBigEndian<quint32>(prefix);
    if (length > maxRequestBytes) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < 4 + qint64(length))
        return;
    socket->skip(4);
    const std::optional<QStringList> arguments = decodeRequest(socket->read(length));
    if (!arguments) {
        socket->abort();
        return;
    }
    socket->putChar(acceptedByte);
    socket->flush();
    socket->disconnectFromServer();
    if (m_handler)
        m_handler(*arguments);
}

} // namespace vesk
