#include "editor/ui/minimap_view.h"
#include "view_test_util.h"

#include <QPainter>

using namespace vesk;
using namespace vesk::test;

namespace {

struct Minimap
{
    QTemporaryDir dir;
    EditorViewModel editor;
    MinimapView view{&editor};
    QList<qint64> targets;

    Minimap(const QString &text, int height)
    {
        openText(editor, dir, text);
        view.setPalette(plainPalette());
        view.resize(int(MinimapView::defaultWidth), height);
        view.setScrollToLine([this](qint64 line) { targets.append(line); });
    }
};

QString linesOf(int count, const QString &line)
{
    return QStringList(count, line).join(u'\n');
}

} // namespace

class TestMinimap : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void geometry_data();
    void geometry();
    void clicksAndDrags();
    void drawsMarksAndBars();
    void thinLinesStillShow();

private:
    PrivatePreferences m_preferences;
};

void TestMinimap::geometry_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("viewport");  // the canvas's visible height; 0 when not known yet
    QTest::addColumn<double>("scrolled");
    QTest::addColumn<double>("pitch");
    QTest::addColumn<double>("drawn");
    QTest::addColumn<double>("markerTop");
    QTest::addColumn<double>("markerHeight");

    QTest::addRow("100 lines, 3 points each") << 100 << 600 << 400.0 << 0.0 << 3.0 << 300.0 << 0.0 << 60.0;
    QTest::addRow("scrolled half way") << 100 << 600 << 400.0 << 800.0 << 3.0 << 300.0 << 120.0 << 60.0;
    QTest::addRow("scrolled to the end") << 100 << 600 << 400.0 << 1600.0 << 3.0 << 300.0 << 240.0 << 60.0;
    QTest::addRow("10,000 lines") << 10000 << 600 << 400.0 << 0.0 << 0.06 << 600.0 << 0.0 << 12.0;
    QTest::addRow("fits on screen") << 5 << 600 << 400.0 << 0.0 << 3.0 << 15.0 << 0.0 << 15.0;
    QTest::addRow("tiny text, marker of 12") << 2 << 600 << 400.0 << 0.0 << 3.0 << 6.0 << 0.0 << 12.0;
    QTest::addRow("container height until known") << 100 << 600 << 0.0 << 0.0 << 3.0 << 300.0 << 0.0 << 75.0;
}

void TestMinimap::geometry()
{
    QFETCH(int, lines);
    QFETCH(int, height);
    QFETCH(double, viewport);
    QFETCH(double, scrolled);
    QFETCH(double, pitch);
    QFETCH(double, drawn);
    QFETCH(double, markerTop);
    QFETCH(double, markerHeight);
    Minimap minimap(linesOf(lines, QStringLiteral("x")), height);
    minimap.view.setContainerHeight(500);
    minimap.editor.scrollState()->setViewportHeight(viewport);
    minimap.editor.scrollState()->setOffsetY(-scrolled);
    const MinimapView::Geometry g = minimap.view.geometry();
    QCOMPARE(g.lines, qint64(lines));
    QVERIFY(qFuzzyCompare(g.pitch, pitch));
    QVERIFY(qFuzzyCompare(g.drawnHeight, drawn));
    QVERIFY(qFuzzyCompare(1 + g.markerTop, 1 + markerTop));
    QVERIFY(qFuzzyCompare(g.markerHeight, markerHeight));
}

void TestMinimap::clicksAndDrags()
{
    Minimap minimap(linesOf(100, QStringLiteral("x")), 600);
    minimap.view.show();
    QTest::mouseClick(&minimap.view, Qt::LeftButton, {}, QPoint(40, 150));
    QCOMPARE(minimap.targets, QList<qint64>{50});
    QTest::mousePress(&minimap.view, Qt::LeftButton, {}, QPoint(40, 3));
    QTest::mouseMove(&minimap.view, QPoint(40, 90));
    QTest::mouseMove(&minimap.view, QPoint(40, 580));  // below the drawn lines: the last line
    QTest::mouseRelease(&minimap.view, Qt::LeftButton, {}, QPoint(40, 580));
    QCOMPARE(minimap.targets, (QList<qint64>{50, 1, 30, 99}));
}

// Per line: the orange and red marks at the left, a bar for the text from its indentation, and
// the caret's line in blue.
void TestMinimap::drawsMarksAndBars()
{
    Minimap minimap(QStringLiteral("top\n        indented and long\n\n    \nlast"), 300);
    minimap.editor.document()->setOriginal(QStringLiteral("TOP\n        indented and long\nremoved\n\n    \nlast"));
    minimap.editor.setCursors({TextCursor::at(4, 0)});
    QImage image(minimap.view.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    minimap.view.drawFrame(painter);
    painter.end();

    const VeskDocument &document = *minimap.editor.document();
    const QColor orange(255, 149, 0);
    for (qint64 line = 0; line < document.lineCount(); ++line) {
        QVERIFY2(closeTo(pixelAt(image, 2, line * 3 + 1), orange, 60) == document.modifiedLines().contains(line),
                 qPrintable(QStringLiteral("line %1: %2").arg(line).arg(pixelAt(image, 2, line * 3 + 1).name())));
    }
    QVERIFY(document.deletedAfterLines().contains(1));  // "removed" was after line 1
    const QColor mark = pixelAt(image, 2, 1 * 3 + 2);
    QVERIFY(mark.red() > 200 && mark.green() < 120);
    const QColor background = pixelAt(image, 70, 100);
    QVERIFY(!inked(image, QRectF(4, 3, 3, 2), background));      // indentation of line 1: 8 × 0.4
    QVERIFY(inked(image, QRectF(8, 3, 1, 2), background));       // its bar starts at 4 + 3.2
    QVERIFY(!inked(image, QRectF(4, 6, 70, 5), background));     // blank lines have no bar
    QVERIFY(bool(pixelAt(image, 5, 13).blue() > pixelAt(image, 5, 13).red() + 60));  // caret line
}

// With more lines than pixels every row still shows a bar at least one point high, and a marked
// line marks its row.
void TestMinimap::thinLinesStillShow()
{
    Minimap minimap(linesOf(10000, QStringLiteral("int value = 1;")), 600);
    minimap.editor.document()->setOriginal(linesOf(5000, QStringLiteral("int value = 1;")) + u'\n'
                                           + QStringLiteral("changed") + u'\n'
                                           + linesOf(4999, QStringLiteral("int value = 1;")));
    QVERIFY(minimap.editor.document()->modifiedLines().contains(5000));
    minimap.view.show();
    const QImage image = renderOf(minimap.view);
    const QColor background = pixelAt(image, 70, 10);
    for (int row = 0; row < 600; row += 37) {
        QVERIFY2(inked(image, QRectF(5, row, 2, 1), background), qPrintable(QString::number(row)));
    }
    QVERIFY(closeTo(pixelAt(image, 1, 300), QColor(255, 149, 0), 60));
    QVERIFY(!closeTo(pixelAt(image, 1, 200), QColor(255, 149, 0), 60));
}

QTEST_MAIN(TestMinimap)
#include "tst_minimap.moc"
