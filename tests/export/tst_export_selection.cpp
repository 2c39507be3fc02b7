#include "export/export_selection.h"

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace vesk;
using vesk::test::readFile;
using vesk::test::writeFile;

namespace {

// key.pem is secret, tool is binary, the rest text or image.
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

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TestExportSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void toggles_data()
    {
        QTest::addColumn<QStringList>("steps");  // "f:path" flips a file, "d:path" a directory
        QTest::addColumn<QStringList>("included");
        QTest::addColumn<QStringList>("excluded");
        QTest::addColumn<QStringList>("exportList");
        const QStringList defaults{"lib/c.txt", "logo.png", "notes.md", "src/a.txt", "src/b.txt"};
        QTest::addRow("secret on") << QStringList{"f:key.pem"} << QStringList{"key.pem"} << QStringList()
                                   << QStringList{"key.pem"} + defaults;
        QTest::addRow("secret on and off") << QStringList{"f:key.pem", "f:key.pem"} << QStringList() << QStringList()
                                           << defaults;
        QTest::addRow("image off") << QStringList{"f:logo.png"} << QStringList() << QStringList{"logo.png"}
                                   << QStringList{"lib/c.txt", "notes.md", "src/a.txt", "src/b.txt"};
        QTest::addRow("image off and on") << QStringList{"f:logo.png", "f:logo.png"} << QStringList() << QStringList()
                                          << defaults;
        QTest::addRow("partly selected dir") << QStringList{"d:src"} << QStringList{"src/tool"} << QStringList()
                                             << defaults + QStringList{"src/tool"};
        QTest::addRow("dir twice") << QStringList{"d:src", "d:src"} << QStringList() << QStringList{"src/a.txt", "src/b.txt"}
                                   << QStringList{"lib/c.txt", "logo.png", "notes.md"};
        QTest::addRow("dir with one file off") << QStringList{"f:src/a.txt", "d:src"} << QStringList{"src/tool"}
                                               << QStringList() << defaults + QStringList{"src/tool"};
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
        const QString path = ExportFilter::filePath(repo.path());
        if (!file.isNull()) {
            writeFile(repo.path(), ExportFilter::fileName(), file);
        }
        ExportSelection selection;
        selection.open(repo.path());
        QCOMPARE(selection.filter(), (ExportFilter{{"lib", "src"}, {}, {}}));
        QCOMPARE(selection.allTopDirs(), QStringList({"build", "lib", "src"}));
        QCOMPARE(readFile(path), file);  // nothing written on open
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

        // Overrides inside a directory are lost by unchecking and checking it again.
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

    // A filter file that is a link is written only when it leads into the repository.
    void linkedFilterFile_data()
    {
        QTest::addColumn<bool>("inside");
        QTest::addRow("into the repository") << true;
        QTest::addRow("out of the repository") << false;
    }

    void linkedFilterFile()
    {
        QFETCH(bool, inside);
        QTemporaryDir repo;
        QTemporaryDir elsewhere;
        makeRepo(repo.path());
        const QString target = (inside ? repo.path() : elsewhere.path()) + QStringLiteral("/shared-filter");
        writeFile(QFileInfo(target).path(), QStringLiteral("shared-filter"), "precious");
        QVERIFY(::symlink(QFile::encodeName(target).constData(),
                          QFile::encodeName(ExportFilter::filePath(repo.path())).constData()) == 0);
        const bool written = ExportFilter{{"src"}, {}, {}}.save(repo.path());
        QCOMPARE(written, inside);
        QCOMPARE(readFile(target) == "precious", !inside);
        QVERIFY(QFileInfo(ExportFilter::filePath(repo.path())).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestExportSelection)
#include "tst_export_selection.moc"
