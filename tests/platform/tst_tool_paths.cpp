#include "platform/tool_paths.h"

#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using vesk::Tool;

class TestToolPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { vesk::resetToolPaths(); }

    void overrideTouchesOnlyItsTool_data()
    {
        QTest::addColumn<Tool>("tool");
        QTest::addColumn<QString>("defaultPath");
        QTest::addRow("git") << Tool::Git << QStringLiteral("/usr/bin/git");
        QTest::addRow("diff") << Tool::Diff << QStringLiteral("/usr/bin/diff");
        QTest::addRow("zip") << Tool::Zip << QStringLiteral("/usr/bin/zip");
        QTest::addRow("unzip") << Tool::Unzip << QStringLiteral("/usr/bin/unzip");
    }

    void overrideTouchesOnlyItsTool()
    {
        QFETCH(Tool, tool);
        QFETCH(QString, defaultPath);
        QCOMPARE(vesk::toolPath(tool), defaultPath);
        const Tool other = tool == Tool::Git ? Tool::Unzip : Tool::Git;
        const QString otherDefault = vesk::toolPath(other);

        vesk::setToolPath(tool, QStringLiteral("/tmp/stand-in"));
        QCOMPARE(vesk::toolPath(tool), QStringLiteral("/tmp/stand-in"));
        QCOMPARE(vesk::toolPath(other), otherDefault);
        vesk::setToolPath(tool, QString());
        QCOMPARE(vesk::toolPath(tool), defaultPath);
        vesk::setToolPath(tool, QStringLiteral("/tmp/stand-in"));
        vesk::resetToolPaths();
        QCOMPARE(vesk::toolPath(tool), defaultPath);
    }

    // Workers read the path while a test swaps it; every read must see one whole value.
    void readersSeeWholeValues()
    {
        const QString standIn = QStringLiteral("/tmp/a-stand-in-long-enough-to-live-on-the-heap");
        std::atomic_bool stop{false};
        std::atomic_int torn{0};
        std::vector<std::thread> readers;
        for (int i = 0; i < 3; ++i) {
            readers.emplace_back([&] {
                while (!stop.load()) {
                    const QString path = vesk::toolPath(Tool::Git);
                    if (path != standIn && path != QLatin1String("/usr/bin/git")) {
                        ++torn;
                    }
                }
            });
        }
        for (int i = 0; i < 20000; ++i) {
            vesk::setToolPath(Tool::Git, i % 2 ? standIn : QString());
        }
        stop = true;
        for (std::thread &reader : readers) {
            reader.join();
        }
        QCOMPARE(torn.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestToolPaths)
#include "tst_tool_paths.moc"
