#pragma once

#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QString>

#include <optional>

namespace vesk {

class DesktopAppearance;

enum class ColorScheme { light, dark };

namespace Appearance {

inline const QString settingKey = QStringLiteral("appearance");

// The scheme "light" and "dark" force, "opposite" turns the desktop's round, and anything else
// ("system", unknown values) leaves to the desktop: nothing.
std::optional<ColorScheme> forcedScheme(const QString &setting, bool desktopIsDark);
// The scheme the windows show.
ColorScheme effectiveScheme(const QString &setting, bool desktopIsDark);

QPalette palette(ColorScheme scheme);

} // namespace Appearance

// Keeps the whole application in the scheme the `appearance` setting asks for: at start, when
// the setting changes and when the desktop switches between light and dark.
class AppearanceController : public QObject
{
    Q_OBJECT

public:
    // `desktop` is the seam that says whether the desktop is dark; it must outlive this object.
    explicit AppearanceController(DesktopAppearance *desktop, QObject *parent = nullptr);

    ColorScheme scheme() const { return m_scheme; }
    void apply();

Q_SIGNALS:
    void schemeChanged(ColorScheme scheme);

private:
    QPointer<DesktopAppearance> m_desktop;
    ColorScheme m_scheme = ColorScheme::light;
    bool m_applied = false;
};

} // namespace vesk
