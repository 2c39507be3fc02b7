#include "patch/dropped_zip.h"
#include "patch/ui/patch_result_strip.h"
#include "patch/ui/patch_review_panel.h"
#include "patch/ui/patch_toolbar_section.h"
#include "patch/ui/zip_drop_target.h"
#include "platform/background.h"
#include "platform/temp_files.h"
#include "workspace/repository_state.h"

#include "patch_ui_test_util.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QUrl>

using namespace vesk;
using namespace vesk::test;

namespace {

// What a drop carries: file URLs and data by type, in the order the sender offered them.
struct DropContent
{
    QStringList urls;
    QList<std::pair<QString, QByteArray>> data;
};

std::unique_ptr<QMimeData> mimeOf(const DropContent &content)
{
    auto mime = std::make_unique<QMimeData>();
    if (!content.urls.isEmpty()) {
        QList<QUrl> urls;
        for (const QString &url : content.urls) {
            urls << (url.contains(QStringLiteral("://")) ? QUrl(url) : QUrl::fromLocalFile(url));
        }
        mime->setUrls(urls);
    }
    for (const auto &[type, bytes] : content.data) {
        mime->setData(type, bytes);
    }
    return mime;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(DropContent)

class TestPatchDrop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void dropOutcome_data();
    void dropOutcome();
    void hoverOnlyHighlights();
    void flowKeepsOrDeletesTheZip_data();
    void flowKeepsOrDeletesTheZip();
    void failedAnalysisShowsOnlyErrors();
    void unusableDropRaisesTheAlert();
    void closingThePanelCancels();
    void resultStripShowsCountsAndErrors();

private:
    QTemporaryDir m_dir;
    QString m_zip;
    QByteArray m_zipBytes;
    PrivatePreferences m_preferences;
};

void TestPatchDrop::initTestCase()
{
    m_zip = m_dir.filePath(QStringLiteral("reply.zip"));
    makeZip(m_zip, {{QStringLiteral("proj/src/a.c"), "int a;\n"}, {QStringLiteral("proj/README"), "read me\n"}});
    m_zipBytes = readAll(m_zip);
    QVERIFY(!m_zipBytes.isEmpty());
    QDir().mkpath(m_dir.filePath(QStringLiteral("folder")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("repo")));
}

void TestPatchDrop::cleanup()
{
    if (PatchReviewPanel *panel = openPatchReviewPanel()) {
        panel->dismiss();
    }
    waitForBackgroundWork();
    QCoreApplication::processEvents();
}

void TestPatchDrop::dropOutcome_data()
{
    QTest::addColumn<DropContent>("content");
    QTest::addColumn<QString>("expectedPath");  // "raw" for a private copy of the data
    QTest::addColumn<QString>("diagnostic");

    const QString missing = m_dir.filePath(QStringLiteral("missing.zip"));
    const QString folder = m_dir.filePath(QStringLiteral("folder"));
    const QByteArray zip = readAll(m_dir.filePath(QStringLiteral("reply.zip")));
    QTest::addRow("an existing file") << DropContent{{m_zip}, {}} << m_zip << QString();
    QTest::addRow("only the second of three URLs exists")
        << DropContent{{missing, m_zip, folder}, {}} << m_zip << QString();
    QTest::addRow("a folder counts as existing") << DropContent{{folder}, {}} << folder << QString();
    QTest::addRow("a file URL wins over data")
        << DropContent{{m_zip}, {{QStringLiteral("application/zip"), "PK"}}} << m_zip << QString();
    QTest::addRow("zip data") << DropContent{{}, {{QStringLiteral("application/zip"), zip}}} << "raw" << QString();
    QTest::addRow("zip data under its Windows type")
        << DropContent{{}, {{QStringLiteral("application/x-zip-compressed"), zip}}} << "raw" << QString();
    QTest::addRow("generic data after a missing file")
        << DropContent{{missing}, {{QStringLiteral("application/octet-stream"), zip}}} << "raw" << QString();
    QTest::addRow("text only")
        << DropContent{{}, {{QStringLiteral("text/html"), "<b>x</b>"}, {QStringLiteral("text/plain"), "x"}}}
        << QString() << "No usable zip found in the drop.\nPasteboard types: text/html, text/plain";
    QTest::addRow("a web link and a missing file")
        << DropContent{{QStringLiteral("https://example.com/reply.zip"), missing}, {}} << QString()
        << "No usable zip found in the drop.\nPasteboard types: text/uri-list";
    QTest::addRow("empty zip data") << DropContent{{}, {{QStringLiteral("application/zip"), QByteArray()}}}
                                    << QString() << "No usable zip found in the drop.\nPasteboard types: application/zip";
    QTest::addRow("nothing at all") << DropContent{} << QString() << "No usable zip found in the drop.\nPasteboard types: ";
}

void TestPatchDrop::dropOutcome()
{
    QFETCH(DropContent, content);
    QFETCH(QString, expectedPath);
    QFETCH(QString, diagnostic);

    ZipDropTarget target;
    target.resize(target.sizeHint());
    target.show();
    QSignalSpy dropped(&target, &ZipDropTarget::zipDropped);
    QSignalSpy failed(&target, &ZipDropTarget::dropFailed);
    std::unique_ptr<QMimeData> mime = mimeOf(content);
    dropOn(&target, mime.get());
    QVERIFY(!target.isTargeted());

    if (expectedPath.isEmpty()) {
        QCOMPARE(dropped.size(), 0);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(), diagnostic);
        return;
    }
    QCOMPARE(failed.size(), 0);
    QCOMPARE(dropped.size(), 1);
    const QString path = dropped.first().at(0).toString();
    const bool ownsFile = dropped.first().at(1).toBool();
    if (expectedPath == u"raw") {
        // A private copy in the user's temporary directory, with exactly the dropped bytes.
        QVERIFY(ownsFile);
        QCOMPARE(QFileInfo(path).absolutePath(), userTempDir());
        QVERIFY(QFileInfo(path).fileName().startsWith(QStringLiteral("vesk_drop_")));
        QCOMPARE(permissionBits(path) & 0777, 0600);
        QCOMPARE(readAll(path), content.data.first().second);
        QFile::remove(path);
    } else {
        QVERIFY(!ownsFile);
        QCOMPARE(path, expectedPath);
    }
}

void TestPatchDrop::hoverOnlyHighlights()
{
    ZipDropTarget target;
    target.resize(target.sizeHint());
    target.show();
    QSignalSpy targeted(&target, &ZipDropTarget::targetedChanged);
    QSignalSpy dropped(&target, &ZipDropTarget::zipDropped);
    QSignalSpy failed(&target, &ZipDropTarget::dropFailed);
    QMimeData mime;
    mime.setText(QStringLiteral("anything at all"));
    // Shift asks for a move; the target takes a copy all the same.
    QDragEnterEvent enter(QPoint(4, 4), Qt::MoveAction | Qt::CopyAction, &mime, Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(&target, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QVERIFY(target.isTargeted());
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(&target, &leave);
    QVERIFY(!target.isTargeted());
    QCOMPARE(targeted.size(), 2);
    QCOMPARE(dropped.size() + failed.size(), 0);
}

void TestPatchDrop::flowKeepsOrDeletesTheZip_data()
{
    QTest::addColumn<bool>("asData");
    QTest::addRow("the user's own zip is never deleted") << false;
    QTest::addRow("dropped data is deleted after the analysis") << true;
}

void TestPatchDrop::flowKeepsOrDeletesTheZip()
{
    QFETCH(bool, asData);
    RepositoryState state(RepositoryTab::forPath(m_dir.filePath(QStringLiteral("repo"))));
    PatchToolbarSection section(state);
    section.show();
    QSignalSpy dropped(section.dropTarget(), &ZipDropTarget::zipDropped);
    QSignalSpy analysed(&section, &PatchToolbarSection::analysisFinished);

    std::unique_ptr<QMimeData> mime =
        mimeOf(asData ? DropContent{{}, {{QStringLiteral("application/zip"), m_zipBytes}}} : DropContent{{m_zip}, {}});
    dropOn(section.dropTarget(), mime.get());
    QCOMPARE(dropped.size(), 1);
    QCOMPARE(section.busyLabel()->text(), QStringLiteral("Analyzing\u2026"));
    QVERIFY(section.busyLabel()->isVisible());
    QVERIFY(analysed.wait(30000));
    QVERIFY(!section.busyLabel()->isVisible());

    const QString zip = dropped.first().at(0).toString();
    QCOMPARE(QFileInfo::exists(zip), !asData);
    QCOMPARE(readAll(m_zip), m_zipBytes);
    PatchReviewPanel *panel = openPatchReviewPanel();
    QVERIFY(panel);
    QCOMPARE(panel->summary()->text(), QStringLiteral("2 files  \u00B7  2 new"));
    const QString tmpDir = panel->analysis().tmpDir;
    panel->reject();
    QTRY_VERIFY(!QFileInfo::exists(tmpDir));
}

void TestPatchDrop::failedAnalysisShowsOnlyErrors()
{
    RepositoryState state(RepositoryTab::forPath(m_dir.filePath(QStringLiteral("repo"))));
    PatchToolbarSection section(state);
    section.show();
    QSignalSpy analysed(&section, &PatchToolbarSection::analysisFinished);
    QSignalSpy dropped(section.dropTarget(), &ZipDropTarget::zipDropped);
    std::unique_ptr<QMimeData> mime = mimeOf({{}, {{QStringLiteral("application/zip"), "PK\x03\x04 not a zip"}}});
    dropOn(section.dropTarget(), mime.get());
    QVERIFY(analysed.wait(30000));

    QVERIFY(!openPatchReviewPanel());
    QVERIFY(section.resultStrip()->isVisible());
    QCOMPARE(section.resultStrip()->appliedLabel()->text(), QStringLiteral("0 applied"));
    QCOMPARE(section.resultStrip()->skippedLabel()->text(), QStringLiteral("0 skipped"));
    QCOMPARE(section.resultStrip()->errorsButton()->text(), QStringLiteral("1 errors"));
    const QString zipName = QFileInfo(dropped.first().at(0).toString()).fileName();
    QCOMPARE(section.resultStrip()->result().errors, QStringList{QStringLiteral("Failed to unzip ") + zipName});
    QVERIFY(!QFileInfo::exists(dropped.first().at(0).toString()));
}

void TestPatchDrop::unusableDropRaisesTheAlert()
{
    RepositoryState state(RepositoryTab::forPath(m_dir.filePath(QStringLiteral("repo"))));
    QWidget window;
    PatchToolbarSection section(state, &window);
    window.show();
    std::unique_ptr<QMimeData> mime = mimeOf({{}, {{QStringLiteral("text/plain"), "hello"}}});
    dropOn(section.dropTarget(), mime.get());
    const QString diagnostic = QStringLiteral("No usable zip found in the drop.\nPasteboard types: text/plain");
    QCOMPARE(section.dropDiagnostic(), std::optional<QString>(diagnostic));
    QMessageBox *alert = section.dropAlert();
    QVERIFY(alert);
    QTRY_VERIFY(alert->isVisible());
    QCOMPARE(alert->text(), QStringLiteral("Couldn't import dropped zip"));
    QCOMPARE(alert->informativeText(), diagnostic);
    QTest::keyClick(alert, Qt::Key_Return);
    QTRY_VERIFY(!section.dropDiagnostic());
}

void TestPatchDrop::closingThePanelCancels()
{
    RepositoryState state(RepositoryTab::forPath(m_dir.filePath(QStringLiteral("repo"))));
    PatchToolbarSection section(state);
    section.show();
    QSignalSpy analysed(&section, &PatchToolbarSection::analysisFinished);
    section.beginPatchFlow(m_zip, false);
    QVERIFY(analysed.wait(30000));
    QPointer<PatchReviewPanel> first = openPatchReviewPanel();
    QVERIFY(first);
    const QString firstDir = first->analysis().tmpDir;
    QVERIFY(QFileInfo(firstDir).isDir());

    // A second patch replaces the first panel; the first analysis lets its files go.
    section.beginPatchFlow(m_zip, false);
    QVERIFY(analysed.wait(30000));
    QPointer<PatchReviewPanel> second = openPatchReviewPanel();
    QVERIFY(second && second != first);
    QTRY_VERIFY(!first);
    QTRY_VERIFY(!QFileInfo::exists(firstDir));

    const QString secondDir = second->analysis().tmpDir;
    QVERIFY(QFileInfo(secondDir).isDir());
    second->close();  // the title bar's close control
    QTRY_VERIFY(!second);
    QTRY_VERIFY(!QFileInfo::exists(secondDir));
    QVERIFY(section.resultStrip()->isHidden());
}

void TestPatchDrop::resultStripShowsCountsAndErrors()
{
    PatchResultStrip strip;
    strip.show();
    PatchApplyResult result;
    result.applied = QStringList{QStringLiteral("a"), QStringLiteral("b")};
    result.skipped = QStringList{QStringLiteral("c")};
    result.errors = QStringList{QStringLiteral("d: Permission denied"), QStringLiteral("e: a folder stands there")};
    strip.setResult(result);
    QCOMPARE(strip.appliedLabel()->text(), QStringLiteral("2 applied"));
    QCOMPARE(strip.skippedLabel()->text(), QStringLiteral("1 skipped"));
    QCOMPARE(strip.errorsButton()->text(), QStringLiteral("2 errors"));
    QCOMPARE(strip.errorsButton()->toolTip(), QStringLiteral("d: Permission denied\ne: a folder stands there"));
    QTest::mouseClick(strip.errorsButton(), Qt::LeftButton);
    QTRY_VERIFY(strip.errorList() && strip.errorList()->isVisible());
    QVERIFY(strip.errorList()->findChild<QPlainTextEdit *>()->toPlainText().contains(QStringLiteral("e: a folder stands there")));
    strip.errorList()->close();
    QTest::mouseClick(strip.hideButton(), Qt::LeftButton);
    QVERIFY(strip.isHidden());
}

QTEST_MAIN(TestPatchDrop)
#include "tst_patch_drop.moc"
