// The export panel and the toolbar's export control, driven through real widgets and events
// over real repositories, with the archives read back by Python's zipfile.

#include "editor/editor_view_model.h"
#include "export/export_filter.h"
#include "export/export_job.h"
#include "export/export_size.h"
#include "editor/ui/elided_label.h"
#include "export/ui/export_outline_delegate.h"
#include "export/ui/export_outline_model.h"
#include "export/ui/export_panel.h"
#include "export/ui/export_toolbar_button.h"
#include "export/ui/top_dir_chooser.h"
#include "platform/preferences.h"
#include "platform/tool_paths.h"
#include "platform/ui/file_manager.h"
#include "test_support.h"
#include "text/vesk_document.h"
#include "workspace/repository_state.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>

using namespace vesk;
using vesk::test::readFile;
using vesk::test::writeFile;

namespace {

using Files = QMap<QString, QByteArray>;

const QByteArray elf("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0", 16);

Files sampleFiles()
{
    return {{"README.md", "# readme\n"},
            {"src/a.cpp", "int a;\n"},
            {"src/b.cpp", "int b;\n"},
            {"src/lib/c.h", "int c;\n"},
            {"src/tool.so", elf},
            {"config.txt", "API_KEY=abc\n"}};
}

void writeRepo(const QString &repo, const Files &files)
{
    for (auto it = files.begin(); it != files.end(); ++it) {
        writeFile(repo, it.key(), it.value());
    }
}

// Names of the archive's entries as Python's zipfile reads them.
QStringList pythonNames(const QString &archive)
{
    bool ok = false;
    const QByteArray json = test::run(QStringLiteral("python3"),
                                      {QStringLiteral("-c"),
                                       QStringLiteral("import json, sys, zipfile\n"
                                                      "print(json.dumps(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))"),
                                       archive},
                                      QDir::tempPath(), &ok);
    QStringList names;
    for (const QJsonValue &value : QJsonDocument::fromJson(json).array()) {
        names << value.toString();
    }
    return ok ? names : QStringList{QStringLiteral("<unreadable>")};
}

QJsonObject filterOnDisk(const QString &repo)
{
    return QJsonDocument::fromJson(readFile(ExportFilter::filePath(repo))).object();
}

QStringList filterList(const QString &repo, const char *key)
{
    QStringList list;
    for (const QJsonValue &value : filterOnDisk(repo).value(QLatin1String(key)).toArray()) {
        list << value.toString();
    }
    list.sort();
    return list;
}

ExportPanel *open(const QString &repo, std::function<void()> onSave = {})
{
    showExportPanel(repo, std::move(onSave));
    ExportPanel *panel = openExportPanel();
    if (panel && !QTest::qWaitForWindowExposed(panel)) {
        return nullptr;
    }
    return panel;
}

void clickCheck(ExportPanel *panel, const QString &path)
{
    const QModelIndex index = panel->outlineModel()->indexOf(path, ExportOutlineModel::IncludeColumn);
    QVERIFY2(index.isValid(), qPrintable(path));
    panel->outline()->scrollTo(index);
    QTest::mouseClick(panel->outline()->viewport(), Qt::LeftButton, {}, panel->outline()->visualRect(index).center());
}

Qt::CheckState checkOf(ExportPanel *panel, const QString &path)
{
    return panel->outlineModel()->checkState(panel->outlineModel()->indexOf(path));
}

// The message box of that name that `owner` shows now (an answered one may linger until deleted).
QMessageBox *messageBox(QWidget *owner, const char *name)
{
    if (!owner) {
        return nullptr;
    }
    for (QMessageBox *box : owner->findChildren<QMessageBox *>(QLatin1String(name))) {
        if (box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

QWidget *topLevel(const char *name)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name) && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

void clickButton(QMessageBox *box, const QString &title)
{
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == title) {
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no button ") + title));
}

// A zip stand-in that runs until it is stopped.
// Stand-ins for the zip tool live outside the repository, so they are not exported themselves.
struct ZipStandIn
{
    QTemporaryDir dir;
    explicit ZipStandIn(const QByteArray &body) { setToolPath(Tool::Zip, test::writeScript(dir.path(), "zip", body)); }
};

// A zip stand-in that runs until it is stopped.
const QByteArray hangingZip = "exec sleep 600\n";

// Rows of the outline under `parent`, by name, in the order shown.
QStringList shownNames(ExportPanel *panel, const QString &parent = {})
{
    ExportOutlineModel *model = panel->outlineModel();
    const QModelIndex parentIndex = parent.isEmpty() ? QModelIndex() : model->indexOf(parent, 0);
    QStringList names;
    for (int row = 0; row < model->rowCount(parentIndex); ++row) {
        names << model->node(model->index(row, 0, parentIndex))->name;
    }
    return names;
}

// Waits for the running export of `repo` to end and hands back its outcome.
struct ExportOutcome
{
    std::optional<ZipResult> result;
    QMetaObject::Connection connection;

    ExportOutcome()
    {
        connection = QObject::connect(&ExportActivity::instance(), &ExportActivity::finished,
                                      [this](ExportJob *, const ZipResult &r) { result = r; });
    }
    ~ExportOutcome() { QObject::disconnect(connection); }
};

} // namespace

Q_DECLARE_METATYPE(vesk::SelectionSize)

class TestExportPanel : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_preferences;
    QStringList m_revealed;

private Q_SLOTS:
    void initTestCase()
    {
        Preferences::useFile(m_preferences.filePath(QStringLiteral("preferences.ini")));
        setRevealHandler([this](const QString &path) { m_revealed << path; });
    }

    void init() { m_revealed.clear(); }

    void cleanup()
    {
        resetToolPaths();
        if (ExportPanel *panel = openExportPanel()) {
            if (ExportJob *job = ExportJob::runningFor(panel->selection().repoPath())) {
                job->stop();
            }
            QTRY_VERIFY(!panel->isExporting());
            panel->close();
        }
        QTRY_VERIFY(!openExportPanel());
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox *>(widget)) {
                widget->close();
            }
        }
    }

    // The directory area grows by rows of two up to 100 points, then scrolls.
    void directoryRows_data()
    {
        QTest::addColumn<int>("directories");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("height");
        QTest::addRow("none") << 0 << 1 << 20;
        QTest::addRow("one") << 1 << 1 << 20;
        QTest::addRow("two share a row") << 2 << 1 << 20;
        QTest::addRow("three") << 3 << 2 << 40;
        QTest::addRow("seven") << 7 << 4 << 80;
        QTest::addRow("ten fill the area") << 10 << 5 << 100;
        QTest::addRow("twenty scroll") << 20 << 10 << 100;
    }

    void directoryRows()
    {
        QFETCH(int, directories);
        QFETCH(int, rows);
        QFETCH(int, height);
        QTemporaryDir repo;
        for (int i = 0; i < directories; ++i) {
            writeFile(repo.path(), QStringLiteral("d%1/f.txt").arg(i, 2, 10, QLatin1Char('0')), "x");
        }
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        TopDirChooser *area = panel->dirChooser();
        QCOMPARE(area->checkboxes().size(), directories);
        QCOMPARE(area->height(), height);
        QCOMPARE(area->widget()->height(), rows * TopDirChooser::rowPitch);
        for (int i = 0; i < directories; ++i) {
            QCheckBox *box = area->checkboxes()[i];
            QCOMPARE(box->text(), QStringLiteral("d%1").arg(i, 2, 10, QLatin1Char('0')));
            QCOMPARE(box->geometry(), QRect((i % 2) * 354, (i / 2) * 20, 346, 18));
            QVERIFY(box->isChecked());  // proposed by default
        }
        QScrollBar *scroller = area->verticalScrollBar();
        QCOMPARE(scroller->isVisible(), rows * 20 > 100);
        if (scroller->isVisible()) {
            QCOMPARE(scroller->maximum(), rows * 20 - 100);
            QCheckBox *last = area->checkboxes().last();
            area->ensureWidgetVisible(last);
            QTRY_VERIFY(last->visibleRegion().boundingRect().height() == 18);
        }
    }

    void summaryAndStatus_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("size");
        QTest::addRow("three text, one secret")
            << Files{{"a.txt", QByteArray(400, 'a')}, {"b.txt", QByteArray(400, 'b')}, {"c.txt", QByteArray(401, 'c')},
                     {".env", "TOKEN=1\n"}}
            << QStringLiteral("3 text  \u00B7  \u26A0 1 private") << QStringLiteral("3 files selected for export")
            << QStringLiteral("1.2 kB  \u00B7  \u2248 301 tokens");
        QTest::addRow("every kind")
            << Files{{"a.txt", "a"}, {"pic.png", QByteArray(1000, 'p')}, {"tool.so", elf}, {"id_rsa", "k"}}
            << QStringLiteral("1 text  \u00B7  1 image  \u00B7  1 binary  \u00B7  \u26A0 1 private")
            << QStringLiteral("2 files selected for export")
            << QStringLiteral("1.0 kB  \u00B7  \u2248 1 token  \u00B7  + 1 image (1.0 kB)");
        QTest::addRow("one file reads the same") << Files{{"a.txt", "abcd"}} << QStringLiteral("1 text")
                                                 << QStringLiteral("1 files selected for export")
                                                 << QStringLiteral("4 bytes  \u00B7  \u2248 1 token");
        QTest::addRow("nothing") << Files{} << QString() << QStringLiteral("0 files selected for export") << QString();
    }

    void summaryAndStatus()
    {
        QFETCH(Files, files);
        QFETCH(QString, summary);
        QFETCH(QString, status);
        QFETCH(QString, size);
        QTemporaryDir repo;
        writeRepo(repo.path(), files);
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        QCOMPARE(panel->summaryLabel()->fullText(), summary);
        QCOMPARE(panel->statusLabel()->fullText(), status);
        QCOMPARE(panel->sizeLabel()->fullText(), size);
        QCOMPARE(panel->sizeLabel()->text(), size);  // shown whole at the panel's size
        QVERIFY(!QFile::exists(ExportFilter::filePath(repo.path())));  // opening writes nothing
    }

    // Secrets are red in every column and never selected by default.
    void privateFilesStandOut()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        ExportOutlineModel *model = panel->outlineModel();
        QCOMPARE(checkOf(panel, "config.txt"), Qt::Unchecked);
        const QColor red = model->data(model->indexOf("config.txt", ExportOutlineModel::TypeColumn), Qt::ForegroundRole)
                               .value<QColor>();
        QVERIFY(red.red() > 200 && red.green() < 100 && red.blue() < 100);
        for (int column : {ExportOutlineModel::NameColumn, ExportOutlineModel::ReasonColumn}) {
            QCOMPARE(model->data(model->indexOf("config.txt", column), Qt::ForegroundRole).value<QColor>(), red);
            QVERIFY(model->data(model->indexOf("README.md", column), Qt::ForegroundRole).value<QColor>() != red);
        }
        QCOMPARE(model->data(model->indexOf("config.txt", ExportOutlineModel::TypeColumn)).toString(), "secret");
        QCOMPARE(model->data(model->indexOf("src/tool.so", ExportOutlineModel::TypeColumn)).toString(), "binary");
        QVERIFY(model->data(model->indexOf("src", ExportOutlineModel::TypeColumn)).toString().isEmpty());
        QCOMPARE(model->headerData(ExportOutlineModel::IncludeColumn, Qt::Horizontal, Qt::ToolTipRole).toString(),
                 "Include in .zip");
        QCOMPARE(panel->outline()->sizeHintForRow(0), ExportOutlineDelegate::rowHeight);
        QVERIFY(panel->outline()->isExpanded(model->indexOf("src", 0)));
        QVERIFY(!panel->outline()->isExpanded(model->indexOf("src/lib", 0)));
    }

    // A directory's box flips all its files; a partial one becomes whole. The filter file holds
    // the change at once, and the outline is updated, not rebuilt.
    void directoryCheckbox()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        QSignalSpy resets(panel->outlineModel(), &QAbstractItemModel::modelReset);
        QCOMPARE(checkOf(panel, "src"), Qt::PartiallyChecked);  // the binary is out
        clickCheck(panel, "src");
        QCOMPARE(checkOf(panel, "src"), Qt::Checked);
        QCOMPARE(checkOf(panel, "src/lib"), Qt::Checked);
        QCOMPARE(filterList(repo.path(), "included"), QStringList{"src/tool.so"});
        QCOMPARE(panel->statusLabel()->fullText(), QStringLiteral("5 files selected for export"));

        clickCheck(panel, "src");
        QCOMPARE(checkOf(panel, "src"), Qt::Unchecked);
        QCOMPARE(filterList(repo.path(), "included"), QStringList());
        QCOMPARE(filterList(repo.path(), "excluded"), (QStringList{"src/a.cpp", "src/b.cpp", "src/lib/c.h"}));

        clickCheck(panel, "src/lib/c.h");
        QCOMPARE(checkOf(panel, "src/lib"), Qt::Checked);
        QCOMPARE(checkOf(panel, "src"), Qt::PartiallyChecked);
        QCOMPARE(filterList(repo.path(), "excluded"), (QStringList{"src/a.cpp", "src/b.cpp"}));

        // Space flips the current row whatever column holds the focus.
        panel->outline()->setFocus();
        panel->outline()->setCurrentIndex(panel->outlineModel()->indexOf("README.md", ExportOutlineModel::ReasonColumn));
        QTest::keyClick(panel->outline(), Qt::Key_Space);
        QCOMPARE(checkOf(panel, "README.md"), Qt::Unchecked);
        QCOMPARE(filterList(repo.path(), "excluded"), (QStringList{"README.md", "src/a.cpp", "src/b.cpp"}));
        QCOMPARE(resets.size(), 0);
    }

    // Unchecking a top-level directory rescans without it and writes the filter.
    void topDirectoryChanges()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        writeFile(repo.path(), "docs/guide.md", "guide");
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        QCOMPARE(panel->selection().allTopDirs(), (QStringList{"docs", "src"}));
        QTest::mouseClick(panel->dirChooser()->checkboxes()[1], Qt::LeftButton, {}, QPoint(6, 9));  // on the box
        QCOMPARE(shownNames(panel), (QStringList{"docs", "config.txt", "README.md"}));
        QCOMPARE(filterList(repo.path(), "includedDirs"), QStringList{"docs"});
        QCOMPARE(panel->statusLabel()->fullText(), QStringLiteral("2 files selected for export"));
        QCOMPARE(panel->summaryLabel()->fullText(), QStringLiteral("2 text  \u00B7  \u26A0 1 private"));
        QVERIFY(panel->outline()->isExpanded(panel->outlineModel()->indexOf("docs", 0)));

        QTest::mouseClick(panel->scanDefaultsButton(), Qt::LeftButton);
        QVERIFY(panel->dirChooser()->checkboxes()[1]->isChecked());
        QCOMPARE(filterList(repo.path(), "includedDirs"), (QStringList{"docs", "src"}));
        QCOMPARE(panel->rescanButton()->toolTip(), "Pick up new and removed files, keeping current overrides");
        QCOMPARE(panel->scanDefaultsButton()->toolTip(), "Re-scan the repo and reset to auto-detected defaults");
    }

    // Sorting keeps folders first, the selection, the expansion and the current row; a rescan
    // keeps the sort.
    void sorting()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), {{"b.txt", "b"}, {"A.txt", "a"}, {"c.so", elf}, {"lib/z.txt", "z"}, {"lib/y/x.txt", "x"},
                                {"Docs/k.txt", "k"}});
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        ExportOutlineModel *model = panel->outlineModel();
        QTreeView *outline = panel->outline();
        QCOMPARE(shownNames(panel), (QStringList{"Docs", "lib", "A.txt", "b.txt", "c.so"}));
        outline->expand(model->indexOf("lib/y", 0));
        clickCheck(panel, "lib/z.txt");
        outline->setCurrentIndex(model->indexOf("b.txt", 0));
        QHeaderView *header = outline->header();
        const auto clickHeader = [header](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                     header->height() / 2));
        };

        clickHeader(ExportOutlineModel::NameColumn);
        QCOMPARE(shownNames(panel), (QStringList{"Docs", "lib", "A.txt", "b.txt", "c.so"}));
        clickHeader(ExportOutlineModel::NameColumn);
        QCOMPARE(model->sortOrder(), Qt::DescendingOrder);
        QCOMPARE(shownNames(panel), (QStringList{"lib", "Docs", "c.so", "b.txt", "A.txt"}));
        QCOMPARE(shownNames(panel, "lib"), (QStringList{"y", "z.txt"}));  // folders first either way
        QVERIFY(outline->isExpanded(model->indexOf("lib/y", 0)));
        QCOMPARE(model->node(outline->currentIndex())->relativePath, QStringLiteral("b.txt"));
        QCOMPARE(checkOf(panel, "lib/z.txt"), Qt::Unchecked);
        QCOMPARE(checkOf(panel, "lib"), Qt::PartiallyChecked);

        clickHeader(ExportOutlineModel::IncludeColumn);
        QCOMPARE(shownNames(panel), (QStringList{"lib", "Docs", "c.so", "b.txt", "A.txt"}));  // unselected first
        QCOMPARE(outline->visualRect(model->indexOf("c.so", 0)).top() < outline->visualRect(model->indexOf("b.txt", 0)).top(),
                 true);
        clickHeader(ExportOutlineModel::TypeColumn);
        QCOMPARE(shownNames(panel), (QStringList{"lib", "Docs", "c.so", "b.txt", "A.txt"}));

        clickHeader(ExportOutlineModel::NameColumn);
        writeFile(repo.path(), "B2.txt", "new");
        QTest::mouseClick(panel->rescanButton(), Qt::LeftButton);
        QCOMPARE(model->sortColumn(), int(ExportOutlineModel::NameColumn));
        QCOMPARE(shownNames(panel), (QStringList{"Docs", "lib", "A.txt", "b.txt", "B2.txt", "c.so"}));
        QVERIFY(outline->isExpanded(model->indexOf("lib/y", 0)));
        QCOMPARE(checkOf(panel, "lib/z.txt"), Qt::Unchecked);
    }

    void exportWithNothingSelected_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::addRow("Export button") << false;
        QTest::addRow("Return key") << true;
    }

    void exportWithNothingSelected()
    {
        QFETCH(bool, byKey);
        QTemporaryDir repo;
        writeRepo(repo.path(), {{"tool.so", elf}, {".env", "A=1"}});
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        QSignalSpy exporting(panel, &ExportPanel::exportingChanged);
        if (byKey) {
            QTest::keyClick(panel, Qt::Key_Return);
        } else {
            QTest::mouseClick(panel->exportButton(), Qt::LeftButton);
        }
        QCoreApplication::processEvents();
        QCOMPARE(exporting.size(), 0);
        QVERIFY(panel->isVisible());
        QVERIFY(!messageBox(panel, "privateFilesPrompt"));
        QVERIFY(!QFile::exists(ExportFilter::filePath(repo.path())));
        QCOMPARE(panel->statusLabel()->fullText(), QStringLiteral("0 files selected for export"));
    }

    // While the archive is built the controls that change the selection are off; Stop ends it
    // as cancelled with the panel still open.
    void stop()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        ZipStandIn zip(hangingZip);
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        QTest::mouseClick(panel->exportButton(), Qt::LeftButton);
        QVERIFY(panel->isExporting());
        QVERIFY(panel->stopButton()->isVisible());
        QVERIFY(!panel->exportButton()->isVisible());
        QVERIFY(!panel->cancelButton()->isEnabled());
        QVERIFY(!panel->saveButton()->isEnabled());
        QVERIFY(panel->progressBar()->isVisible());
        QCOMPARE(panel->progressBar()->maximum(), 4);
        QVERIFY(!panel->dirChooser()->checkboxes()[0]->isEnabled());
        clickCheck(panel, "README.md");
        QCOMPARE(checkOf(panel, "README.md"), Qt::Checked);  // the box is off while exporting
        QTest::keyClick(panel, Qt::Key_Escape);
        QVERIFY(panel->isVisible());  // Cancel is off too

        QTest::mouseClick(panel->stopButton(), Qt::LeftButton);
        QTRY_VERIFY(!panel->isExporting());
        QCOMPARE(panel->statusLabel()->fullText(), QStringLiteral("Export cancelled."));
        QVERIFY(panel->isVisible());
        QVERIFY(panel->exportButton()->isVisible());
        QVERIFY(!panel->stopButton()->isVisible());
        QVERIFY(!panel->progressBar()->isVisible());
        QVERIFY(panel->cancelButton()->isEnabled());
        QVERIFY(panel->outlineModel()->checksEnabled());
    }

    void failingZipShowsAlert()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        ZipStandIn zip("cat > /dev/null\nexit 12\n");
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        QTest::mouseClick(panel->exportButton(), Qt::LeftButton);
        QTRY_VERIFY(messageBox(panel, "exportFailedAlert"));
        QMessageBox *alert = messageBox(panel, "exportFailedAlert");
        QCOMPARE(alert->text(), QStringLiteral("Export Failed"));
        QCOMPARE(alert->informativeText(), QStringLiteral("Could not create ZIP archive."));
        QVERIFY(panel->isVisible());
        QVERIFY(!panel->isExporting());
        QCOMPARE(panel->statusLabel()->fullText(), QStringLiteral("4 files selected for export"));
        clickButton(alert, QStringLiteral("OK"));
        QVERIFY(panel->isVisible());
    }

    void closingSavesTheFilter_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addRow("close control") << QStringLiteral("window");
        QTest::addRow("Cancel") << QStringLiteral("cancel");
        QTest::addRow("Escape") << QStringLiteral("escape");
    }

    void closingSavesTheFilter()
    {
        QFETCH(QString, how);
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        QPointer<ExportPanel> panel = open(repo.path());
        QVERIFY(panel);
        QVERIFY(!QFile::exists(ExportFilter::filePath(repo.path())));
        if (how == u"window") {
            panel->windowHandle()->close();
        } else if (how == u"cancel") {
            QTest::mouseClick(panel->cancelButton(), Qt::LeftButton);
        } else {
            QTest::keyClick(panel, Qt::Key_Escape);
        }
        QTRY_VERIFY(!panel);
        QCOMPARE(filterList(repo.path(), "includedDirs"), QStringList{"src"});
        QVERIFY(filterOnDisk(repo.path()).contains(QStringLiteral("excluded")));
    }

    void explicitSave()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        int saves = 0;
        ExportPanel *panel = open(repo.path(), [&saves, &repo] {
            QVERIFY(QFile::exists(ExportFilter::filePath(repo.path())));  // written before the caller hears of it
            ++saves;
        });
        QVERIFY(panel);
        QCOMPARE(panel->saveButton()->toolTip(), "Save current settings to .vesk-export-filter");
        QTest::mouseClick(panel->saveButton(), Qt::LeftButton);
        QCOMPARE(saves, 1);
        QCOMPARE(panel->statusLabel()->fullText(), QStringLiteral("Saved .vesk-export-filter"));
    }

    // A filter file that is a link is never written through: the panel says the choice cannot
    // be saved, and what the link leads to stays as it was.
    void linkedFilterIsNotWritten()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        const QString target = repo.filePath(QStringLiteral("main.c"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("int main;") > 0);
        file.close();
        QVERIFY(QFile::link(QStringLiteral("main.c"), ExportFilter::filePath(repo.path())));
        ExportPanel *panel = open(repo.path(), {});
        QVERIFY(panel);
        QTest::mouseClick(panel->saveButton(), Qt::LeftButton);
        QVERIFY2(panel->statusLabel()->fullText().startsWith(QStringLiteral("The export choice cannot be saved")),
                 qPrintable(panel->statusLabel()->fullText()));
        QFile check(target);
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), QByteArray("int main;"));
        QVERIFY(QFileInfo(ExportFilter::filePath(repo.path())).isSymLink());
    }

    // The archive holds exactly the chosen files; a private file only once the user agreed.
    void archiveHoldsTheSelection_data()
    {
        QTest::addColumn<QStringList>("clicks");     // boxes clicked before Export
        QTest::addColumn<QString>("handAnswer");     // to the question a click on a private file raises
        QTest::addColumn<QString>("exportAnswer");   // to the question Export raises, if any
        QTest::addColumn<QStringList>("archived");
        const QStringList defaults{"README.md", "src/a.cpp", "src/b.cpp", "src/lib/c.h"};
        QTest::addRow("defaults") << QStringList() << QString() << QString() << defaults;
        QTest::addRow("a binary in, a text out")
            << QStringList{"src/tool.so", "src/b.cpp"} << QString() << QString()
            << QStringList{"README.md", "src/a.cpp", "src/lib/c.h", "src/tool.so"};
        QTest::addRow("private file refused") << QStringList{"config.txt"} << "Cancel" << QString() << defaults;
        QTest::addRow("private file agreed")
            << QStringList{"config.txt"} << "Include Private Files" << QString() << defaults + QStringList{"config.txt"};
        QTest::addRow("saved private file, agreed at export")
            << QStringList() << QString() << "Include Private Files" << QStringList{"README.md", "config.txt", "src/a.cpp", "src/b.cpp", "src/lib/c.h"};
        QTest::addRow("saved private file, left out at export")
            << QStringList() << QString() << "Leave Them Out" << defaults;
    }

    void archiveHoldsTheSelection()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, handAnswer);
        QFETCH(QString, exportAnswer);
        QFETCH(QStringList, archived);
        QTemporaryDir parent;
        const QString repo = parent.filePath(QStringLiteral("app"));
        writeRepo(repo, sampleFiles());
        test::initGitRepo(repo);
        test::commitAll(repo);
        if (!exportAnswer.isEmpty()) {
            ExportFilter{{"src"}, {"config.txt"}, {}}.save(repo);  // e.g. a filter that came with the clone
        }
        ExportPanel *panel = open(repo);
        QVERIFY(panel);
        for (const QString &path : clicks) {
            clickCheck(panel, path);
        }
        if (!handAnswer.isEmpty()) {
            QMessageBox *prompt = messageBox(panel, "privateFilesPrompt");
            QVERIFY(prompt);
            QCOMPARE(checkOf(panel, "config.txt"), Qt::Unchecked);  // not before the answer
            QVERIFY(!filterList(repo, "included").contains("config.txt"));
            clickButton(prompt, handAnswer);
        }
        ExportOutcome outcome;
        QPointer<ExportPanel> guard(panel);
        QTest::mouseClick(panel->exportButton(), Qt::LeftButton);
        if (!exportAnswer.isEmpty()) {
            QMessageBox *prompt = messageBox(panel, "privateFilesPrompt");
            QVERIFY(prompt);
            QVERIFY(!panel->isExporting());
            clickButton(prompt, exportAnswer);
        } else {
            QVERIFY(!messageBox(panel, "privateFilesPrompt"));
        }
        QTRY_VERIFY(outcome.result);
        QCOMPARE(outcome.result->status, ZipResult::Status::Success);
        QTRY_VERIFY(!guard);  // success closes the panel
        QCOMPARE(m_revealed, QStringList{outcome.result->archivePath});
        archived.sort();
        QCOMPARE(pythonNames(outcome.result->archivePath), archived);
        QCOMPARE(QFileInfo(outcome.result->archivePath).fileName(), QStringLiteral("app_export.zip"));
        QCOMPARE(QFile::permissions(outcome.result->archivePath) & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
        QCOMPARE(filterList(repo, "included").contains("config.txt"), archived.contains("config.txt"));
        QFile::remove(outcome.result->archivePath);
    }

    // Selecting a directory that holds private files asks first; the answer may keep them out.
    void privateFilesInADirectory_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<Qt::CheckState>("state");
        QTest::addRow("cancel") << "Cancel" << QStringList{"top.txt"} << Qt::Unchecked;
        QTest::addRow("leave them out") << "Leave Them Out" << QStringList{"conf/a.txt", "conf/tool.so", "top.txt"}
                                        << Qt::PartiallyChecked;
        QTest::addRow("include") << "Include Private Files"
                                 << QStringList{"conf/.env", "conf/a.txt", "conf/tool.so", "top.txt"} << Qt::Checked;
    }

    void privateFilesInADirectory()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, selected);
        QFETCH(Qt::CheckState, state);
        QTemporaryDir repo;
        writeRepo(repo.path(), {{"top.txt", "t"}, {"conf/.env", "A=1"}, {"conf/a.txt", "a"}, {"conf/tool.so", elf}});
        ExportFilter{{"conf"}, {}, {"conf/a.txt"}}.save(repo.path());
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        clickCheck(panel, "conf");
        QMessageBox *prompt = messageBox(panel, "privateFilesPrompt");
        QVERIFY(prompt);
        QVERIFY(prompt->informativeText().contains(QStringLiteral("conf/.env")));
        clickButton(prompt, answer);
        QStringList chosen = panel->selection().exportList();
        QCOMPARE(chosen, selected);
        QCOMPARE(checkOf(panel, "conf"), state);
        chosen.removeAll(QStringLiteral("top.txt"));
        QCOMPARE(filterList(repo.path(), "included").contains("conf/.env"), chosen.contains("conf/.env"));
    }

    // A file the zip tool cannot take is named after the export, not silently missing.
    void leftOutFilesAreNamed()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), {{"ok.txt", "ok"}, {"two\nlines.txt", "x"}});
        ExportPanel *panel = open(repo.path());
        QVERIFY(panel);
        QCOMPARE(panel->statusLabel()->fullText(), QStringLiteral("2 files selected for export"));
        ExportOutcome outcome;
        QTest::mouseClick(panel->exportButton(), Qt::LeftButton);
        QTRY_VERIFY(outcome.result);
        QCOMPARE(outcome.result->status, ZipResult::Status::Success);
        QMessageBox *notice = nullptr;
        QTRY_VERIFY((notice = qobject_cast<QMessageBox *>(topLevel("leftOutNotice"))));
        QCOMPARE(notice->text(), QStringLiteral("1 file was left out of the archive"));
        QVERIFY(notice->informativeText().startsWith(QStringLiteral("two\nlines.txt \u2014 ")));
        QCOMPARE(pythonNames(outcome.result->archivePath), QStringList{"ok.txt"});
        QFile::remove(outcome.result->archivePath);
    }

    // A second panel replaces the first, which saves its filter as it closes.
    void onePanelAtATime()
    {
        QTemporaryDir first;
        QTemporaryDir second;
        writeRepo(first.path(), sampleFiles());
        writeRepo(second.path(), sampleFiles());
        QPointer<ExportPanel> one = open(first.path());
        QVERIFY(one);
        QCOMPARE(one->windowTitle(), QStringLiteral("Export Declaration \u2014 ") + QFileInfo(first.path()).fileName());
        ExportPanel *two = open(second.path());
        QVERIFY(two && two != one);
        QTRY_VERIFY(!one);
        QCOMPARE(openExportPanel(), two);
        QVERIFY(QFile::exists(ExportFilter::filePath(first.path())));
        QCOMPARE(QApplication::topLevelWidgets().count(two), 1);
    }

    // The toolbar opens the panel, shows "Exporting…" while the archive is built, even after
    // the panel closed, and reports what the panel could no longer show.
    void toolbar_data()
    {
        QTest::addColumn<QByteArray>("afterGo");
        QTest::addColumn<bool>("succeeds");
        QTest::addRow("fails after the panel closed") << QByteArray("exit 3") << false;
        QTest::addRow("succeeds after the panel closed") << QByteArray("exec /usr/bin/zip \"$@\"") << true;
    }

    void toolbar()
    {
        QFETCH(QByteArray, afterGo);
        QFETCH(bool, succeeds);
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        ZipStandIn zip("while [ ! -e \"$PWD/go\" ]; do sleep 0.05; done\n" + afterGo + "\n");
        RepositoryState state(RepositoryTab::forPath(repo.path()));
        QWidget window;
        auto *control = new ExportToolbarButton(state, &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(control->button()->toolTip(), QStringLiteral("Configure and export ZIP for AI assistant"));
        QVERIFY(!control->busyLabel()->isVisible());
        QTest::mouseClick(control->button(), Qt::LeftButton);
        QPointer<ExportPanel> panel = openExportPanel();
        QVERIFY(panel);
        QCOMPARE(panel->selection().repoPath(), repo.path());

        ExportOutcome outcome;
        QTest::mouseClick(panel->exportButton(), Qt::LeftButton);
        QVERIFY(control->busyLabel()->isVisible());
        QCOMPARE(control->busyLabel()->text(), QStringLiteral("Exporting\u2026"));
        QVERIFY(!control->button()->isVisible());
        panel->windowHandle()->close();
        QTRY_VERIFY(!panel);
        QVERIFY(control->isExporting());
        writeFile(repo.path(), QStringLiteral("go"), "");
        QTRY_VERIFY(outcome.result);
        QVERIFY(control->button()->isVisible());
        QVERIFY(!control->busyLabel()->isVisible());
        if (succeeds) {
            QCOMPARE(m_revealed, QStringList{outcome.result->archivePath});
            QVERIFY(!messageBox(&window, "exportFailedAlert"));
            QFile::remove(outcome.result->archivePath);
        } else {
            QVERIFY(m_revealed.isEmpty());
            QVERIFY(messageBox(&window, "exportFailedAlert"));
            QCOMPARE(messageBox(&window, "exportFailedAlert")->informativeText(),
                     QStringLiteral("Could not create ZIP archive."));
        }
    }

    // An explicit save reloads the filter file when the editor shows it.
    void toolbarSaveReloadsTheFilterFile()
    {
        QTemporaryDir repo;
        writeRepo(repo.path(), sampleFiles());
        ExportFilter{{"src"}, {}, {"README.md"}}.save(repo.path());
        RepositoryState state(RepositoryTab::forPath(repo.path()));
        state.editor()->openFile(ExportFilter::filePath(repo.path()));
        QWidget window;
        auto *control = new ExportToolbarButton(state, &window);
        window.show();
        QTest::mouseClick(control->button(), Qt::LeftButton);
        ExportPanel *panel = openExportPanel();
        QVERIFY(panel);
        clickCheck(panel, "README.md");
        QTest::mouseClick(panel->saveButton(), Qt::LeftButton);
        QCOMPARE(state.editor()->document()->text(), QString::fromUtf8(readFile(ExportFilter::filePath(repo.path()))));
        QVERIFY(!state.editor()->document()->text().contains("README.md"));
    }

    void sizeText_data()
    {
        QTest::addColumn<SelectionSize>("size");
        QTest::addColumn<QString>("text");
        QTest::addRow("nothing") << SelectionSize{} << QString();
        QTest::addRow("tokens round up") << SelectionSize{1, 5, 0, 0, 0, 0} << QStringLiteral("5 bytes  \u00B7  \u2248 2 tokens");
        QTest::addRow("thousands") << SelectionSize{10, 2'000'000, 0, 0, 0, 0}
                                   << QStringLiteral("2.0 MB  \u00B7  \u2248 500k tokens");
        QTest::addRow("millions") << SelectionSize{10, 12'345'678, 0, 0, 0, 0}
                                  << QStringLiteral("12.3 MB  \u00B7  \u2248 3.1M tokens");
        QTest::addRow("just under a million rounds to millions")
            << SelectionSize{1, 3'999'000, 0, 0, 0, 0} << QStringLiteral("4.0 MB  \u00B7  \u2248 1.0M tokens");
        QTest::addRow("only binaries") << SelectionSize{0, 0, 0, 0, 2, 3000}
                                       << QStringLiteral("3.0 kB  \u00B7  + 2 binaries (3.0 kB)");
    }

    void sizeText()
    {
        QFETCH(SelectionSize, size);
        QFETCH(QString, text);
        QCOMPARE(describeSelectionSize(size), text);
    }
};

QTEST_MAIN(TestExportPanel)
#include "tst_export_panel.moc"
