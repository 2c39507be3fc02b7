// A day with the real program: started from the command line on a display of its own with a fresh
// home, driven by real X input, checked on disk first and then on screen. The steps run in order
// and build on each other; each test function is one step, so a failure names it.

#include "test_support.h"
#include "user_session.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrl>

using namespace vesk;
using test::UserSession;

namespace {

constexpr int appearMs = 30000;  // generous: the machine may be busy with builds

const QByteArray appText = "alphaOne\nbravoTwo\ncharlieThree\ndeltaFour\n";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A file with Japanese text under a Japanese name.
QString cjkName()
{
    return QStringLiteral("\u65E5\u672C\u8A9E.txt");
}

QPoint centerOf(const QRect &box)
{
    return box.center();
}

} // namespace

class TestUserDay : public QObject
{
    Q_OBJECT

    std::unique_ptr<UserSession> m_session;
    QTemporaryDir m_work;
    QString m_repo;       // the repository of the day
    QString m_side;       // a plain folder in a second tab
    int m_sidebarRight = 282;

    UserSession &s() { return *m_session; }

    // Where things are in the main window (the program places it at the top left of the screen
    // when there is no window manager).
    QRect topBand() const { return {0, 0, 1200, 95}; }
    QRect sidebar() const { return {0, 90, m_sidebarRight, 665}; }
    // The Files / Search / Changes buttons (a strip above them after a patch).
    QRect segments() const { return {0, 92, m_sidebarRight, 64}; }
    QRect editor() const { return {m_sidebarRight + 2, 95, 1200 - m_sidebarRight - 85, 660}; }
    QRect statusRow() const { return {m_sidebarRight + 2, 755, 1200 - m_sidebarRight - 2, 25}; }

    // The x of the line between the sidebar and the editor, read from the screen.
    int dividerX(const QImage &screen) const
    {
        const QImage image = screen.convertToFormat(QImage::Format_RGB32);
        const int y = 700;
        for (int x = 100; x < 700; ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qGray(pixel) > 190 && qGray(pixel) < 236 && qGray(image.pixel(x - 1, y)) > 250) {
                return x;
            }
        }
        return -1;
    }

    bool clickWord(const QString &word, QRect region, int button = 1)
    {
        const std::optional<QRect> box = s().waitForWord(word, region, appearMs);
        if (!box) {
            qWarning("not on screen: %s", qPrintable(word));
            return false;
        }
        s().click(centerOf(*box), button);
        return true;
    }

    // Opens the context menu at `at` and chooses `item` in it.
    bool chooseFromMenu(QPoint at, const QString &item)
    {
        s().click(at, 3);
        // The menu is a window of its own, named after the program.
        const std::optional<QRect> menu = s().waitForWindow(QStringLiteral("^Vesk$"), appearMs);
        return menu && clickWord(item, *menu);
    }

    // The status row's caret place, as the reader sees it ("ln3col5").
    bool waitForCaret(const QString &place)
    {
        QString seen;
        const bool ok = s().waitForText(place, statusRow(), appearMs, &seen);
        if (!ok) {
            qWarning("status row reads %s, wanted %s", qPrintable(seen), qPrintable(place));
        }
        return ok;
    }

    // The lines (1-based) of the first `count` whose gutter carries the orange mark of a modified
    // line. The rows are placed from two lines the reader finds: `upper` on line `upperLine` and
    // `lower` on line `lowerLine`.
    QList<int> markedLines(const QImage &screen, const QString &upper, int upperLine, const QString &lower,
                           int lowerLine, int count)
    {
        std::optional<QRect> top, bottom;
        for (const test::ScreenWord &word : UserSession::words(screen, editor())) {
            if (!top && test::readsAs(word.text, test::VirtualDisplay::squeeze(upper)))
                top = word.box;
            if (!bottom && test::readsAs(word.text, test::VirtualDisplay::squeeze(lower)))
                bottom = word.box;
        }
        if (!top || !bottom)
            return {-1};
        const double pitch = double(bottom->center().y() - top->center().y()) / (lowerLine - upperLine);
        QList<int> marked;
        for (int line = 1; line <= count; ++line) {
            const int y = int(top->center().y() + (line - upperLine) * pitch);
            const QRect gutter(m_sidebarRight, y - 3, 40, 7);
            if (test::countPixels(screen, gutter, test::isOrange) > 3)
                marked.append(line);
        }
        return marked;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_session = std::make_unique<UserSession>();
        if (!s().startDisplay()) {
            QSKIP(qPrintable(QStringLiteral("no X display for the day: ") + s().error()));
        }
        QVERIFY(m_work.isValid());
        m_repo = m_work.filePath(QStringLiteral("dayrepo"));
        m_side = m_work.filePath(QStringLiteral("sidefolder"));
        QVERIFY(QDir().mkpath(m_repo));
        test::initGitRepo(m_repo);
        test::writeFile(m_repo, QStringLiteral("app.txt"), appText);
        test::writeFile(m_repo, QStringLiteral("notes.md"), "firstNote\n");
        test::writeFile(m_repo, QStringLiteral("docs/guide.txt"), "guideText\nneedleLiteral here\n");
        test::writeFile(m_repo, cjkName(),
                        "\u3053\u3093\u306B\u3061\u306F \u6F22\u5B57 kanjiLine\n");
        test::writeFile(m_repo, QStringLiteral("src/code.txt"), "value17 = 1\nvalue42 = 2\nthirdValue\n");
        test::writeFile(m_repo, QStringLiteral("src/old_name.txt"), "rename this\n");
        test::writeFile(m_repo, QStringLiteral("src/doomed.txt"), "delete this\n");
        test::commitAll(m_repo, QStringLiteral("first"));
        test::writeFile(m_repo, QStringLiteral("notes.md"), "firstNote\nsecondNote\n");
        test::commitAll(m_repo, QStringLiteral("second"));
        // The day starts with a change, an untracked file and a secret that must never leave.
        test::writeFile(m_repo, QStringLiteral("notes.md"), "firstNote\nsecondNote\nthirdNote\n");
        test::writeFile(m_repo, QStringLiteral("draft.txt"), "untrackedDraft\n");
        test::writeFile(m_repo, QStringLiteral(".env"), "API_TOKEN=do-not-send\n");
        test::writeFile(m_side, QStringLiteral("side.txt"), "side_text\n");
    }

    void cleanupTestCase()
    {
        if (m_session) {
            qInfo("slowest step: %s", qPrintable(s().slowestStep()));
            qInfo("longest main-thread stall: %s", qPrintable(s().longestStall()));
            s().stopAll();
        }
    }

    void init()
    {
        if (!m_session || m_repo.isEmpty())
            return;
        s().beginStep(QString::fromLatin1(QTest::currentTestFunction()));
        // Each step starts where a user would: the window in front, the file tree showing.
        if (s().running()) {
            s().focusWindow();
            clickWord(QStringLiteral("Files"), segments());
        }
    }
    void cleanup()
    {
        s().endStep();
        if (QTest::currentTestFailed()) {
            // What the user would have seen, for whoever reads the failure.
            const QString shot = QDir::temp().filePath(QStringLiteral("vesk-day-%1.png")
                                                           .arg(QString::fromLatin1(QTest::currentTestFunction())));
            if (s().grab().save(shot))
                qWarning("screen at the failure: %s", qPrintable(shot));
        }
    }

    // 1. The repository opens from the command line with its tree, branch and changes.
    void opensTheRepository()
    {
        QVERIFY2(s().launch({m_side, m_repo}), qPrintable(s().error()));
        QVERIFY(s().waitForWord(QStringLiteral("dayrepo"), topBand(), appearMs));
        QVERIFY(s().waitForWord(QStringLiteral("sidefolder"), topBand(), appearMs));
        QVERIFY(s().waitForWord(QStringLiteral("main"), topBand(), appearMs));  // the branch
        QImage screen;
        const std::optional<QRect> notes = s().waitForWord(QStringLiteral("notes.md"), sidebar(), appearMs, &screen);
        QVERIFY(notes);
        m_sidebarRight = dividerX(screen);
        QVERIFY2(m_sidebarRight > 150, "no divider between the sidebar and the editor");
        const QStringList tree = [&] {
            QStringList seen;
            for (const test::ScreenWord &word : UserSession::words(screen, sidebar()))
                seen.append(word.text);
            return seen;
        }();
        for (const char *name : {"apptxt", "draft", "notesmd"})
            QVERIFY2(tree.join(u' ').contains(QLatin1String(name)), qPrintable(tree.join(u' ')));
        // The modified file carries the orange mark on its row.
        const QRect notesRow(notes->right(), notes->top(), m_sidebarRight - notes->right() - 2, notes->height());
        QVERIFY(test::countPixels(screen, notesRow, test::isOrange) > 4);

        QVERIFY(clickWord(QStringLiteral("Changes"), segments()));
        QVERIFY(s().waitUntil(
            [&] {
                const QString read = UserSession::text(s().grab(), sidebar());
                return read.contains(QLatin1String("notesmd")) && read.contains(QLatin1String("drafttxt"))
                       && !read.contains(QLatin1String("apptxt"));
            },
            appearMs));
        QVERIFY(clickWord(QStringLiteral("Files"), segments()));
    }

    // 2. Two carets, one undo, a save: disk, marks and the changes list agree.
    void editsAtTwoCaretsAndSaves()
    {
        QVERIFY(s().running());
        QVERIFY(clickWord(QStringLiteral("app.txt"), sidebar()));
        const std::optional<QRect> second = s().waitForWord(QStringLiteral("bravoTwo"), editor(), appearMs);
        QVERIFY(second);
        s().click(QPoint(second->right() + 40, second->center().y()));
        s().key(QStringLiteral("ctrl+Home ctrl+alt+Down"));
        s().type(QStringLiteral("Wq"));
        s().key(QStringLiteral("Right Left"));  // a caret move ends the typing step
        s().type(QStringLiteral("Zx"));
        QVERIFY(s().waitForWord(QStringLiteral("wqzxbravotwo"), editor(), appearMs));
        s().key(QStringLiteral("ctrl+z"));
        s().key(QStringLiteral("ctrl+s"));
        const QByteArray expected = "WqalphaOne\nWqbravoTwo\ncharlieThree\ndeltaFour\n";
        QVERIFY(s().waitUntil([&] { return readAll(m_repo + QStringLiteral("/app.txt")) == expected; }, appearMs));

        QImage screen;
        QVERIFY(s().waitUntil(
            [&] {
                screen = s().grab();
                return markedLines(screen, QStringLiteral("wqbravotwo"), 2, QStringLiteral("deltafour"), 4, 5)
                       == QList<int>{1, 2};
            },
            appearMs));
        QVERIFY(clickWord(QStringLiteral("Changes"), segments()));
        QVERIFY(s().waitForWord(QStringLiteral("app.txt"), sidebar(), appearMs));
        QVERIFY(clickWord(QStringLiteral("Files"), segments()));
    }

    // 3. Find in files, a literal and an expression; a hit opens at its line.
    void findsInFiles()
    {
        QVERIFY(s().running());
        QVERIFY(clickWord(QStringLiteral("Search"), segments()));
        s().type(QStringLiteral("needleLiteral"));
        s().key(QStringLiteral("Return"));
        QVERIFY(s().waitForWord(QStringLiteral("guide.txt:2"), sidebar(), appearMs));

        // The expression finds both values in another file; the second hit opens at its line.
        const std::optional<QRect> caseToggle = s().waitForWord(QStringLiteral("Aa"), sidebar(), appearMs);
        QVERIFY(caseToggle);
        s().click(caseToggle->center() + QPoint(52, 0));  // the ".*" toggle beside it
        const std::optional<QRect> field =
            s().waitForWord(QStringLiteral("needleLiteral"), QRect(0, 135, m_sidebarRight - 50, 30), appearMs);
        QVERIFY(field);
        s().click(field->center());
        s().key(QStringLiteral("ctrl+a"));
        s().type(QStringLiteral("value[0-9]+ ="));
        s().key(QStringLiteral("Return"));
        QVERIFY(s().waitForWord(QStringLiteral("code.txt:1"), sidebar(), appearMs));
        QVERIFY(clickWord(QStringLiteral("code.txt:2"), sidebar()));
        QVERIFY(s().waitForWord(QStringLiteral("value42"), editor(), appearMs));
        QVERIFY(waitForCaret(QStringLiteral("ln2col")));
        QVERIFY(clickWord(QStringLiteral("Files"), segments()));
    }

    // 4. Rename and delete from the tree (into the home's trash); a new folder and a new file.
    void managesFilesFromTheTree()
    {
        QVERIFY(s().running());
        const QString src = m_repo + QStringLiteral("/src");
        // The folder of the open file is open already; a click would close it.
        if (!s().waitForWord(QStringLiteral("old_name.txt"), sidebar(), 3000))
            QVERIFY(clickWord(QStringLiteral("src"), sidebar()));
        const std::optional<QRect> oldName = s().waitForWord(QStringLiteral("old_name.txt"), sidebar(), appearMs);
        QVERIFY(oldName);
        QVERIFY(chooseFromMenu(oldName->center(), QStringLiteral("Rename")));
        s().key(QStringLiteral("ctrl+a"));
        s().type(QStringLiteral("new_name.txt"));
        s().key(QStringLiteral("Return"));
        QVERIFY(s().waitUntil([&] { return QFileInfo(src + QStringLiteral("/new_name.txt")).isFile(); }, appearMs));
        QVERIFY(!QFileInfo::exists(src + QStringLiteral("/old_name.txt")));
        QCOMPARE(readAll(src + QStringLiteral("/new_name.txt")), QByteArray("rename this\n"));

        const std::optional<QRect> doomed = s().waitForWord(QStringLiteral("doomed.txt"), sidebar(), appearMs);
        QVERIFY(doomed);
        QVERIFY(chooseFromMenu(doomed->center(), QStringLiteral("Delete File")));
        const std::optional<QRect> confirm = s().waitForWindow(QStringLiteral("^Delete File$"), appearMs);
        QVERIFY(confirm);
        QVERIFY(clickWord(QStringLiteral("Delete"), QRect(confirm->x(), confirm->bottom() - 60, confirm->width(), 60)));
        QVERIFY(s().waitUntil([&] { return !QFileInfo::exists(src + QStringLiteral("/doomed.txt")); }, appearMs));
        QCOMPARE(readAll(s().trashFiles() + QStringLiteral("/doomed.txt")), QByteArray("delete this\n"));

        // New items in the repository's root: from the empty space below the tree.
        const QPoint empty(m_sidebarRight / 2, 700);
        QVERIFY(chooseFromMenu(empty, QStringLiteral("New Folder")));
        QVERIFY(s().waitForWindow(QStringLiteral("^New Folder$"), appearMs));
        s().type(QStringLiteral("fresh"));
        s().key(QStringLiteral("Return"));
        QVERIFY(s().waitUntil([&] { return QFileInfo(m_repo + QStringLiteral("/fresh")).isDir(); }, appearMs));
        QVERIFY(chooseFromMenu(empty, QStringLiteral("New File")));
        QVERIFY(s().waitForWindow(QStringLiteral("^New File$"), appearMs));
        s().type(QStringLiteral("made.txt"));
        s().key(QStringLiteral("Return"));
        QVERIFY(s().waitUntil([&] { return QFileInfo(m_repo + QStringLiteral("/made.txt")).isFile(); }, appearMs));
        QVERIFY(s().waitForWord(QStringLiteral("fresh"), sidebar(), appearMs));
        QVERIFY(s().waitForWord(QStringLiteral("made.txt"), sidebar(), appearMs));
    }

    // 5. Export without one folder: the archive, the saved choice and no secret.
    void exportsTheChosenFiles()
    {
        QVERIFY(s().running());
        QVERIFY(clickWord(QStringLiteral("Export"), topBand()));
        const std::optional<QRect> panel = s().waitForWindow(QStringLiteral("^Export Declaration"), appearMs);
        QVERIFY(panel);
        // The folder's box in the row of project folders at the top of the panel.
        const std::optional<QRect> docs =
            s().waitForWord(QStringLiteral("docs"), QRect(panel->x(), panel->y(), panel->width(), 100), appearMs);
        QVERIFY2(docs, qPrintable(QStringLiteral("panel at %1,%2 %3x%4").arg(panel->x()).arg(panel->y()).arg(panel->width()).arg(panel->height())));
        s().click(QPoint(docs->left() - 12, docs->center().y()));
        QVERIFY(clickWord(QStringLiteral("Export"),
                          QRect(panel->center().x(), panel->bottom() - 60, panel->width() / 2, 60)));
        QString zipPath;
        QVERIFY(s().waitUntil(
            [&] {
                QDir temp(s().tempDir());
                const QStringList dirs = temp.entryList({QStringLiteral("export-*")}, QDir::Dirs);
                zipPath = dirs.isEmpty() ? QString() : temp.filePath(dirs.first() + QStringLiteral("/dayrepo_export.zip"));
                return !zipPath.isEmpty() && QFileInfo(zipPath).isFile() && !s().windowShown(QStringLiteral("^Export Declaration"));
            },
            appearMs));
        bool ok = false;
        const QByteArray listing = test::run(QStringLiteral("/usr/bin/unzip"), {QStringLiteral("-Z1"), zipPath}, m_repo, &ok);
        QVERIFY(ok);
        QStringList names = QString::fromUtf8(listing).split(u'\n', Qt::SkipEmptyParts);
        names.sort();
        for (const char *want : {"app.txt", "notes.md", "draft.txt", "src/code.txt", "src/new_name.txt"})
            QVERIFY2(names.contains(QLatin1String(want)), qPrintable(names.join(u' ')));
        for (const QString &name : std::as_const(names)) {
            QVERIFY2(!name.startsWith(QLatin1String("docs/")), qPrintable(name));
            QVERIFY2(name != QLatin1String(".env"), "the secret file left in the archive");
        }
        // What is in the archive is what is on disk, byte for byte, under its own name.
        QVERIFY2(names.contains(cjkName()), qPrintable(names.join(u' ')));
        for (const QString &name : {QStringLiteral("app.txt"), cjkName()}) {
            QCOMPARE(test::run(QStringLiteral("/usr/bin/unzip"), {QStringLiteral("-p"), zipPath, name}, m_repo),
                     readAll(m_repo + u'/' + name));
        }
        const QJsonObject filter = QJsonDocument::fromJson(readAll(m_repo + QStringLiteral("/.vesk-export-filter"))).object();
        const QVariantList dirs = filter.value(QStringLiteral("includedDirs")).toArray().toVariantList();
        QVERIFY2(dirs.contains(QStringLiteral("src")) && !dirs.contains(QStringLiteral("docs")),
                 readAll(m_repo + QStringLiteral("/.vesk-export-filter")).constData());
    }

    // 6. A patch zip dropped from another program, one entry left out, applied.
    void appliesADroppedPatch()
    {
        QVERIFY(s().running());
        QVERIFY(clickWord(QStringLiteral("app.txt"), sidebar()));
        QVERIFY(s().waitForWord(QStringLiteral("bravoTwo"), editor(), appearMs));
        QTemporaryDir patch;
        test::writeFile(patch.path(), QStringLiteral("app.txt"), "patchedAlpha\nWqbravoTwo\ncharlieThree\ndeltaFour\n");
        test::writeFile(patch.path(), QStringLiteral("src/code.txt"), "value17 = 100\n");
        test::writeFile(patch.path(), QStringLiteral("added.txt"), "addedByPatch\n");
        const QString zip = patch.filePath(QStringLiteral("patch.zip"));
        bool ok = false;
        test::run(QStringLiteral("/usr/bin/zip"), {QStringLiteral("-qr"), zip, QStringLiteral("app.txt"),
                                                   QStringLiteral("src/code.txt"), QStringLiteral("added.txt")},
                  patch.path(), &ok);
        QVERIFY(ok);
        const QByteArray codeBefore = readAll(m_repo + QStringLiteral("/src/code.txt"));

        const std::optional<QRect> target = s().waitForWord(QStringLiteral("Drop"), topBand(), appearMs);
        QVERIFY(target);
        QVERIFY2(s().dragFileTo(zip, target->center()), "the drop was not taken");
        const std::optional<QRect> review = s().waitForWindow(QStringLiteral("^Apply ZIP Patch"), appearMs);
        QVERIFY(review);
        // Leave the change to code.txt out: its box in the "Apply" column.
        const std::optional<QRect> code = s().waitForWord(QStringLiteral("src/code.txt"), *review, appearMs);
        QVERIFY(code);
        const std::optional<QRect> column = s().waitForWord(QStringLiteral("Apply"), QRect(review->topLeft(), QSize(review->width(), 60)), appearMs);
        QVERIFY(column);
        s().click(QPoint(column->left() + 8, code->center().y()));  // the box sits at the column's left
        QVERIFY(clickWord(QStringLiteral("Apply Patch"), QRect(review->x(), review->bottom() - 70, review->width(), 70)));
        QVERIFY(s().waitUntil([&] { return readAll(m_repo + QStringLiteral("/added.txt")) == "addedByPatch\n"; }, appearMs));
        QCOMPARE(readAll(m_repo + QStringLiteral("/app.txt")), QByteArray("patchedAlpha\nWqbravoTwo\ncharlieThree\ndeltaFour\n"));
        QCOMPARE(readAll(m_repo + QStringLiteral("/src/code.txt")), codeBefore);
        QVERIFY(s().waitForWord(QStringLiteral("patchedAlpha"), editor(), appearMs));
    }

    // Leaves the window for another program and comes back, until `condition` holds. The program
    // notices a leave only after a moment (a return before that is no return); it shows that it
    // has by writing the workspace to its preferences.
    bool leaveAndReturnUntil(const std::function<bool()> &condition)
    {
        return s().waitUntil(
            [&] {
                const QDateTime before = QFileInfo(s().preferencesPath()).lastModified();
                if (!s().focusAway())
                    return false;
                s().waitUntil([&] { return QFileInfo(s().preferencesPath()).lastModified() != before; },
                              5000, 50);
                s().focusWindow();
                return s().waitUntil(condition, 3000, 200);
            },
            appearMs, 0);
    }

    // 7. A dirty file changed on disk: coming back raises the conflict; each answer holds.
    void resolvesConflictsBothWays()
    {
        QVERIFY(s().running());
        const QString path = m_repo + QStringLiteral("/app.txt");
        const QByteArray outsideFirst = "changedOutside\n";
        const QByteArray outsideSecond = "WqalphaOne\nWqbravoTwo\ncharlieThree\ndeltaFour\nfromOutside\n";
        for (const QString &answer : {QStringLiteral("Keep My Edits"), QStringLiteral("Reload from Disk")}) {
            const bool keep = answer.startsWith(u'K');
            const std::optional<QRect> line = s().waitForWord(QStringLiteral("deltaFour"), editor(), appearMs);
            QVERIFY(line);
            s().click(QPoint(line->right() + 40, line->center().y()));
            s().key(QStringLiteral("End"));
            s().type(QStringLiteral("Mine"));
            QVERIFY(s().waitForWord(keep ? QStringLiteral("deltaFourMine") : QStringLiteral("deltaFourMineMine"),
                                    editor(), appearMs));
            const QByteArray outside = keep ? outsideFirst : outsideSecond;
            test::writeFile(m_repo, QStringLiteral("app.txt"), outside);
            std::optional<QRect> panel;
            QVERIFY2(leaveAndReturnUntil([&] { return (panel = s().waitForWindow(QStringLiteral("^File Changed"), 0)).has_value(); }),
                     qPrintable(answer));
            // The dirty text was not written over the outside change on the way out.
            QCOMPARE(readAll(path), outside);
            QVERIFY(clickWord(answer, *panel));
            QVERIFY(s().waitUntil([&] { return !s().windowShown(QStringLiteral("^File Changed")); }, appearMs));
            if (keep) {
                QVERIFY(s().waitUntil([&] { return readAll(path).contains("deltaFourMine\n"); }, appearMs));
                QVERIFY(!readAll(path).contains("changedOutside"));
            } else {
                QVERIFY(s().waitForWord(QStringLiteral("fromOutside"), editor(), appearMs));
                QCOMPARE(readAll(path), outside);
            }
        }
    }

    // 8. Quit and start again: tabs, file, caret and sidebar width come back; a second start
    // hands its file to the first.
    void restartRestoresTheDay()
    {
        QVERIFY(s().running());
        // Widen the sidebar by dragging its divider.
        const int from = m_sidebarRight;
        s().moveMouse(QPoint(from, 600));
        s().press();
        for (int x = from + 10; x <= from + 80; x += 10)
            s().moveMouse(QPoint(x, 600));
        s().release();
        QVERIFY(s().waitUntil([&] { return std::abs(dividerX(s().grab()) - (from + 80)) <= 3; }, appearMs));
        m_sidebarRight = dividerX(s().grab());

        // The caret goes to line 3, column 5 of the open file.
        const std::optional<QRect> line = s().waitForWord(QStringLiteral("charlieThree"), editor(), appearMs);
        QVERIFY(line);
        s().click(QPoint(line->right() + 40, line->center().y()));
        s().key(QStringLiteral("Home Right Right Right Right"));
        QVERIFY(waitForCaret(QStringLiteral("ln3col5")));

        QVERIFY2(s().quit(appearMs), "the program did not end on Ctrl+Q");
        {
            const auto preferences = s().preferences();
            QVERIFY2(std::abs(preferences->value(QStringLiteral("sidebarWidth")).toDouble() - m_sidebarRight) <= 4,
                     qPrintable(preferences->value(QStringLiteral("sidebarWidth")).toString()));
        }

        QVERIFY2(s().launch({}), qPrintable(s().error()));
        QVERIFY(s().waitForWord(QStringLiteral("sidefolder"), topBand(), appearMs));
        QVERIFY(s().waitForWord(QStringLiteral("dayrepo"), topBand(), appearMs));
        QVERIFY(s().waitForWord(QStringLiteral("wqbravoTwo"), editor(), appearMs));
        QVERIFY(waitForCaret(QStringLiteral("ln3col5")));
        QVERIFY(s().waitUntil([&] { return std::abs(dividerX(s().grab()) - m_sidebarRight) <= 2; }, appearMs));

        // A second start with a file hands it over and ends; the first shows the file.
        QCOMPARE(s().runSecond({m_repo + QStringLiteral("/notes.md")}), 0);
        QVERIFY(s().waitForWord(QStringLiteral("thirdNote"), editor(), appearMs));
        QVERIFY(s().running());
    }

    // 9. A vesk URL opens its file at its line.
    void urlOpensAtTheLine()
    {
        QVERIFY(s().running());
        QUrl url(QStringLiteral("vesk://open"));
        url.setQuery(QStringLiteral("file=%1&line=3").arg(QString::fromLatin1(
            QUrl::toPercentEncoding(m_repo + QStringLiteral("/src/code.txt"), "/"))));
        QCOMPARE(s().runSecond({url.toString(QUrl::FullyEncoded)}), 0);
        QVERIFY(s().waitForWord(QStringLiteral("value42"), editor(), appearMs));
        QVERIFY(waitForCaret(QStringLiteral("ln3col")));
    }
};

QTEST_GUILESS_MAIN(TestUserDay)
#include "tst_user_day.moc"
