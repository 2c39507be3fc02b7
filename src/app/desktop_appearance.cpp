#include "app/desktop_appearance.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

#ifdef VESK_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#endif

namespace vesk {

namespace {

#ifdef VESK_HAVE_DBUS
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");
// The portal answers in a few milliseconds; a desktop without one must not hold up the start.
constexpr int portalTimeoutMs = 250;

// Unwraps the variants the portal nests its answer in.
std::optional<uint> colorSchemeFromReply(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    return ok ? std::optional<uint>(scheme) : std::nullopt;
}

std::optional<uint> portalColorScheme()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    // ReadOne is the current method; older portals only have Read, which wraps once more.
    for (const QString &method : {QStringLiteral("ReadOne"), QStringLiteral("Read")}) {
        QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, method);
        call << appearanceNamespace << colorSchemeKey;
        const QDBusMessage reply = bus.call(call, QDBus::Block, portalTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            return colorSchemeFromReply(reply.arguments().constFirst());
        }
        if (reply.errorName() != u"org.freedesktop.DBus.Error.UnknownMethod") {
            return std::nullopt;
        }
    }
    return std::nullopt;
}
#endif

std::optional<bool> gtkSettingsFileDark()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const QString &version : {QStringLiteral("gtk-4.0"), QStringLiteral("gtk-3.0")}) {
        QFile file(QDir(config).filePath(version + QStringLiteral("/settings.ini")));
        if (file.open(QIODevice::ReadOnly) && file.size() < 1024 * 1024) {
            if (const std::optional<bool> dark = SystemDesktopAppearance::darkFromGtkSettings(
                    QString::fromUtf8(file.readAll()))) {
                return dark;
            }
        }
    }
    return std::nullopt;
}

} // namespace

SystemDesktopAppearance::SystemDesktopAppearance(QObject *parent)
    : DesktopAppearance(parent)
    , m_dark(readDark())
{
#ifdef VESK_HAVE_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                    SLOT(recheck()));
    }
#endif
}

std::optional<bool> SystemDesktopAppearance::darkFromColorScheme(uint value)
{
    if (value == 1) {
        return true;
    }
    if (value == 2) {
        return false;
    }
    return std::nullopt;
}

bool SystemDesktopAppearance::isDarkThemeName(const QString &name)
{
    return name.contains(QStringLiteral("dark"), Qt::CaseInsensitive);
}

std::optional<bool> SystemDesktopAppearance::darkFromGtkSettings(const QString &iniText)
{
    static const QRegularExpression entry(QStringLiteral(R"(^\s*([\w-]+)\s*=\s*(.*?)\s*$)"),
                                          QRegularExpression::MultilineOption);
    std::optional<bool> dark;
    for (auto it = entry.globalMatch(iniText); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString key = match.captured(1);
        const QString value = match.captured(2);
        if (key == u"gtk-application-prefer-dark-theme") {
            if (value == u"1" || value.compare(u"true", Qt::CaseInsensitive) == 0) {
                return true;
            }
            dark = dark.value_or(false);
        } else if (key == u"gtk-theme-name") {
            if (isDarkThemeName(value)) {
                return true;
            }
            dark = false;
        }
    }
    return dark;
}

bool SystemDesktopAppearance::readDark() const
{
#if defined(Q_OS_MACOS)
    // The global AppleInterfaceStyle ("Dark" when dark, absent when light) belongs here once it
    // can be read and tried on a Mac; until then the Mac counts as light.
    return false;
#else
#ifdef VESK_HAVE_DBUS
    if (const std::optional<uint> scheme = portalColorScheme()) {
        if (const std::optional<bool> dark = darkFromColorScheme(*scheme)) {
            return *dark;
        }
    }
#endif
    const QString gtkTheme = qEnvironmentVariable("GTK_THEME");
    if (!gtkTheme.isEmpty()) {
        return isDarkThemeName(gtkTheme);
    }
    return gtkSettingsFileDark().value_or(false);
#endif
}

void SystemDesktopAppearance::recheck()
{
    const bool dark = readDark();
    if (dark != m_dark) {
        m_dark = dark;
        Q_EMIT changed();
    }
}

} // namespace vesk
