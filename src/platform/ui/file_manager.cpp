#include "platform/ui/file_manager.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <utility>

#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace vesk {

namespace {

RevealHandler &revealHook()
{
    static RevealHandler hook;
    return hook;
}

ShowItemsCall &showItemsHook()
{
    static ShowItemsCall hook;
    return hook;
}

void openContainingFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
// A file manager that is not running is started by the bus; that can take a moment, but an
// answer that takes longer than this is not coming.
constexpr int showItemsTimeoutMs = 5000;

void showItemsOverDBus(const QStringList &uris, std::function<void(bool)> done)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        done(false);
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    message << uris << QString();  // no startup notification id
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, showItemsTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [done = std::move(done)](QDBusPendingCallWatcher *call) {
                         done(!call->isError());
                         call->deleteLater();
                     });
}
#endif

void systemReveal(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    const ShowItemsCall call = showItemsHook() ? showItemsHook() : ShowItemsCall(showItemsOverDBus);
    call({QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded)}, [absolute](bool shown) {
        if (!shown) {
            openContainingFolder(absolute);
        }
    });
#else
    // macOS selects the item in Finder through NSWorkspace; until that lands the folder opens.
    openContainingFolder(absolute);
#endif
}

} // namespace

void revealInFileManager(const QString &path)
{
    if (revealHook()) {
        revealHook()(path);
        return;
    }
    systemReveal(path);
}

QString revealInFileManagerTitle()
{
#if defined(Q_OS_MACOS)
    return QStringLiteral("Reveal in Finder");
#else
    return QStringLiteral("Show in File Manager");
#endif
}

RevealHandler setRevealHandler(RevealHandler handler)
{
    return std::exchange(revealHook(), std::move(handler));
}

ShowItemsCall setShowItemsCall(ShowItemsCall call)
{
    return std::exchange(showItemsHook(), std::move(call));
}

} // namespace vesk
