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
    void overrideTouchesOnlyItsTool()
    {
        vesk::setToolPath(Tool::Diff, QStringLiteral("/tmp/stand-in"));
        QCOMPARE(vesk::toolPath(Tool::Diff), QStringLiteral("/tmp/stand-in"));
        QCOMPARE(vesk::toolPath(Tool::Git), QStringLiteral("/usr/bin/git"));
        vesk::setToolPath(Tool::Diff, QString());
        QCOMPARE(vesk::toolPath(Tool::Diff), QStringLiteral("/usr/bin/diff"));
        vesk::setToolPath(Tool::Unzip, QStringLiteral("/tmp/stand-in"));
        vesk::resetToolPaths();
        QCOMPARE(vesk::toolPath(Tool::Unzip), QStringLiteral("/usr/bin/unzip"));
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
                while (!stop) {
                    const QString path = vesk::toolPath(Tool::Git);
                    torn += path != standIn && path != QLatin1String("/usr/bin/git");
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
