#pragma once

// A private X server for tests that start the real program: Xvfb on a free display, screen grabs,
// and the text a reader (OCR) finds on screen.

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>

namespace vesk::test {

class VirtualDisplay
{
public:
    VirtualDisplay() = default;
    ~VirtualDisplay();
    Q_DISABLE_COPY_MOVE(VirtualDisplay)

    // Starts Xvfb on the first free display from :100 on. False, with `error()` saying why, when
    // no X server can be started here.
    bool start(QSize size = QSize(1280, 800));
    QString error() const { return m_error; }
    QString name() const { return m_name; }  // ":104"

    // The environment for a program that should show its windows on this display.
    QProcessEnvironment environment(const QString &home) const;

    // The whole screen as it is now; null when the grab fails.
    QImage grab() const;
    // The part of `screen` that is not the empty (black) root window: without a window manager,
    // the program's window.
    static QRect windowBounds(const QImage &screen);

    // The text tesseract reads in `image` (scaled up first: screen text is small for it).
    static QString readText(const QImage &image);
    // `text` with everything but letters and digits dropped and folded to lower case, so that a
    // comparison survives the reader's spacing and punctuation slips.
    static QString squeeze(const QString &text);

    // Every child started with this modifier dies with the test process, even when it crashes.
    static void tieToParent(QProcess &process);

private:
    QImage grabWindow(const QString &id) const;  // "-root" or a window id

    QProcess m_server;
    QString m_name;
    QString m_error;
};

} // namespace vesk::test
