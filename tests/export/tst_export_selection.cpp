#include "export/export_scanner.h"
#include "export/export_selection.h"

#include "test_support.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace vesk;
using vesk::test::readFile;
using vesk::test::writeFile;

namespace {

// key.pem is secret, src/tool binary, the rest text or image.
void makeRepo(const QString &root)
{
    for (const char *name : {"notes.md", "logo.png", "key.pem", "src/a.txt", "src/b.txt", "lib/c.txt", ".git/HEAD",
                             "build/out.txt"}) {
        writeFile(root, QString::fromUtf8(name), "text");
    }
    writeFile(root, QStringLiteral("src/tool"), "\x7f" "ELF");
}

const ExportNode *find(const ExportTree &tree, const QString &path)
{
    for (const ExportNodePtr &node : tree) {
        if (node->relativePath == path) {
            return node.get();
        }
        if (const ExportNode *below = find(node->children, path)) {
            return below;
        }
    }
    return nullptr;
}

// The tree in display order, one line per node: relative path, "/" for directories, the category
// for files.
QStringList render(const ExportTree &tree)
{
    QStringList lines;
    for (const ExportNodePtr &node : tree) {
        lines << (node->isDirectory ? node->relativePath + '/' : node->relativePath + ' ' + toString(node->category));
        lines << render(node->children);
    }
    return lines;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

// The scan of a repository into the export tree, and the selection the panel keeps over it.
class TestExportSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildTree()
    {
        QTemporaryDir repo;
        const QString root = repo.path();
        for (const char *name : {"README.md", "b.txt", "A.txt", "a.txt", ".DS_Store", ".vesk-export-filter",
                                 "node_modules/x.js", "docs/unchosen.md", "src/main.cpp", "src/.DS_Store",
                                 "src/.vesk-export-filter", "src/build/out.o", "src/Tools.app/x", "src/Debug.DSYM/x",
                                 "src/node_modules/y.js", "src/onlyds/.DS_Store", "src/Zeta/z.txt",
                                 "src/alpha/a.png", "src/bin/tool"}) {
            writeFile(root, QString::fromUtf8(name), "x");
        }
        QVERIFY(QDir(root).mkpath(QStringLiteral("src/empty/inner")));
        const auto link = [&](const char *target, const QString &at) {
            QVERIFY(::symlink(target, QFile::encodeName(root + at).constData()) == 0);
        };
        link("alpha", QStringLiteral("/src/linked"));
        link("..", QStringLiteral("/src/alpha/up"));
        link("nowhere", QStringLiteral("/src/dangling.txt"));
        // A relative path has at most 15 components: f15.txt is the deepest file kept.
        const QString chain = QStringLiteral("src/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/d12/d13/d14");
        writeFile(root, chain + "/f15.txt", "x");
        writeFile(root, chain + "/d15/f16.txt", "x");

        QStringList tree = render(ExportScanner::buildTree(root, {"node_modules", "src", "missing"}));
        const QRegularExpression inChain("^src/d\\d");
        const QStringList deep = tree.filter(inChain);
        QCOMPARE(deep.size(), 14);  // d2 ... d14 and f15.txt
        QCOMPARE(deep.last(), chain + "/f15.txt text");
        tree.removeIf([&](const QString &line) { return line.contains(inChain); });
        QStringList expected{"node_modules/", "node_modules/x.js text", "src/", "src/alpha/", "src/alpha/a.png image"};
        // The link back up to src is not followed: it would repeat src at every level. Nor is the
        // link to alpha, scanned already: each real folder's files are offered once.
        expected << "src/Zeta/" << "src/Zeta/z.txt text"
                 << "src/.vesk-export-filter text" << "src/main.cpp text"
                 << "A.txt text" << "a.txt text" << "b.txt text" << "README.md text";
        QCOMPARE(tree, expected);
    }

    void sortOrder()
    {
        QCollator collator{QLocale(QLocale::English, QLocale::UnitedStates)};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        ExportTree nodes;
        for (const char *name : {"cherry", "apple", "/Zed", "Apple", "Äpfel", "/abc", "banana"}) {
            auto node = std::make_shared<ExportNode>();
            node->isDirectory = name[0] == '/';
            node->name = QString::fromUtf8(node->isDirectory ? name + 1 : name);
            nodes.append(node);
        }
        ExportScanner::sortNodes(nodes, collator);
        QStringList names;
        for (const ExportNodePtr &sorted : nodes) {
            names << sorted->name;
        }
        QCOMPARE(names, QStringList({"abc", "Zed", "Äpfel", "apple", "Apple", "banana", "cherry"}));
    }

    void toggles_data()
    {
        QTest::addColumn<QStringList>("steps");  // "f:path" flips a file, "d:path" a directory
        QTest::addColumn<QStringList>("included");
        QTest::addColumn<QStringList>("excluded");
        QTest::addColumn<QStringList>("exportList");
        const QStringList defaults{"lib/c.txt", "logo.png", "notes.md", "src/a.txt", "src/b.txt"};
        const QStringList none;
        QTest::addRow("secret on") << QStringList{"f:key.pem"} << QStringList{"key.pem"} << none
                                   << QStringList{"key.pem"} + defaults;
        QTest::addRow("secret on and off") << QStringList{"f:key.pem", "f:key.pem"} << none << none << defaults;
        QTest::addRow("image off") << QStringList{"f:logo.png"} << none << QStringList{"logo.png"}
                                   << QStringList{"lib/c.txt", "notes.md", "src/a.txt", "src/b.txt"};
        QTest::addRow("image off and on") << QStringList{"f:logo.png", "f:logo.png"} << none << none << defaults;
        QTest::addRow("partly selected dir") << QStringList{"d:src"} << QStringList{"src/tool"} << none
                                             << defaults + QStringList{"src/tool"};
        QTest::addRow("dir twice") << QStringList{"d:src", "d:src"} << none << QStringList{"src/a.txt", "src/b.txt"}
                                   << QStringList{"lib/c.txt", "logo.png", "notes.md"};
        QTest::addRow("dir with one file off") << QStringList{"f:src/a.txt", "d:src"} << QStringList{"src/tool"}
                                               << none << defaults + QStringList{"src/tool"};
    }

    void toggles()
    {
        QFETCH(QStringList, steps);
        QTemporaryDir repo;
        makeRepo(repo.path());
        ExportSelection selection;
        selection.open(repo.path());
        QSignalSpy changes(&selection, &ExportSelection::willChange);
        for (const QString &step : steps) {
            const ExportNode *node = find(selection.tree(), step.mid(2));
            QVERIFY2(node, qPrintable(step));
            step.startsWith(QLatin1Char('f')) ? selection.toggleFile(*node) : selection.toggleDir(*node);
        }
        QVERIFY(changes.count() >= steps.size());
        QTEST(sorted(selection.filter().included), "included");
        QTEST(sorted(selection.filter().excluded), "excluded");
        QTEST(selection.exportList(), "exportList");
        QVERIFY(!QFile::exists(ExportFilter::filePath(repo.path())));  // toggles change memory only
    }

    void openWithoutFilter_data()
    {
        QTest::addColumn<QByteArray>("file");  // null: no file
        QTest::addRow("no file") << QByteArray();
        QTest::addRow("not JSON") << QByteArray("{\"includedDirs\": [\"lib\"");
        QTest::addRow("lacks included") << QByteArray(R"({"includedDirs": ["lib"], "excluded": []})");
        QTest::addRow("number in a list") << QByteArray(R"({"includedDirs": [1], "included": [], "excluded": []})");
        QTest::addRow("array") << QByteArray("[]");
    }

    void openWithoutFilter()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir repo;
        makeRepo(repo.path());
        if (!file.isNull()) {
            writeFile(repo.path(), ExportFilter::fileName(), file);
        }
        ExportSelection selection;
        selection.open(repo.path());
        QCOMPARE(selection.filter(), (ExportFilter{{"lib", "src"}, {}, {}}));
        QCOMPARE(selection.allTopDirs(), QStringList({"build", "lib", "src"}));
        QCOMPARE(readFile(ExportFilter::filePath(repo.path())), file);  // nothing written on open
    }

    void savedFilter()
    {
        QTemporaryDir repo;
        makeRepo(repo.path());
        writeFile(repo.path(), ExportFilter::fileName(),
                  R"({"includedDirs": ["src", "gone"], "included": ["src/a.txt", "old.bin"],
                      "excluded": ["src/a.txt", "src/b.txt", "old.txt"], "extra": 1})");
        ExportSelection selection;
        selection.open(repo.path());
        QCOMPARE(selection.exportList(), QStringList({"logo.png", "notes.md", "src/a.txt"}));  // included wins

        selection.save();
        const ExportFilter pruned{{"src", "gone"}, {"src/a.txt"}, {"src/a.txt", "src/b.txt"}};
        QCOMPARE(selection.filter(), pruned);
        QCOMPARE(ExportFilter::load(repo.path()), pruned);
        const QByteArray text = readFile(ExportFilter::filePath(repo.path()));
        QVERIFY(text.indexOf("\"excluded\"") < text.indexOf("\"included\""));
        QVERIFY(text.indexOf("\"included\"") < text.indexOf("\"includedDirs\""));
        QVERIFY(text.contains("[\n        \"src/a.txt\",\n        \"src/b.txt\"\n    ]"));

        selection.toggleFile(*find(selection.tree(), QStringLiteral("src/a.txt")));
        QVERIFY(!selection.isSelected(QStringLiteral("src/a.txt")));
    }

    // Overrides inside a directory are lost by unchecking and checking it again; each change saves.
    void topDirectories()
    {
        QTemporaryDir repo;
        makeRepo(repo.path());
        writeFile(repo.path(), QStringLiteral("node_modules/m.js"), "m");
        ExportSelection selection;
        selection.open(repo.path());
        QCOMPARE(selection.allTopDirs(), QStringList({"build", "lib", "node_modules", "src"}));
        const ExportFilter before = selection.filter();
        selection.dirChanged(-1, true);
        selection.dirChanged(4, true);
        QCOMPARE(selection.filter(), before);

        selection.toggleFile(*find(selection.tree(), QStringLiteral("src/tool")));
        selection.toggleFile(*find(selection.tree(), QStringLiteral("notes.md")));
        selection.dirChanged(3, false);
        QCOMPARE(selection.filter(), (ExportFilter{{"lib"}, {}, {"notes.md"}}));
        selection.dirChanged(3, true);
        selection.dirChanged(2, true);
        QCOMPARE(selection.filter(), (ExportFilter{{"lib", "src", "node_modules"}, {}, {"notes.md"}}));
        QVERIFY(selection.isSelected(QStringLiteral("node_modules/m.js")));
        QVERIFY(!selection.isSelected(QStringLiteral("src/tool")));
        QCOMPARE(ExportFilter::load(repo.path()), selection.filter());

        selection.scanDefaults();
        QCOMPARE(selection.filter(), (ExportFilter{{"lib", "src"}, {}, {}}));
        QCOMPARE(ExportFilter::load(repo.path()), selection.filter());
    }

    // The filter is never written through a link, wherever it leads, and a filter file that is
    // not a regular file is never read: the panel says the choice cannot be saved instead.
    void oddFilterFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addRow("link to a file in the repository") << "link inside";
        QTest::addRow("link out of the repository") << "link outside";
        QTest::addRow("named pipe") << "fifo";
        QTest::addRow("link to /dev/zero") << "zero";
    }

    void oddFilterFile()
    {
        QFETCH(QString, kind);
        QTemporaryDir repo, elsewhere;
        makeRepo(repo.path());
        const QString filterPath = ExportFilter::filePath(repo.path());
        const QString target = kind == "link inside"  ? writeFile(repo.path(), "src/main.c", "int main;")
                               : kind == "link outside" ? writeFile(elsewhere.path(), "shared-filter", "precious")
                               : kind == "zero"         ? QStringLiteral("/dev/zero")
                                                        : QString();
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(filterPath).constData(), 0600), 0);
        } else {
            QVERIFY(vesk::test::makeSymlink(target, filterPath));
        }
        const QByteArray before = target.startsWith("/dev") || target.isEmpty() ? QByteArray() : readFile(target);
        QCOMPARE(ExportFilter::load(repo.path()), std::nullopt);
        ExportSelection selection;
        selection.open(repo.path());
        QCOMPARE(selection.filter(), (ExportFilter{{"lib", "src"}, {}, {}}));
        selection.rescan();  // saves
        QVERIFY2(selection.saveError().contains("cannot be saved"), qPrintable(selection.saveError()));
        QVERIFY(!(ExportFilter{{"src"}, {}, {}}.save(repo.path())));
        QVERIFY(!target.startsWith("/dev") && !target.isEmpty() ? readFile(target) == before : true);
        QCOMPARE(QFileInfo(filterPath).isSymLink(), kind != "fifo");
        QVERIFY(QFileInfo(filterPath).isSymLink() || !QFileInfo(filterPath).isFile());
    }

    // Nothing outside the repository's real path is offered or packed: a link leading out is
    // listed as left out, with its reason, whatever the saved choice says.
    void linksLeadingOutside()
    {
        QTemporaryDir repo, outside;
        makeRepo(repo.path());
        writeFile(outside.path(), "private/diary.txt", "secret thoughts");
        QVERIFY(vesk::test::makeSymlink(outside.path() + "/private", repo.path() + "/docs"));
        QVERIFY(vesk::test::makeSymlink(outside.path() + "/private/diary.txt", repo.path() + "/diary.txt"));
        QVERIFY(vesk::test::makeSymlink("../lib", repo.path() + "/src/lib-alias"));
        writeFile(repo.path(), ExportFilter::fileName(),
                  R"({"includedDirs": ["docs", "src"], "included": ["docs", "diary.txt", "docs/diary.txt"], "excluded": []})");
        ExportSelection selection;
        selection.open(repo.path());
        for (const QString &path : {QStringLiteral("docs"), QStringLiteral("diary.txt")}) {
            const ExportNode *node = find(selection.tree(), path);
            QVERIFY2(node && node->outsideRepository && !node->isDirectory, qPrintable(path));
            QCOMPARE(node->reason, QStringLiteral("Link leading outside the repository"));
            QVERIFY(!selection.isSelected(path));
        }
        QVERIFY(!find(selection.tree(), QStringLiteral("docs/diary.txt")));
        QVERIFY(selection.isSelected(QStringLiteral("src/lib-alias/c.txt")));  // a link inside is fine
        for (const QString &path : selection.exportList()) {
            QVERIFY2(!path.startsWith("docs") && path != "diary.txt", qPrintable(path));
        }
        // Proposed by default too: still never selected.
        QVERIFY(FileClassifier::defaultIncludedDirs(repo.path()).contains("docs"));
        selection.scanDefaults();
        QVERIFY(!selection.isSelected(QStringLiteral("docs")));
    }

    // Folders that link to each other are scanned once each, however many ways lead to them.
    void foldersLinkingToEachOther()
    {
        QTemporaryDir repo;
        for (int a = 1; a <= 8; ++a) {
            writeFile(repo.path(), QStringLiteral("top/m%1/f.txt").arg(a), "text");
        }
        for (int a = 1; a <= 8; ++a) {
            for (int b = 1; b <= 8; ++b) {
                QVERIFY(a == b
                        || vesk::test::makeSymlink(QStringLiteral("../m%1").arg(b),
                                                   repo.path() + QStringLiteral("/top/m%1/to%2").arg(a).arg(b)));
            }
        }
        const ExportTree tree = ExportScanner::buildTree(repo.path(), {QStringLiteral("top")});
        QCOMPARE(allFileNodes(tree).size(), 8);
    }
};

QTEST_GUILESS_MAIN(TestExportSelection)
#include "tst_export_selection.moc"
