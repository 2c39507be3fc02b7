#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <functional>

class QTextBrowser;

namespace vesk {

// The help window: a plain top-level window around a text browser. Closing hides it; its frame
// is kept in the preferences store and comes back at the next start.
class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget *parent = nullptr);

    QTextBrowser *browser() const { return m_browser; }

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void restoreFrame();

    QTextBrowser *m_browser = nullptr;
};

// The one help window of the application, made on first use and then only hidden and shown.
class HelpWindowController : public QObject
{
    Q_OBJECT

public:
    enum class Navigation { Allow, Cancel };
    using UrlOpener = std::function<bool(const QUrl &)>;

    static HelpWindowController &shared();

    // Shows the window on `page` (a file name such as "index.html"), bringing it to the front.
    void show(const QString &page);

    HelpWindow *window() const { return m_window; }

    // What a click on `url` does: pages stay in the window, web links go to the browser.
    Navigation navigate(const QUrl &url);

    // The folders searched for pages, first match wins: inside the macOS bundle, the installed
    // share folder beside the program, and the copy the build puts beside the program.
    static QStringList pageDirectories(const QString &programDir);
    // The first `dirs` entry holding `page`, as a full path; empty when none does.
    static QString findPage(const QString &page, const QStringList &dirs);
    static QString notFoundHtml();

    // Tests point these elsewhere; the defaults are the desktop's browser and the program's folder.
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    void setPageDirectories(const QStringList &dirs) { m_pageDirs = dirs; }

private:
    HelpWindowController();
    void loadPage(const QString &page);
    QStringList currentPageDirectories() const;

    QPointer<HelpWindow> m_window;
    UrlOpener m_openUrl;
    QStringList m_pageDirs;  // empty: the folders beside the program
};

// The Help menu's entry point.
void showHelpPage(const QString &page);

} // namespace vesk
