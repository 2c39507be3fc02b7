#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace vesk {

// Whether the desktop is in its dark appearance: the one place that asks the system, so a test
// can put its own answer in. A desktop that says nothing counts as light.
class DesktopAppearance : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isDark() const = 0;

Q_SIGNALS:
    // The desktop switched between light and dark.
    void changed();
};

// The real desktop. Linux: the freedesktop settings portal's `org.freedesktop.appearance`
// `color-scheme` over D-Bus, watched for changes; when it states no preference, the GTK theme
// (GTK_THEME, then the gtk-4.0 and gtk-3.0 settings.ini) decides. macOS: AppleInterfaceStyle.
class SystemDesktopAppearance : public DesktopAppearance
{
    Q_OBJECT

public:
    explicit SystemDesktopAppearance(QObject *parent = nullptr);

    bool isDark() const override { return m_dark; }

    // The portal's color-scheme value: 1 prefers dark, 2 prefers light, 0 (or anything else)
    // states no preference.
    static std::optional<bool> darkFromColorScheme(uint value);
    // A GTK theme name such as "Adwaita-dark" or "Adwaita:dark".
    static bool isDarkThemeName(const QString &name);
    // What a GTK settings.ini says: a dark theme name or gtk-application-prefer-dark-theme.
    static std::optional<bool> darkFromGtkSettings(const QString &iniText);

private Q_SLOTS:
    void recheck();

private:
    bool readDark() const;

    bool m_dark = false;
};

} // namespace vesk
