#include "export/export_scanner.h"

#include "test_support.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace vesk;
using vesk::test::writeFile;

namespace {

void link(const QString &target, const QString &at)
{
    QVERIFY(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0);
}

// The tree in display order, one line per node: relative path, "/" for directories, the category
// for files.
QStringList render(const ExportTree &tree)
{
    QStringList lines;
    for (const ExportNodePtr &node : tree) {
        if (node->isDirectory) {
            lines << node->relativePath + QLatin1Char('/');
            lines << render(node->children);
        } else {
            lines << node->relativePath + QLatin1Char(' ') + toString(node->category);
        }
    }
    return lines;
}

ExportNodePtr node(const QString &name, bool isDirectory)
{
    auto made = std::make_shared<ExportNode>();
    made->name = name;
    made->isDirectory = isDirectory;
    return made;
}

} // namespace

class TestExportScanner : public QObject
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
        link(QStringLiteral("alpha"), root + QStringLiteral("/src/linked"));
        link(QStringLiteral(".."), root + QStringLiteral("/src/alpha/up"));
        link(QStringLiteral("nowhere"), root + QStringLiteral("/src/dangling.txt"));
        QString deep = QStringLiteral("src");
        for (int level = 2; level <= 15; ++level) {
            deep += QStringLiteral("/d%1").arg(level);
            writeFile(root, deep + QStringLiteral("/f%1.txt").arg(level + 1), "x");
        }

        const ExportTree tree = ExportScanner::buildTree(root, {QStringLiteral("node_modules"), QStringLiteral("src"),
                                                                QStringLiteral("missing")});
        QStringList expected{"node_modules/", "node_modules/x.js text", "src/", "src/alpha/", "src/alpha/a.png image"};
        QString path = QStringLiteral("src");
        for (int level = 2; level <= 14; ++level) {
            path += QStringLiteral("/d%1").arg(level);
            expected << path + QLatin1Char('/');
        }
        for (int level = 14; level >= 2; --level) {
            expected << path + QStringLiteral("/f%1.txt text").arg(level + 1);
            path.chop(QStringLiteral("/d%1").arg(level).size());
        }
        // The link back up to src is not followed: it would repeat src at every level.
        expected << "src/linked/" << "src/linked/a.png image" << "src/Zeta/" << "src/Zeta/z.txt text"
                 << "src/.vesk-export-filter text" << "src/main.cpp text"
                 << "A.txt text" << "a.txt text" << "b.txt text" << "README.md text";
        QCOMPARE(render(tree), expected);
    }

    void sortOrder()
    {
        QCollator collator{QLocale(QLocale::English, QLocale::UnitedStates)};
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        ExportTree nodes{node("cherry", false), node("apple", false), node("Zed", true), node("Apple", false),
                         node("Äpfel", false), node("abc", true), node("banana", false)};
        ExportScanner::sortNodes(nodes, collator);
        QStringList names;
        for (const ExportNodePtr &sorted : nodes) {
            names << sorted->name;
        }
        QCOMPARE(names, QStringList({"abc", "Zed", "Äpfel", "apple", "Apple", "banana", "cherry"}));
    }
};

QTEST_GUILESS_MAIN(TestExportScanner)
#include "tst_export_scanner.moc"
