#include "platform/preferences.h"

#include "test_support.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <thread>

using vesk::Preferences;

namespace {

enum class Getter { Bool, Int, Double, String, StringList, Bytes };

QVariant read(Getter getter, const QString &key)
{
    const Preferences &p = Preferences::instance();
    switch (getter) {
    case Getter::Bool:
        return p.boolValue(key);
    case Getter::Int:
        return p.intValue(key);
    case Getter::Double:
        return p.doubleValue(key);
    case Getter::String:
        return p.stringValue(key);
    case Getter::StringList:
        return p.stringListValue(key);
    case Getter::Bytes:
        return p.bytesValue(key);
    }
    return {};
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;

    // QSettings caches a file once read in this process, so every case gets a file of its own.
    QString freshFile(const QByteArray &content = {})
    {
        const QString name = QStringLiteral("prefs%1.ini").arg(++m_files);
        return content.isNull() ? m_dir.filePath(name) : vesk::test::writeFile(m_dir.path(), name, content);
    }

private Q_SLOTS:
    void cleanupTestCase() { Preferences::useFile(freshFile()); }

    void typedReads_data()
    {
        QTest::addColumn<QByteArray>("onDisk");  // the value as a hand-edited INI file holds it
        QTest::addColumn<QVariant>("stored");    // or a value set through the store
        QTest::addColumn<Getter>("getter");
        QTest::addColumn<QVariant>("fallback");
        QTest::addColumn<QVariant>("expected");
        const QByteArray none;
        const QVariant unset;
        QTest::addRow("number") << QByteArray("42") << unset << Getter::Int << QVariant(7) << QVariant(qint64(42));
        QTest::addRow("not a number") << QByteArray("abc") << unset << Getter::Int << QVariant(7) << QVariant(qint64(7));
        QTest::addRow("not a number, no default") << QByteArray("abc") << unset << Getter::Int << unset << QVariant(qint64(0));
        QTest::addRow("fraction as integer") << QByteArray("2.5") << unset << Getter::Int << QVariant(7) << QVariant(qint64(7));
        QTest::addRow("missing") << none << unset << Getter::Int << QVariant(7) << QVariant(qint64(7));
        QTest::addRow("default of the wrong type") << none << unset << Getter::Int << QVariant(QStringLiteral("abc"))
                                                   << QVariant(qint64(0));
        QTest::addRow("false") << QByteArray("false") << unset << Getter::Bool << QVariant(true) << QVariant(false);
        QTest::addRow("bool garbage") << QByteArray("yes please") << unset << Getter::Bool << QVariant(false) << QVariant(false);
        QTest::addRow("list as bool") << none << QVariant(QStringList{QStringLiteral("a"), QStringLiteral("b")})
                                      << Getter::Bool << QVariant(true) << QVariant(true);
        QTest::addRow("list on disk as bool") << QByteArray("a, b") << unset << Getter::Bool << QVariant(true) << QVariant(true);
        QTest::addRow("integer as bool") << none << QVariant(5) << Getter::Bool << QVariant(false) << QVariant(false);
        QTest::addRow("double") << QByteArray("2.5") << unset << Getter::Double << QVariant(1.0) << QVariant(2.5);
        QTest::addRow("double garbage") << QByteArray("2.5x") << unset << Getter::Double << QVariant(1.0) << QVariant(1.0);
        QTest::addRow("quoted string") << QByteArray("\"hello, world\"") << unset << Getter::String << unset
                                       << QVariant(QStringLiteral("hello, world"));
        QTest::addRow("number as string") << none << QVariant(42) << Getter::String << unset << QVariant(QStringLiteral("42"));
        QTest::addRow("list as string") << QByteArray("a, b") << unset << Getter::String << QVariant(QStringLiteral("d"))
                                        << QVariant(QStringLiteral("d"));
        QTest::addRow("one-item list") << QByteArray("a") << unset << Getter::StringList << QVariant(QStringList{"d"})
                                       << QVariant(QStringList{QStringLiteral("a")});
        QTest::addRow("empty list") << QByteArray("@Invalid()") << unset << Getter::StringList
                                    << QVariant(QStringList{"d"}) << QVariant(QStringList());
        QTest::addRow("bytes") << QByteArray("@ByteArray(\\x1z)") << unset << Getter::Bytes << unset
                               << QVariant(QByteArray("\x01z"));
        QTest::addRow("string as bytes") << QByteArray("text") << unset << Getter::Bytes << QVariant(QByteArray("d"))
                                         << QVariant(QByteArray("d"));
    }

    void typedReads()
    {
        QFETCH(QByteArray, onDisk);
        QFETCH(QVariant, stored);
        QFETCH(Getter, getter);
        QFETCH(QVariant, fallback);
        const QString key = QStringLiteral("key");
        Preferences::useFile(freshFile(onDisk.isNull() ? QByteArray("") : "[General]\nkey=" + onDisk + "\n"));
        Preferences &preferences = Preferences::instance();
        preferences.registerDefaults({{key, fallback}});
        if (stored.isValid()) {
            preferences.setValue(key, stored);
        }
        QTEST(read(getter, key), "expected");
    }

    void changedIsSentOnTheMainThread_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<bool>("remove");
        QTest::addRow("set") << false << false;
        QTest::addRow("remove") << false << true;
        QTest::addRow("set from a worker") << true << false;
        QTest::addRow("remove from a worker") << true << true;
    }

    void changedIsSentOnTheMainThread()
    {
        QFETCH(bool, fromWorker);
        QFETCH(bool, remove);
        Preferences::useFile(freshFile("[General]\nwrap=false\n"));
        Preferences &preferences = Preferences::instance();
        QSignalSpy spy(&preferences, &Preferences::changed);
        QList<QThread *> senders;
        connect(&preferences, &Preferences::changed, this, [&senders] { senders.append(QThread::currentThread()); },
                Qt::DirectConnection);
        const auto change = [&] {
            remove ? preferences.remove(QStringLiteral("wrap")) : preferences.setValue(QStringLiteral("wrap"), true);
        };
        if (fromWorker) {
            std::thread(change).join();
        } else {
            change();
        }
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toString(), QStringLiteral("wrap"));
        QCOMPARE(senders, QList<QThread *>{thread()});
        QCOMPARE(preferences.contains(QStringLiteral("wrap")), !remove);
        disconnect(&preferences, nullptr, this, nullptr);
    }

    void survivesReopening()
    {
        const QString path = freshFile();
        Preferences::useFile(path);
        Preferences &preferences = Preferences::instance();
        preferences.registerDefaults({{QStringLiteral("tab"), 4}});
        preferences.setValue(QStringLiteral("font"), QStringLiteral("Menlo, 12"));
        preferences.setValue(QStringLiteral("size"), 13);
        preferences.setValue(QStringLiteral("wrap"), true);
        preferences.setValue(QStringLiteral("recent"), QStringList{QStringLiteral("/a"), QStringLiteral("/b, c")});
        preferences.setValue(QStringLiteral("gone"), 1);
        preferences.remove(QStringLiteral("gone"));
        preferences.sync();

        const QString copy = freshFile();
        QVERIFY(QFile::copy(path, copy));  // a path never read in this process is parsed from disk
        Preferences::useFile(copy);
        QCOMPARE(preferences.stringValue(QStringLiteral("font")), QStringLiteral("Menlo, 12"));
        QCOMPARE(preferences.intValue(QStringLiteral("size")), 13);
        QCOMPARE(preferences.boolValue(QStringLiteral("wrap")), true);
        QCOMPARE(preferences.stringListValue(QStringLiteral("recent")),
                 (QStringList{QStringLiteral("/a"), QStringLiteral("/b, c")}));
        QVERIFY(!preferences.contains(QStringLiteral("gone")));
        QCOMPARE(preferences.intValue(QStringLiteral("tab")), 4);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
