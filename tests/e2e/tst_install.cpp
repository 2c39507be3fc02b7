// The program as a user installs it: `cmake --install` into a fresh prefix, then the installed
// program answers on the terminal, finds its help pages in the installed tree and comes with a
// desktop entry that validates.

#include "app/help_window.h"
#include "test_support.h"
#include "user_session.h"
#include "virtual_display.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace vesk;

namespace {

struct Outcome
{
    int exitCode = -1;
    QString output;  // standard output and error together
};

Outcome runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    test::VirtualDisplay::tieToParent(process);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(3000);
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

    QTemporaryDir m_prefix;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        const Outcome install = runProgram(QStringLiteral("cmake"), {QStringLiteral("--install"),
                                                                     QStringLiteral(VESK_BUILD_DIR),
                                                                     QStringLiteral("--prefix"), m_prefix.path()});
        QVERIFY2(install.exitCode == 0, qPrintable(install.output));
    }

    void installsItsFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addRow("program") << "bin/vesk";
        QTest::addRow("help index") << "share/vesk/help/index.html";
        QTest::addRow("help style") << "share/vesk/help/style.css";
        QTest::addRow("desktop entry") << "share/applications/vesk.desktop";
        QTest::addRow("icon") << "share/icons/hicolor/scalable/apps/vesk.svg";
    }
    void installsItsFiles()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(m_prefix.filePath(path)).isFile(), qPrintable(path));
    }

    void desktopEntryValidates()
    {
        const QString entry = m_prefix.filePath(QStringLiteral("share/applications/vesk.desktop"));
        const Outcome check = runProgram(QStringLiteral("desktop-file-validate"), {entry});
        if (check.exitCode == -1 && !QFileInfo::exists(QStringLiteral("/usr/bin/desktop-file-validate")))
            QSKIP("desktop-file-validate is not installed (scripts/setup.sh installs it)");
        // It exits 0 on hints and warnings too; the entry has none of them.
        QVERIFY2(check.exitCode == 0 && check.output.trimmed().isEmpty(), qPrintable(check.output));
        // The entry starts the installed program by the name it is installed under.
        const QByteArray text = test::readFile(entry);
        QVERIFY(text.contains("\nExec=vesk "));
        QVERIFY(text.contains("x-scheme-handler/vesk"));
    }

    void answersOnTheTerminal_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("expected");
        QTest::addRow("help") << "--help" << "--version";
        QTest::addRow("version") << "--version" << QStringLiteral(VESK_VERSION);
    }
    void answersOnTheTerminal()
    {
        QFETCH(QString, argument);
        QFETCH(QString, expected);
        const Outcome answer = runProgram(m_prefix.filePath(QStringLiteral("bin/vesk")), {argument});
        QCOMPARE(answer.exitCode, 0);
        QVERIFY2(answer.output.contains(expected), qPrintable(answer.output));
    }

    // The help window looks for its pages beside the program it runs in; from the installed
    // program's folder that search finds the installed book, every page of it, and nothing of
    // the build tree.
    void findsItsHelpPages_data()
    {
        QTest::addColumn<QString>("page");
        for (const char *page : {"index.html", "editor.html", "export.html", "patch.html", "search.html"})
            QTest::addRow("%s", page) << QString::fromLatin1(page);
    }
    void findsItsHelpPages()
    {
        QFETCH(QString, page);
        const QString programDir = QFileInfo(m_prefix.filePath(QStringLiteral("bin/vesk"))).absolutePath();
        const QString found = HelpWindowController::findPage(page, HelpWindowController::pageDirectories(programDir));
        QCOMPARE(found, QDir(m_prefix.path()).filePath(QStringLiteral("share/vesk/help/") + page));
        QCOMPARE(test::readFile(found), test::readFile(QStringLiteral(VESK_HELP_SOURCE_DIR "/") + page));
    }

    // F1 in the installed program, started on a display of its own, shows the installed help
    // book and not the page that says it is missing.
    void showsItsHelpPagesOnScreen()
    {
        test::UserSession session;
        if (!session.startDisplay())
            QSKIP(qPrintable(QStringLiteral("no X display: ") + session.error()));
        session.setProgram(m_prefix.filePath(QStringLiteral("bin/vesk")));
        QTemporaryDir folder;
        test::writeFile(folder.path(), QStringLiteral("plain.txt"), "plain\n");
        QVERIFY2(session.launch({folder.path()}), qPrintable(session.error()));
        session.key(QStringLiteral("F1"));
        const std::optional<QRect> help = session.waitForWindow(QStringLiteral("^Vesk Help$"), 60000);
        QVERIFY(help);
        QString seen;
        QVERIFY2(session.waitForText(QStringLiteral("Vesk Help"), *help, 60000, &seen), qPrintable(seen));
        QVERIFY2(!seen.contains(QLatin1String("notfound")), qPrintable(seen));
        session.stopAll();
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
