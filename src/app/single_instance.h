#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace vesk {

// One Vesk per user: a second start hands its paths and URLs to the running one over a local
// socket in a folder only this user can reach, and exits.
//
// A request is a 4-byte big-endian length and a JSON object {"open": [strings]}; the receiver
// answers one byte once it has taken the request. Anything else is dropped without an answer.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(const QStringList &arguments)>;

    static constexpr qsizetype maxRequestBytes = 1 << 20;

    explicit SingleInstance(const QString &socketPath, QObject *parent = nullptr);
    ~SingleInstance() override;

    // The socket of this user's running instance: in $XDG_RUNTIME_DIR when that is a private
    // folder, else in the user's private temporary folder. Empty when neither can be had.
    static QString defaultSocketPath();

    // Gives `arguments` to the instance listening at `socketPath`; true once it has taken them.
    static bool handOff(const QString &socketPath, const QStringList &arguments, int timeoutMs = 3000);

    // Starts taking requests, replacing a socket left behind by an instance that crashed.
    // False when the socket cannot be made or another instance still answers there.
    bool listen(Handler handler);

    static QByteArray encodeRequest(const QStringList &arguments);
    // The arguments of a well-formed request body (without its length prefix).
    static std::optional<QStringList> decodeRequest(const QByteArray &body);

private:
    void accept();
    void readFrom(QLocalSocket *socket);

    QString m_socketPath;
    QLocalServer *m_server = nullptr;
    Handler m_handler;
};

} // namespace vesk
