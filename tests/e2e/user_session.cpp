#include "user_session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

#include <csignal>

namespace vesk::test {

namespace {

QString tool(const char *name)
{
    return QString::fromLatin1(name);
}

// Grey levels, with the rows of a selected item (light text on a saturated colour) turned into
// dark text on a light ground: the reader only reads dark on light well.
bool isSelectionColor(QRgb pixel)
{
    const QColor color = QColor::fromRgb(pixel);
    return color.hsvSaturation() > 150 && color.value() > 120 && qGray(pixel) < 150;
}

QImage readable(const QImage &image)
{
    QImage gray = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < gray.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(gray.scanLine(y));
        const bool selected = isSelectionColor(row[std::min(2, gray.width() - 1)]);
        for (int x = 0; x < gray.width(); ++x) {
            const int level = selected ? 255 - qGray(row[x]) : qGray(row[x]);
            row[x] = qRgb(level, level, level);
        }
    }
    return gray;
}

// The words tesseract reads in `image` (page segmentation mode `mode`), placed at `offset`.
QList<ScreenWord> readWords(const QImage &image, QPoint offset, const QString &mode, int scale = 3)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("region.png"));
    if (!image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(path)) {
        return {};
    }
    QProcess reader;
    VirtualDisplay::tieToParent(reader);
    reader.start(tool("tesseract"), {path, QStringLiteral("-"), QStringLiteral("--psm"), mode, QStringLiteral("tsv")});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        reader.kill();
        reader.waitForFinished(3000);
        return {};
    }
    QList<ScreenWord> found;
    const QList<QByteArray> lines = reader.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 12 || fields.at(0) != "5") {
            continue;
        }
        const QString word = VirtualDisplay::squeeze(QString::fromUtf8(fields.at(11)));
        if (word.isEmpty()) {
            continue;
        }
        found.append({word, QRect(fields.at(6).toInt() / scale + offset.x(), fields.at(7).toInt() / scale + offset.y(),
                                  fields.at(8).toInt() / scale, fields.at(9).toInt() / scale)});
    }
    return found;
}

} // namespace

UserSession::UserSession() = default;

UserSession::~UserSession()
{
    stopAll();
}

bool UserSession::startDisplay()
{
    if (!m_home.isValid()) {
        m_error = QStringLiteral("no temporary home");
        return false;
    }
    QDir().mkpath(tempDir());
    QDir().mkpath(home() + QStringLiteral("/.local/share"));
    if (!m_display.start(QSize(1280, 860))) {
        m_error = m_display.error();
        return false;
    }
    return true;
}

QProcessEnvironment UserSession::environment() const
{
    QProcessEnvironment env = m_display.environment(home());
    env.insert(QStringLiteral("TMPDIR"), tempDir());
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("VESK_EXIT_AFTER_FIRST_FRAME"));
    return env;
}

bool UserSession::xdotool(const QStringList &arguments, QByteArray *output) const
{
    QProcess process;
    VirtualDisplay::tieToParent(process);
    process.setProcessEnvironment(environment());
    process.start(tool("xdotool"), arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(3000);
        return false;
    }
    if (output) {
        *output = process.readAllStandardOutput();
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

std::optional<WId> UserSession::findMainWindow() const
{
    if (!m_vesk) {
        return std::nullopt;
    }
    QByteArray out;
    if (!xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                  QString::number(m_vesk->processId()), QStringLiteral("--name"), QStringLiteral(".")},
                 &out)) {
        return std::nullopt;
    }
    // The main window is the largest visible one the program owns (dialogs are smaller).
    std::optional<WId> best;
    int bestArea = 0;
    for (const QByteArray &line : out.split('\n')) {
        bool ok = false;
        const WId id = line.trimmed().toULongLong(&ok);
        if (!ok) {
            continue;
        }
        QByteArray geometry;
        if (!xdotool({QStringLiteral("getwindowgeometry"), QString::number(id)}, &geometry)) {
            continue;
        }
        const qsizetype at = geometry.indexOf("Geometry: ");
        const QList<QByteArray> size = geometry.mid(at + 10).trimmed().split('\n').value(0).split('x');
        const int area = size.value(0).toInt() * size.value(1).toInt();
        if (area > bestArea) {
            bestArea = area;
            best = id;
        }
    }
    return bestArea > 600 * 400 ? best : std::nullopt;
}

bool UserSession::launch(const QStringList &arguments)
{
    stopAll();
    m_vesk = std::make_unique<QProcess>();
    VirtualDisplay::tieToParent(*m_vesk);
    m_vesk->setProcessEnvironment(environment());
    m_vesk->setProcessChannelMode(QProcess::ForwardedChannels);
    m_vesk->setWorkingDirectory(home());
    m_vesk->start(m_program, arguments);
    if (!m_vesk->waitForStarted(10000)) {
        m_error = m_vesk->errorString();
        return false;
    }
    std::optional<WId> window;
    const bool shown = waitUntil([&] { return running() && (window = findMainWindow()).has_value(); }, 60000, 200);
    if (!shown) {
        m_error = running() ? QStringLiteral("no main window appeared") : QStringLiteral("vesk ended at start");
        return false;
    }
    m_window = *window;
    focusWindow();
    m_watch.start(m_vesk->processId());
    return true;
}

int UserSession::runSecond(const QStringList &arguments, int timeoutMs)
{
    QProcess second;
    VirtualDisplay::tieToParent(second);
    second.setProcessEnvironment(environment());
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.setWorkingDirectory(home());
    second.start(m_program, arguments);
    if (!second.waitForStarted(10000)) {
        return -1;
    }
    if (!second.waitForFinished(timeoutMs)) {
        second.kill();
        second.waitForFinished(3000);
        return -2;
    }
    return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -3;
}

bool UserSession::quit(int timeoutMs)
{
    m_watch.stop();  // the way out is no stall
    key(QStringLiteral("ctrl+q"));
    return waitForExit(timeoutMs);
}

bool UserSession::waitForExit(int timeoutMs)
{
    if (!m_vesk) {
        return false;
    }
    if (m_vesk->state() != QProcess::NotRunning && !m_vesk->waitForFinished(timeoutMs)) {
        return false;
    }
    return m_vesk->exitStatus() == QProcess::NormalExit && m_vesk->exitCode() == 0;
}

void UserSession::stopAll()
{
    m_watch.stop();
    for (std::unique_ptr<QProcess> *child : {&m_peer, &m_dragSource}) {
        if (*child && (*child)->state() != QProcess::NotRunning) {
            (*child)->kill();
            (*child)->waitForFinished(5000);
        }
        child->reset();
    }
    if (m_vesk && m_vesk->state() != QProcess::NotRunning) {
        m_vesk->kill();
        m_vesk->waitForFinished(5000);
    }
    m_window = 0;
}

void UserSession::key(const QString &keys)
{
    QStringList arguments{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")};
    arguments += keys.split(u' ', Qt::SkipEmptyParts);
    xdotool(arguments);
}

void UserSession::type(const QString &text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

void UserSession::moveMouse(QPoint at)
{
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
}

void UserSession::click(QPoint at, int button)
{
    moveMouse(at);
    xdotool({QStringLiteral("click"), QString::number(button)});
}

void UserSession::press(int button)
{
    xdotool({QStringLiteral("mousedown"), QString::number(button)});
}

void UserSession::release(int button)
{
    xdotool({QStringLiteral("mouseup"), QString::number(button)});
}

void UserSession::focusWindow()
{
    if (m_window) {
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(m_window)});
    }
}

bool UserSession::focusAway()
{
    if (!m_peer) {
        m_peer = std::make_unique<QProcess>();
        VirtualDisplay::tieToParent(*m_peer);
        m_peer->setProcessEnvironment(environment());
        m_peer->start(QStringLiteral(VESK_TEST_PEER), {});
        m_peer->waitForStarted(10000);
    }
    // The peer is another program's window; it takes the focus as a switch to that program would,
    // and says when it has it.
    QByteArray id;
    if (!waitUntil(
            [&] {
                return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                QStringLiteral("^vesk-test-peer$")},
                               &id);
            },
            30000, 200)) {
        return false;
    }
    m_peer->readAllStandardOutput();
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromLatin1(id.trimmed().split('\n').value(0))});
    return waitUntil([&] { return m_peer->readAllStandardOutput().contains("focused"); }, 20000, 50);
}

bool UserSession::dragFileTo(const QString &file, QPoint target)
{
    m_dragSource = std::make_unique<QProcess>();
    VirtualDisplay::tieToParent(*m_dragSource);
    m_dragSource->setProcessEnvironment(environment());
    m_dragSource->start(QStringLiteral(VESK_TEST_PEER), {QStringLiteral("--drag"), file});
    if (!m_dragSource->waitForStarted(10000)) {
        return false;
    }
    QByteArray id;
    if (!waitUntil(
            [&] {
                return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                QStringLiteral("^vesk-test-drag$")},
                               &id);
            },
            30000, 200)) {
        return false;
    }
    const QPoint source(1240, 820);
    moveMouse(source);
    press();
    // The pointer travels to the target as a hand would; the drop waits until the target said it
    // takes the drag.
    QByteArray said;
    const QPoint way = target - source;
    for (int step = 1; step <= 6; ++step) {
        moveMouse(source + way * step / 6);
    }
    const bool accepted = waitUntil(
        [&] {
            said += m_dragSource->readAllStandardOutput();
            if (!said.contains("accepted")) {
                moveMouse(target + QPoint(said.size() % 2, 1));  // a nudge makes the source ask again
                moveMouse(target);
            }
            return said.contains("accepted");
        },
        20000, 200);
    release();
    if (!accepted) {
        return false;
    }
    // The source stays: the target may still be fetching the data. It goes with stopAll().
    waitUntil(
        [&] {
            said += m_dragSource->readAllStandardOutput();
            return said.contains("dropped") || said.contains("refused");
        },
        20000, 100);
    return said.contains("dropped");
}

bool UserSession::windowShown(const QString &title)
{
    return waitForWindow(title, 0).has_value();
}

std::optional<QRect> UserSession::waitForWindow(const QString &title, int timeoutMs)
{
    std::optional<QRect> frame;
    waitUntil(
        [&] {
            QByteArray ids;
            if (!m_vesk
                || !xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                             QString::number(m_vesk->processId()), QStringLiteral("--name"), title},
                            &ids)) {
                return false;
            }
            // The search also matches the main window on names it does not show; the window
            // asked for is another one.
            for (const QByteArray &line : ids.split('\n')) {
                const QByteArray id = line.trimmed();
                if (id.isEmpty() || id.toULongLong() == m_window) {
                    continue;
                }
                QByteArray out;
                if (!xdotool({QStringLiteral("getwindowgeometry"), QString::fromLatin1(id)}, &out)) {
                    continue;
                }
                const auto after = [&](const char *label) {
                    const qsizetype at = out.indexOf(label);
                    return out.mid(at + qstrlen(label)).split('\n').value(0).split(' ').value(0).trimmed();
                };
                const QList<QByteArray> position = after("Position: ").split(',');
                const QList<QByteArray> size = after("Geometry: ").split('x');
                frame = QRect(position.value(0).toInt(), position.value(1).toInt(), size.value(0).toInt(),
                              size.value(1).toInt());
                return true;
            }
            return false;
        },
        timeoutMs, 200);
    return frame;
}

QList<ScreenWord> UserSession::words(const QImage &screen, QRect region, int way)
{
    if (region.isEmpty()) {
        region = screen.rect();
    }
    region &= screen.rect();
    if (screen.isNull() || region.isEmpty()) {
        return {};
    }
    // Sparse text: a window is scattered labels, not a page of prose.
    // The reader passes over different things in different ways of reading (a button beside a
    // label, a lone word); a caller that looks again reads another way.
    const QString mode = way % 3 == 1 ? QStringLiteral("6") : QStringLiteral("11");
    const int scale = way % 3 == 2 ? 2 : 3;
    QList<ScreenWord> found = readWords(readable(screen.copy(region)), region.topLeft(), mode, scale);
    // A selected row (light text on a saturated colour) is read alone, as one line: among the
    // other rows the reader tends to pass over it.
    const QImage image = screen.convertToFormat(QImage::Format_RGB32);
    int bandTop = -1;
    for (int y = region.top(); y <= region.bottom() + 1; ++y) {
        const bool selected = y <= region.bottom() && isSelectionColor(image.pixel(region.left() + 2, y));
        if (selected && bandTop < 0) {
            bandTop = y;
        } else if (!selected && bandTop >= 0) {
            const QRect band(region.left(), bandTop, region.width(), y - bandTop);
            if (band.height() >= 10) {
                found += readWords(readable(image.copy(band)), band.topLeft(), QStringLiteral("7"));
            }
            bandTop = -1;
        }
    }
    return found;
}

QString UserSession::text(const QImage &screen, QRect region, int way)
{
    QString read;
    for (const ScreenWord &word : words(screen, region, way)) {
        read += word.text;
    }
    return read;
}

bool UserSession::waitUntil(const std::function<bool()> &condition, int timeoutMs, int pollMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        if (condition()) {
            return true;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(pollMs);  // keeps this test's own event loop turning between looks
    }
}

std::optional<QRect> UserSession::waitForWord(const QString &word, QRect region, int timeoutMs, QImage *screen)
{
    // A phrase ("Delete File") is found as that many words in a row.
    const qsizetype parts = word.split(u' ', Qt::SkipEmptyParts).size();
    const QString want = VirtualDisplay::squeeze(word);
    std::optional<QRect> found;
    int way = 0;
    waitUntil(
        [&] {
            const QImage now = grab();
            const QList<ScreenWord> seen = words(now, region, way++);
            for (qsizetype i = 0; i + parts <= seen.size(); ++i) {
                QString joined;
                QRect box;
                for (qsizetype k = i; k < i + parts; ++k) {
                    joined += seen[k].text;
                    box |= seen[k].box;
                }
                if (readsAs(joined, want)) {
                    found = box;
                    if (screen) {
                        *screen = now;
                    }
                    return true;
                }
            }
            return false;
        },
        timeoutMs, 200);
    return found;
}

bool UserSession::waitForText(const QString &want, QRect region, int timeoutMs, QString *seen)
{
    const QString squeezed = VirtualDisplay::squeeze(want);
    int way = 0;
    return waitUntil(
        [&] {
            const QString read = text(grab(), region, way++);
            if (seen) {
                *seen = read;
            }
            return readsAs(read, squeezed);
        },
        timeoutMs, 200);
}

QString UserSession::preferencesPath() const
{
    return home() + QStringLiteral("/.config/Vesk/Vesk.conf");
}

std::unique_ptr<QSettings> UserSession::preferences() const
{
    return std::make_unique<QSettings>(preferencesPath(), QSettings::IniFormat);
}

void UserSession::beginStep(const QString &name)
{
    m_step = name;
    m_watch.setStep(name);
    m_stepClock.start();
}

void UserSession::endStep()
{
    if (m_step.isEmpty()) {
        return;
    }
    const qint64 ms = m_stepClock.elapsed();
    if (ms > m_slowestMs) {
        m_slowestMs = ms;
        m_slowest = m_step;
    }
    m_step.clear();
}

QString UserSession::longestStall() const
{
    return QStringLiteral("%1 ms (in %2)").arg(m_watch.longestMs()).arg(m_watch.longestStep());
}

QString UserSession::slowestStep() const
{
    return QStringLiteral("%1 (%2 ms)").arg(m_slowest).arg(m_slowestMs);
}

bool readsAs(const QString &seen, const QString &want)
{
    // Approximate substring match (edit distance against any part of `seen`): the reader mistakes
    // a letter now and then in a monospaced font ("charLlieThree"), one slip per eight letters.
    // Digits must be read exactly: "code.txt:1" is another place than "code.txt:2".
    const qsizetype allowed = want.size() / 8;
    const qsizetype never = want.size() + 1;
    QList<qsizetype> previous(seen.size() + 1, 0);
    QList<qsizetype> current(seen.size() + 1, 0);
    for (qsizetype i = 1; i <= want.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= seen.size(); ++j) {
            const bool digit = want.at(i - 1).isDigit();
            const qsizetype cost = want.at(i - 1) == seen.at(j - 1) ? 0 : digit ? never : 1;
            current[j] = std::min({previous[j - 1] + cost, previous[j] + (digit ? never : 1), current[j - 1] + 1});
        }
        std::swap(previous, current);
    }
    return !want.isEmpty() && *std::min_element(previous.cbegin(), previous.cend()) <= allowed;
}

bool isOrange(QRgb pixel)
{
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    return r > 200 && g > 110 && g < 200 && b < 90;
}

int countPixels(const QImage &screen, QRect region, const std::function<bool(QRgb)> &test)
{
    const QImage image = screen.convertToFormat(QImage::Format_RGB32);
    region &= image.rect();
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = region.left(); x <= region.right(); ++x) {
            count += test(row[x]) ? 1 : 0;
        }
    }
    return count;
}

} // namespace vesk::test
