#include "app/appearance.h"

#include "app/desktop_appearance.h"
#include "platform/preferences.h"

#include <QApplication>
#include <QStyle>

namespace vesk {

namespace Appearance {

std::optional<ColorScheme> forcedScheme(const QString &setting, bool desktopIsDark)
{
    if (setting == u"light") {
        return ColorScheme::light;
    }
    if (setting == u"dark") {
        return ColorScheme::dark;
    }
    if (setting == u"opposite") {
        return desktopIsDark ? ColorScheme::light : ColorScheme::dark;
    }
    return std::nullopt;
}

ColorScheme effectiveScheme(const QString &setting, bool desktopIsDark)
{
    return forcedScheme(setting, desktopIsDark).value_or(desktopIsDark ? ColorScheme::dark : ColorScheme::light);
}

namespace {

QPalette lightPalette()
{
    QPalette p;
    const QColor window(0xEC, 0xEC, 0xEC);
    const QColor text(0x1D, 0x1D, 0x1F);
    const QColor disabled(0x9A, 0x9A, 0x9E);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::AlternateBase, QColor(0xF4, 0xF5, 0xF5));
    p.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xF0));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x80, 0x80, 0x85));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0xF6, 0xF6, 0xF6));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, Qt::white);
    p.setColor(QPalette::Midlight, QColor(0xE3, 0xE3, 0xE3));
    p.setColor(QPalette::Mid, QColor(0xB8, 0xB8, 0xB8));
    p.setColor(QPalette::Dark, QColor(0x9F, 0x9F, 0x9F));
    p.setColor(QPalette::Shadow, QColor(0x76, 0x76, 0x76));
    p.setColor(QPalette::Highlight, QColor(0x0A, 0x64, 0xD9));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x0A, 0x64, 0xD9));
    p.setColor(QPalette::LinkVisited, QColor(0x80, 0x3C, 0xC8));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabled);
    }
    return p;
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2A, 0x2A, 0x2C);
    const QColor text(0xE6, 0xE6, 0xE8);
    const QColor disabled(0x74, 0x74, 0x78);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1F));
    p.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x28));
    p.setColor(QPalette::ToolTipBase, QColor(0x3A, 0x3A, 0x3C));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8E, 0x8E, 0x93));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3C));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xFF, 0x6B, 0x6B));
    p.setColor(QPalette::Light, QColor(0x4A, 0x4A, 0x4D));
    p.setColor(QPalette::Midlight, QColor(0x3E, 0x3E, 0x41));
    p.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x33));
    p.setColor(QPalette::Dark, QColor(0x1A, 0x1A, 0x1B));
    p.setColor(QPalette::Shadow, QColor(0x0E, 0x0E, 0x0F));
    p.setColor(QPalette::Highlight, QColor(0x2F, 0x6F, 0xD6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x5A, 0x9C, 0xF8));
    p.setColor(QPalette::LinkVisited, QColor(0xB4, 0x8C, 0xF0));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabled);
    }
    return p;
}

} // namespace

QPalette palette(ColorScheme scheme)
{
    return scheme == ColorScheme::dark ? darkPalette() : lightPalette();
}

} // namespace Appearance

AppearanceController::AppearanceController(DesktopAppearance *desktop, QObject *parent)
    : QObject(parent)
    , m_desktop(desktop)
{
    connect(&Preferences::instance(), &Preferences::changed, this, [this](const QString &key) {
        if (key == Appearance::settingKey) {
            apply();
        }
    });
    if (desktop) {
        connect(desktop, &DesktopAppearance::changed, this, &AppearanceController::apply);
    }
}

void AppearanceController::apply()
{
    const bool desktopIsDark = m_desktop && m_desktop->isDark();
    const QString setting = Preferences::instance().stringValue(Appearance::settingKey);
    const ColorScheme scheme = Appearance::effectiveScheme(setting, desktopIsDark);
    if (m_applied && scheme == m_scheme) {
        return;
    }
    m_applied = true;
    m_scheme = scheme;
    QApplication::setPalette(Appearance::palette(scheme));
    Q_EMIT schemeChanged(scheme);
}

} // namespace vesk
