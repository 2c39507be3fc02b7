#pragma once

#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>

namespace vesk {

// The per-user preferences store: QSettings in the native format (the user defaults store on
// macOS), typed access with registered defaults, and a change signal for every write.
// Lives on the main thread; reads and writes are safe from any thread. A value of the wrong type
// (one that does not convert cleanly, such as "abc" read as a number) reads as the registered
// default, or as the type's zero value when there is none.
class Preferences : public QObject
{
    Q_OBJECT

public:
    // The process-wide store.
    static Preferences &instance();

    // Makes instance() use a private INI file instead of the user's store (tests), or the user's
    // store again when `path` is empty. Registered defaults are kept.
    static void useFile(const QString &path);

    // Values returned for keys that hold nothing (or something of the wrong type).
    void registerDefaults(const QVariantMap &defaults);

    bool contains(const QString &key) const;
    QVariant value(const QString &key) const;  // the stored value, else the default, else invalid

    bool boolValue(const QString &key) const;
    qint64 intValue(const QString &key) const;
    double doubleValue(const QString &key) const;
    QString stringValue(const QString &key) const;
    QStringList stringListValue(const QString &key) const;
    QByteArray bytesValue(const QString &key) const;

    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

    // Writes pending changes to permanent storage.
    void sync();

Q_SIGNALS:
    // Sent on the main thread after every setValue or remove.
    void changed(const QString &key);

private:
    Preferences();
    QVariant typedValue(const QString &key, QMetaType::Type type) const;
    void announce(const QString &key);

    mutable QMutex m_mutex;  // QSettings may not be shared between threads unguarded
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_defaults;
};

} // namespace vesk
