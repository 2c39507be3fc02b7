#include "app/help_window.h"
#include "platform/preferences.h"
#include "test_support.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

using namespace vesk;

namespace {

QByteArray page(const QString &title, const QString &body = QString())
{
    return QStringLiteral("<html><head><title>%1</title></head><body><h1>%1</h1>%2</body></html>")
        .arg(title, body)
        .toUtf8();
}

QString shownText()
{
    return HelpWindowController::shared().window()->browser()->toPlainText();
}

} // namespace

class TestHelpWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        Preferences::useFile(m_home.filePath(QStringLiteral("preferences.ini")));
        HelpWindowController::shared().setUrlOpener([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
    }

    void cleanupTestCase() { Preferences::useFile(QString()); }

    void pageLookupOrder_data()
    {
        QTest::addColumn<QStringList>("layouts");  // folders below the root that hold the page
        QTest::addColumn<QString>("expected");     // the one whose copy wins, empty for none
        QTest::addRow("bundle first") << QStringList{"Resources/help", "share/vesk/help", "bin/help"}
                                      << QStringLiteral("Resources/help");
        QTest::addRow("installed before build tree")
            << QStringList{"share/vesk/help", "bin/help"} << QStringLiteral("share/vesk/help");
        QTest::addRow("build tree alone") << QStringList{"bin/help"} << QStringLiteral("bin/help");
        QTest::addRow("none") << QStringList{} << QString();
        QTest::addRow("a folder of that name is no page") << QStringList{"bin/help/index.html/x"}
                                                          << QString();
    }

    void pageLookupOrder()
    {
        QFETCH(QStringList, layouts);
        QFETCH(QString, expected);
        QTemporaryDir root;
        // Layout of a program in root/bin: the bundle's Resources and the share folder sit beside bin.
        for (const QString &layout : layouts)
            test::writeFile(root.path(), layout.endsWith(QLatin1String("/x")) ? layout
                                                                               : layout + "/index.html",
                            page(layout));
        const QStringList dirs = HelpWindowController::pageDirectories(root.filePath(QStringLiteral("bin")));
        const QString found = HelpWindowController::findPage(QStringLiteral("index.html"), dirs);
        if (expected.isEmpty())
            QVERIFY2(found.isEmpty(), qPrintable(found));
        else
            QCOMPARE(found, QDir(root.path()).filePath(expected + "/index.html"));
    }

    void pageNamesStayInTheHelpFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addRow("parent folder") << QStringLiteral("../secret.html");
        QTest::addRow("absolute") << QStringLiteral("/etc/passwd");
        QTest::addRow("hidden") << QStringLiteral(".hidden.html");
        QTest::addRow("empty") << QString();
    }

    void pageNamesStayInTheHelpFolder()
    {
        QFETCH(QString, name);
        QTemporaryDir root;
        test::writeFile(root.path(), QStringLiteral("help/index.html"), page("Index"));
        test::writeFile(root.path(), QStringLiteral("secret.html"), page("Secret"));
        test::writeFile(root.path(), QStringLiteral("help/.hidden.html"), page("Hidden"));
        QVERIFY(HelpWindowController::findPage(name, {root.filePath(QStringLiteral("help"))}).isEmpty());
    }

    void showsPagesAndKeepsOneWindow()
    {
        QTemporaryDir help;
        test::writeFile(help.path(), QStringLiteral("index.html"), page("Welcome"));
        HelpWindowController &controller = HelpWindowController::shared();
        controller.setPageDirectories({help.path()});

        controller.show(QStringLiteral("index.html"));
        HelpWindow *first = controller.window();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowTitle(), QStringLiteral("Vesk Help"));
        QVERIFY(first->minimumSize() == QSize(400, 300));
        QVERIFY(shownText().contains(QLatin1String("Welcome")));

        // Closing hides; the next show reuses the window and reads the page again.
        first->close();
        QVERIFY(!first->isVisible());
        test::writeFile(help.path(), QStringLiteral("index.html"), page("Welcome back"));
        controller.show(QStringLiteral("index.html"));
        QCOMPARE(controller.window(), first);
        QVERIFY(first->isVisible());
        QVERIFY(shownText().contains(QLatin1String("Welcome back")));
    }

    void remembersItsFrame()
    {
        QTemporaryDir help;
        test::writeFile(help.path(), QStringLiteral("index.html"), page("Frame"));
        HelpWindowController &controller = HelpWindowController::shared();
        controller.setPageDirectories({help.path()});
        controller.show(QStringLiteral("index.html"));
        controller.window()->resize(700, 480);
        controller.window()->close();
        QVERIFY(!Preferences::instance().bytesValue(QStringLiteral("VeskHelpWindow")).isEmpty());

        HelpWindow restored;  // a window made at the next start takes the frame back
        QCOMPARE(restored.size(), QSize(700, 480));
    }

    void linkPolicy_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opensBrowser");
        QTest::addColumn<QString>("shownAfter");
        QTest::addRow("web link https") << QStringLiteral("https://example.org/") << true
                                        << QStringLiteral("Contents");
        QTest::addRow("web link http") << QStringLiteral("http://example.org/") << true
                                       << QStringLiteral("Contents");
        QTest::addRow("mail goes to the desktop") << QStringLiteral("mailto:a@example.org") << true
                                                  << QStringLiteral("Contents");
        QTest::addRow("sibling page") << QStringLiteral("keys.html") << false
                                      << QStringLiteral("Keys page");
        QTest::addRow("anchor on the page") << QStringLiteral("#end") << false
                                            << QStringLiteral("Contents");
    }

    void linkPolicy()
    {
        QFETCH(QString, link);
        QFETCH(bool, opensBrowser);
        QFETCH(QString, shownAfter);
        QTemporaryDir help;
        test::writeFile(help.path(), QStringLiteral("index.html"),
                        page("Contents", QStringLiteral("<a href=\"%1\">go</a><a name=\"end\">end</a>").arg(link)));
        test::writeFile(help.path(), QStringLiteral("keys.html"), page("Keys page"));
        HelpWindowController &controller = HelpWindowController::shared();
        controller.setPageDirectories({help.path()});
        controller.show(QStringLiteral("index.html"));
        m_opened.clear();

        QTextBrowser *browser = controller.window()->browser();
        // A click on the link as the browser reports it: the href as written in the page.
        Q_EMIT browser->anchorClicked(QUrl(link));
        QCOMPARE(m_opened.size(), opensBrowser ? 1 : 0);
        if (opensBrowser)
            QCOMPARE(m_opened.first(), QUrl(link));
        QVERIFY2(shownText().contains(shownAfter), qPrintable(shownText()));
    }

    void missingBookShowsTheBuiltInPage()
    {
        QTemporaryDir empty;
        HelpWindowController &controller = HelpWindowController::shared();
        controller.setPageDirectories({empty.path()});
        controller.show(QStringLiteral("index.html"));
        QVERIFY(shownText().contains(QLatin1String("Help Not Found")));
        QVERIFY(shownText().contains(QLatin1String("make build")));
    }

    void shippedBookLinksResolve()
    {
        // Every page of the help book links only to pages that exist.
        const QDir book(QStringLiteral(VESK_HELP_SOURCE_DIR));
        const QStringList pages = book.entryList({QStringLiteral("*.html")});
        QVERIFY(pages.contains(QStringLiteral("index.html")));
        const QRegularExpression href(QStringLiteral("href=\"([^\"#:]+)\""));
        for (const QString &name : pages) {
            const QString text = QString::fromUtf8(test::readFile(book.filePath(name)));
            for (auto it = href.globalMatch(text); it.hasNext();) {
                const QString target = it.next().captured(1);
                QVERIFY2(book.exists(target), qPrintable(name + " links to missing " + target));
            }
        }
    }

private:
    QTemporaryDir m_home;
    QList<QUrl> m_opened;
};

QTEST_MAIN(TestHelpWindow)
#include "tst_help_window.moc"
