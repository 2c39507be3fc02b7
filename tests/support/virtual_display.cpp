#include "virtual_display.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace vesk::test {

namespace {

QByteArray runTool(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    VirtualDisplay::tieToParent(process);
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

} // namespace

VirtualDisplay::~VirtualDisplay()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(3000))
            m_server.kill();
        m_server.waitForFinished(3000);
    }
}

void VirtualDisplay::tieToParent(QProcess &process)
{
#if defined(__linux__)
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#else
    Q_UNUSED(process)
#endif
}

bool VirtualDisplay::start(QSize size)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        m_error = QStringLiteral("Xvfb is not installed");
        return false;
    }
    for (int display = 100; display < 160; ++display) {
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(display);
        if (QFileInfo::exists(socket) || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(display)))
            continue;
        tieToParent(m_server);
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.setStandardOutputFile(QProcess::nullDevice());
        m_server.start(xvfb, {QStringLiteral(":%1").arg(display), QStringLiteral("-screen"), QStringLiteral("0"),
                              QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()),
                              QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                              // A test that restarts the program leaves the server without clients
                              // for a moment; a reset then would refuse the next start.
                              QStringLiteral("-noreset")});
        if (!m_server.waitForStarted(5000))
            continue;
        for (int i = 0; i < 100 && m_server.state() == QProcess::Running; ++i) {
            if (QFileInfo::exists(socket)) {
                m_name = QStringLiteral(":%1").arg(display);
                return true;
            }
            QThread::msleep(50);
        }
        m_server.kill();
        m_server.waitForFinished(3000);
    }
    m_error = QStringLiteral("no X display could be started");
    return false;
}

QProcessEnvironment VirtualDisplay::environment(const QString &home) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/.run"));
    QDir().mkpath(home + QStringLiteral("/.run"));
    QFile::setPermissions(home + QStringLiteral("/.run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));  // no desktop services of the host
    return env;
}

QImage VirtualDisplay::grab() const
{
    QImage screen = grabWindow(QStringLiteral("-root"));
    if (screen.isNull()) {
        return screen;
    }
    // The root's picture leaves a second top-level window of a program (a dialog, the help
    // window) black on this server, while the window itself holds what it drew: each visible
    // top-level window is laid over the root's picture, bottom to top.
    const QByteArray tree = runTool(QStringLiteral("xwininfo"),
                                    {QStringLiteral("-root"), QStringLiteral("-children"), QStringLiteral("-display"), m_name});
    QList<QByteArray> ids;
    for (const QByteArray &line : tree.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith("0x")) {
            ids.prepend(trimmed.left(trimmed.indexOf(' ')));  // listed top first
        }
    }
    QPainter painter(&screen);
    for (const QByteArray &id : std::as_const(ids)) {
        const QByteArray info = runTool(QStringLiteral("xwininfo"),
                                        {QStringLiteral("-id"), QString::fromLatin1(id), QStringLiteral("-display"), m_name});
        if (!info.contains("IsViewable")) {
            continue;
        }
        const auto field = [&](const char *name) {
            const qsizetype at = info.indexOf(name);
            return at < 0 ? 0 : info.mid(at + qstrlen(name)).trimmed().split('\n').value(0).toInt();
        };
        const QRect frame(field("Absolute upper-left X:"), field("Absolute upper-left Y:"), field("Width:"),
                          field("Height:"));
        if (frame.width() < 16 || frame.height() < 16) {
            continue;
        }
        const QImage window = grabWindow(QString::fromLatin1(id));
        if (!window.isNull()) {
            painter.drawImage(frame.topLeft(), window);
        }
    }
    return screen;
}

QImage VirtualDisplay::grabWindow(const QString &id) const
{
    QStringList arguments{QStringLiteral("-silent"), QStringLiteral("-display"), m_name};
    arguments += id == u"-root" ? QStringList{id} : QStringList{QStringLiteral("-id"), id};
    const QByteArray xwd = runTool(QStringLiteral("xwd"), arguments);
    const QByteArray png = runTool(QStringLiteral("convert"), {QStringLiteral("xwd:-"), QStringLiteral("png:-")}, xwd);
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
}

QRect VirtualDisplay::windowBounds(const QImage &screen)
{
    QRect bounds;
    const QImage image = screen.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(row[x]) > 8)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

QString VirtualDisplay::readText(const QImage &image)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("screen.png"));
    if (image.isNull()
        || !image.scaled(image.size() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(path))
        return {};
    return QString::fromUtf8(runTool(QStringLiteral("tesseract"), {path, QStringLiteral("-")}));
}

QString VirtualDisplay::squeeze(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.isLetterOrNumber())
            out.append(c.toLower());
    }
    return out;
}

} // namespace vesk::test
