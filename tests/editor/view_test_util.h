#pragma once

// Helpers for the tests of the editor's views: a private preferences file, fixed colours, and
// reading pixels of rendered widgets.

#include "editor_test_util.h"
#include "platform/preferences.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QWidget>

namespace vesk::test {

// Points the preferences store at a file of its own for the life of the fixture.
class PrivatePreferences
{
public:
    PrivatePreferences() { Preferences::useFile(m_dir.filePath(QStringLiteral("preferences.ini"))); }
    ~PrivatePreferences() { Preferences::useFile(QString()); }

private:
    QTemporaryDir m_dir;
};

// Sets a preference for the life of the object, so a failing test leaves none behind.
class PreferenceSetting
{
public:
    PreferenceSetting(const QString &key, const QVariant &value) : m_key(key)
    {
        Preferences::instance().setValue(key, value);
    }
    ~PreferenceSetting() { Preferences::instance().remove(m_key); }

private:
    QString m_key;
};

// A light palette with plain colours, so pixels can be compared.
inline QPalette plainPalette()
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Window, QColor(236, 236, 236));
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Highlight, QColor(0, 0, 255));
    return palette;
}

inline QImage renderOf(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    widget.render(&image);
    return image;
}

inline QColor pixelAt(const QImage &image, double x, double y)
{
    return image.pixelColor(int(x), int(y));
}

// Whether `actual` is `expected` within `tolerance` per channel.
inline bool closeTo(const QColor &actual, const QColor &expected, int tolerance = 24)
{
    return std::abs(actual.red() - expected.red()) <= tolerance && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance;
}

// Whether any pixel of the rectangle differs from `background`.
inline bool inked(const QImage &image, const QRectF &area, const QColor &background)
{
    const QRect pixels = area.toAlignedRect().intersected(image.rect());
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            if (!closeTo(image.pixelColor(x, y), background, 40)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace vesk::test
