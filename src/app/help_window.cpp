#include "app/help_window.h"

#include "platform/preferences.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace vesk {

namespace {

const QString frameKey = QStringLiteral("VeskHelpWindow");
constexpr int defaultWidth = 620;
constexpr int defaultHeight = 520;

bool isWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Vesk Help"));
    setObjectName(QStringLiteral("helpWindow"));
    setMinimumSize(400, 300);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenLinks(false);  // every click goes through the controller's policy
    m_browser->setOpenExternalLinks(false);
    m_browser->setFrameShape(QFrame::NoFrame);
    m_browser->document()->setDocumentMargin(16);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    restoreFrame();
}

void HelpWindow::hideEvent(QHideEvent *event)
{
    Preferences::instance().setValue(frameKey, saveGeometry());
    QWidget::hideEvent(event);
}

void HelpWindow::restoreFrame()
{
    const QByteArray frame = Preferences::instance().bytesValue(frameKey);
    if (!frame.isEmpty() && restoreGeometry(frame))
        return;
    resize(defaultWidth, defaultHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect area = rect();
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
}

HelpWindowController::HelpWindowController()
    : m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

HelpWindowController &HelpWindowController::shared()
{
    static HelpWindowController *controller = new HelpWindowController;  // lives for the whole run
    return *controller;
}

void HelpWindowController::show(const QString &page)
{
    if (!m_window) {
        m_window = new HelpWindow;
        connect(m_window->browser(), &QTextBrowser::anchorClicked, this, [this](const QUrl &link) {
            navigate(m_window->browser()->source().resolved(link));
        });
    }
    loadPage(page);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

HelpWindowController::Navigation HelpWindowController::navigate(const QUrl &url)
{
    if (url.isEmpty())
        return Navigation::Allow;
    if (isWebUrl(url) || !url.isLocalFile()) {
        // The help window shows only its own pages; the rest belongs to the desktop's handlers.
        m_openUrl(url);
        return Navigation::Cancel;
    }
    if (m_window)
        m_window->browser()->setSource(url);
    return Navigation::Allow;
}

void HelpWindowController::loadPage(const QString &page)
{
    if (!m_window)
        return;
    QTextBrowser *browser = m_window->browser();
    const QString path = findPage(page, currentPageDirectories());
    if (path.isEmpty()) {
        browser->setHtml(notFoundHtml());
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    if (browser->source() == url)
        browser->reload();
    else
        browser->setSource(url);
}

QStringList HelpWindowController::currentPageDirectories() const
{
    return m_pageDirs.isEmpty() ? pageDirectories(QCoreApplication::applicationDirPath()) : m_pageDirs;
}

QStringList HelpWindowController::pageDirectories(const QString &programDir)
{
    const QDir dir(programDir);
    return {
        QDir::cleanPath(dir.filePath(QStringLiteral("../Resources/help"))),  // macOS bundle
        QDir::cleanPath(dir.filePath(QStringLiteral("../share/vesk/help"))),  // installed
        QDir::cleanPath(dir.filePath(QStringLiteral("help"))),                // build tree
    };
}

QString HelpWindowController::findPage(const QString &page, const QStringList &dirs)
{
    // Pages are plain file names; anything that could climb out of the help folder is no page.
    if (page.isEmpty() || page.contains(QLatin1Char('/')) || page.contains(QLatin1Char('\\'))
        || page.startsWith(QLatin1Char('.')))
        return {};
    for (const QString &dir : dirs) {
        const QFileInfo info(QDir(dir).filePath(page));
        if (info.isFile())
            return info.absoluteFilePath();
    }
    return {};
}

QString HelpWindowController::notFoundHtml()
{
    return QStringLiteral(
        "<html><body style=\"font-family:sans-serif;padding:40px;color:#999;text-align:center\">\n"
        "<h2>Help Not Found</h2>\n"
        "<p>The help files could not be located.<br>Build with <code>make build</code> to include "
        "the help book.</p>\n"
        "</body></html>");
}

void showHelpPage(const QString &page)
{
    HelpWindowController::shared().show(page);
}

} // namespace vesk
