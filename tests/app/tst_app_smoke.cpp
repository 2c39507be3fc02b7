// Starts the real program on a private X display and reads what it shows.

#include "test_support.h"
#include "virtual_display.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace vesk;
using test::VirtualDisplay;

class TestAppSmoke : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensARepositoryGivenOnTheCommandLine()
    {
        VirtualDisplay display;
        if (!display.start())
            QSKIP(qPrintable(QStringLiteral("no X display for the smoke test: ") + display.error()));

        QTemporaryDir home;
        QTemporaryDir parent;
        const QString repo = parent.filePath(QStringLiteral("smokerepo"));
        QVERIFY(QDir().mkpath(repo));
        test::initGitRepo(repo);
        // Words without spaces: the editor draws spaces as dots, which the reader takes for letters.
        test::writeFile(repo, QStringLiteral("notes.txt"), "Kangaroo_Marmalade_42\nsecond_line\n");
        test::commitAll(repo);

        QProcess vesk;
        VirtualDisplay::tieToParent(vesk);
        vesk.setProcessEnvironment(display.environment(home.path()));
        vesk.setProcessChannelMode(QProcess::ForwardedChannels);
        vesk.start(QStringLiteral(VESK_BINARY), {repo + QStringLiteral("/notes.txt")});
        QVERIFY2(vesk.waitForStarted(10000), qPrintable(vesk.errorString()));

        // Each text where it belongs: the repository's tab at the top, the file's text in the
        // middle, the caret's place in the status row at the bottom.
        struct Expectation
        {
            QString text;
            double from, to;  // the band of the window's height, as fractions
        };
        const QList<Expectation> expected{{QStringLiteral("smokerepo"), 0.0, 0.12},
                                          {QStringLiteral("kangaroomarmalade42"), 0.1, 0.6},
                                          {QStringLiteral("ln1col1"), 0.9, 1.0}};
        QStringList missing;
        QString seen;
        const QDeadlineTimer deadline(60000);
        do {
            if (!missing.isEmpty())
                QTest::qWait(500);
            missing.clear();
            seen.clear();
            const QImage screen = display.grab();
            const QRect window = VirtualDisplay::windowBounds(screen);
            for (const Expectation &want : expected) {
                const QRect band(window.left(), window.top() + int(window.height() * want.from), window.width(),
                                 int(window.height() * (want.to - want.from)));
                const QString read = VirtualDisplay::squeeze(VirtualDisplay::readText(screen.copy(band)));
                seen += QStringLiteral("[%1] ").arg(read);
                if (!read.contains(want.text))
                    missing.append(want.text);
            }
        } while (!missing.isEmpty() && !deadline.hasExpired() && vesk.state() == QProcess::Running);
        QVERIFY2(vesk.state() == QProcess::Running, "vesk ended before showing its window");
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("not on screen: %1\nread: %2")
                                                   .arg(missing.join(QLatin1String(", ")), seen)));

        vesk.terminate();  // as a session manager ends the program
        QVERIFY(vesk.waitForFinished(10000));
        QCOMPARE(vesk.exitStatus(), QProcess::NormalExit);
    }
};

QTEST_GUILESS_MAIN(TestAppSmoke)
#include "tst_app_smoke.moc"
