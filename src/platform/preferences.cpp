#include "platform/preferences.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QThread>

#include <cmath>
#include <limits>
#include <optional>

namespace vesk {

namespace {

bool isInteger(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

bool isFloatingPoint(const QVariant &value)
{
    return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

bool isString(const QVariant &value)
{
    return value.typeId() == QMetaType::QString;
}

std::optional<QVariant> toInteger(const QVariant &value)
{
    bool ok = false;
    qint64 number = 0;
    if (isInteger(value)) {
        number = value.toLongLong(&ok);
    } else if (isFloatingPoint(value)) {
        const double d = value.toDouble();
        constexpr double limit = 9.2e18;  // inside qint64 with room to spare
        ok = std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < limit;
        number = ok ? qint64(d) : 0;
    } else if (isString(value)) {
        number = value.toString().toLongLong(&ok);
    }
    return ok ? std::optional<QVariant>(number) : std::nullopt;
}

std::optional<QVariant> toDouble(const QVariant &value)
{
    if (isInteger(value) || isFloatingPoint(value)) {
        return QVariant(value.toDouble());
    }
    bool ok = false;
    const double number = isString(value) ? value.toString().toDouble(&ok) : 0.0;
    return ok ? std::optional<QVariant>(number) : std::nullopt;
}

std::optional<QVariant> toBool(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool) {
        return value;
    }
    if (isInteger(value) && (value.toLongLong() == 0 || value.toLongLong() == 1)) {
        return QVariant(value.toLongLong() == 1);
    }
    if (isString(value)) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1")) {
            return QVariant(true);
        }
        if (text == QLatin1String("false") || text == QLatin1String("0")) {
            return QVariant(false);
        }
    }
    return std::nullopt;
}

std::optional<QVariant> toText(const QVariant &value)
{
    if (isString(value) || isInteger(value) || isFloatingPoint(value) || value.typeId() == QMetaType::Bool) {
        return QVariant(value.toString());
    }
    return std::nullopt;
}

std::optional<QVariant> toStringList(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList) {
        return value;
    }
    if (isString(value)) {
        return QVariant(QStringList{value.toString()});  // an INI file stores a one-item list as its item
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QStringList list;
        for (const QVariant &item : value.toList()) {
            if (!isString(item)) {
                return std::nullopt;
            }
            list.append(item.toString());
        }
        return QVariant(list);
    }
    return std::nullopt;
}

std::optional<QVariant> convertCleanly(const QVariant &value, QMetaType::Type type)
{
    switch (type) {
    case QMetaType::Bool:
        return toBool(value);
    case QMetaType::LongLong:
        return toInteger(value);
    case QMetaType::Double:
        return toDouble(value);
    case QMetaType::QString:
        return toText(value);
    case QMetaType::QStringList:
        return toStringList(value);
    default:
        return value.typeId() == type ? std::optional<QVariant>(value) : std::nullopt;
    }
}

// QSettings flushes itself from an event on its own thread; that must be a thread that lives.
void moveToMainThread(QObject *object)
{
    if (QCoreApplication *app = QCoreApplication::instance()) {
        object->moveToThread(app->thread());
    }
}

std::unique_ptr<QSettings> openSettings(const QString &path)
{
    auto settings = path.isEmpty() ? std::make_unique<QSettings>()
                                   : std::make_unique<QSettings>(path, QSettings::IniFormat);
    moveToMainThread(settings.get());
    return settings;
}

} // namespace

Preferences::Preferences()
    : m_settings(openSettings(QString()))
{
    moveToMainThread(this);
}

Preferences &Preferences::instance()
{
    static Preferences preferences;
    return preferences;
}

void Preferences::useFile(const QString &path)
{
    Preferences &preferences = instance();
    QMutexLocker locker(&preferences.m_mutex);
    preferences.m_settings->sync();
    preferences.m_settings = openSettings(path);
}

void Preferences::registerDefaults(const QVariantMap &defaults)
{
    QMutexLocker locker(&m_mutex);
    m_defaults.insert(defaults);
}

bool Preferences::contains(const QString &key) const
{
    QMutexLocker locker(&m_mutex);
    return m_settings->contains(key);
}

QVariant Preferences::value(const QString &key) const
{
    QMutexLocker locker(&m_mutex);
    if (m_settings->contains(key)) {
        return m_settings->value(key);
    }
    return m_defaults.value(key);
}

QVariant Preferences::typedValue(const QString &key, QMetaType::Type type) const
{
    QMutexLocker locker(&m_mutex);
    const QVariant stored = m_settings->value(key);
    if (type == QMetaType::QStringList && !stored.isValid() && m_settings->contains(key)) {
        return QStringList();  // how an INI file keeps an empty list
    }
    for (const QVariant &candidate : {stored, m_defaults.value(key)}) {
        if (!candidate.isValid()) {
            continue;
        }
        if (std::optional<QVariant> converted = convertCleanly(candidate, type)) {
            return *converted;
        }
    }
    return QVariant(QMetaType(type));
}

bool Preferences::boolValue(const QString &key) const
{
    return typedValue(key, QMetaType::Bool).toBool();
}

qint64 Preferences::intValue(const QString &key) const
{
    return typedValue(key, QMetaType::LongLong).toLongLong();
}

double Preferences::doubleValue(const QString &key) const
{
    return typedValue(key, QMetaType::Double).toDouble();
}

QString Preferences::stringValue(const QString &key) const
{
    return typedValue(key, QMetaType::QString).toString();
}

QStringList Preferences::stringListValue(const QString &key) const
{
    return typedValue(key, QMetaType::QStringList).toStringList();
}

QByteArray Preferences::bytesValue(const QString &key) const
{
    return typedValue(key, QMetaType::QByteArray).toByteArray();
}

void Preferences::setValue(const QString &key, const QVariant &value)
{
    {
        QMutexLocker locker(&m_mutex);
        m_settings->setValue(key, value);
    }
    announce(key);
}

void Preferences::remove(const QString &key)
{
    {
        QMutexLocker locker(&m_mutex);
        m_settings->remove(key);
    }
    announce(key);
}

void Preferences::sync()
{
    QMutexLocker locker(&m_mutex);
    m_settings->sync();
}

void Preferences::announce(const QString &key)
{
    if (QThread::currentThread() == thread()) {
        Q_EMIT changed(key);
        return;
    }
    QMetaObject::invokeMethod(this, [this, key] { Q_EMIT changed(key); }, Qt::QueuedConnection);
}

} // namespace vesk
