#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_scroll_host.h"
#include "editor/ui/line_layout.h"
#include "editor/ui/minimap_view.h"
#include "view_test_util.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>

using namespace vesk;
using namespace vesk::test;

namespace {

constexpr double h = 20;

// An editor with `text` open from a real file, shown in a scroll host of the given size.
struct Shown
{
    QTemporaryDir dir;
    EditorViewModel editor;
    EditorScrollHost host{&editor};

    explicit Shown(const QString &text, QSize size = QSize(600, 400))
    {
        openText(editor, dir, text);
        host.setPalette(plainPalette());
        host.resize(size);
        host.show();
        QCoreApplication::processEvents();
    }

    EditorCanvasView &canvas() { return *host.canvas(); }

    // The widget point over (line, column), a little right of the caret position.
    QPoint at(qint64 line, qint64 column)
    {
        const QPointF point(canvas().xForCol(column, line) + 1, canvas().yForLine(line) + h / 2);
        return (point - canvas().scrollOffset()).toPoint();
    }
};

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

QString numberedLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        lines.append(QStringLiteral("line %1").arg(i));
    }
    return lines.join(u'\n');
}

bool bluish(const QColor &color)
{
    return color.blue() > color.red() + 40;
}

struct Geometry
{
    QString text;
    double y;
    qint64 line;
    double gutter;
};

struct HitTest
{
    QString line;
    int tabWidth;
    double cells;  // x from the text start, in character widths
    qint64 column;
};

struct Whitespace
{
    QString line;
    bool show;
    QList<int> inkedCells, blankCells;
};

struct MenuChoice
{
    QString cursors, action, text, clipboard;
};

struct Sizes
{
    int lines;
    double viewport;  // the canvas's visible height; 0 when not known yet
    double scrolled, pitch, drawn, markerTop, markerHeight;
};

} // namespace

class TestEditorCanvas : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void geometry_data();
    void geometry();
    void hitTestsOnExpandedTabs_data();
    void hitTestsOnExpandedTabs();
    void frameShowsMarksCaretsAndSelections();
    void whitespaceMarks_data();
    void whitespaceMarks();
    void darkPaletteReads();
    void clicks_data();
    void clicks();
    void dragSelectsAndScrolls();
    void contextMenu_data();
    void contextMenu();
    void scrollHostFollowsTheEditor();
    void minimapGeometry_data();
    void minimapGeometry();
    void minimapClicksAndDrags();
    void minimapDrawsMarksAndBars();
    void minimapThinLinesStillShow();

private:
    PrivatePreferences m_preferences;
};

void TestEditorCanvas::geometry_data()
{
    QTest::addColumn<Geometry>("c");
    const QString paragraphs = QStringLiteral("a\u2029b\nc\u2029d");  // lines 0 and 2 end with U+2029
    QTest::addRow("empty document, anywhere") << Geometry{"", 500, 0, 26};
    QTest::addRow("above the text") << Geometry{"a\nb", -30, 0, 26};
    QTest::addRow("below the text") << Geometry{"a\nb", 900, 1, 26};
    QTest::addRow("plain lines") << Geometry{"a\nb\nc", 45, 2, 26};
    QTest::addRow("inside a paragraph gap") << Geometry{paragraphs, 23, 0, 26};
    QTest::addRow("top of the line after the gap") << Geometry{paragraphs, 26, 1, 26};
    QTest::addRow("after two gaps") << Geometry{paragraphs, 72, 3, 26};
    QTest::addRow("inside the second gap") << Geometry{paragraphs, 68, 2, 26};
    QTest::addRow("99 lines: two digits") << Geometry{QString(98, u'\n'), 45, 2, 26};
    QTest::addRow("100 lines: a wider gutter") << Geometry{QString(99, u'\n'), 45, 2, 33};
    QTest::addRow("12,000 lines") << Geometry{QString(11999, u'\n'), 45, 2, 47};
}

// The gutter fits the line numbers; every point maps to a line, every line's top back to it.
void TestEditorCanvas::geometry()
{
    QFETCH(Geometry, c);
    Shown shown(c.text);
    EditorCanvasView &canvas = shown.canvas();
    QCOMPARE(canvas.gutterWidth(), c.gutter);
    QCOMPARE(canvas.textX(), c.gutter + 7);
    QCOMPARE(canvas.lineForY(c.y), c.line);
    const qint64 count = shown.editor.document()->lineCount();
    const qint64 gaps = c.text.count(QChar(0x2029));
    QCOMPARE(canvas.totalContentHeight(), h * count + gaps * 0.3 * h + 2);
    for (qint64 l = 0; l < count; ++l) {
        QCOMPARE(canvas.lineForY(canvas.yForLine(l)), l);
    }
}

void TestEditorCanvas::hitTestsOnExpandedTabs_data()
{
    QTest::addColumn<HitTest>("c");
    QTest::addRow("before the text") << HitTest{"a\tb", 4, -2.0, 0};
    QTest::addRow("near the tab's start") << HitTest{"a\tb", 4, 1.3, 1};
    QTest::addRow("nearer the first space's end") << HitTest{"a\tb", 4, 1.6, 2};
    QTest::addRow("deep in the gap") << HitTest{"a\tb", 4, 3.4, 2};
    QTest::addRow("on b's right half") << HitTest{"a\tb", 4, 4.6, 3};
    QTest::addRow("past the end") << HitTest{"a\tb", 4, 30.0, 3};
    QTest::addRow("width 8, just before b") << HitTest{"a\tb", 8, 7.6, 2};
    QTest::addRow("width 8, on b") << HitTest{"a\tb", 8, 8.6, 3};
    QTest::addRow("two tabs") << HitTest{"\t\tx", 2, 2.6, 2};
    QTest::addRow("combining marks") << HitTest{"e\u0301e\u0301\tx", 4, 1.6, 2};
}

void TestEditorCanvas::hitTestsOnExpandedTabs()
{
    QFETCH(HitTest, c);
    const PreferenceSetting tabs(QStringLiteral("tabWidth"), c.tabWidth);
    Shown shown(c.line + QStringLiteral("\nnext"));
    EditorCanvasView &canvas = shown.canvas();
    const double cell = getLayout(QStringLiteral("x"))->width();
    QCOMPARE(canvas.colForX(canvas.textX() + c.cells * cell, 0), c.column);
    // The column's position is the start of its character in the expanded line.
    const qint64 visual = visualColumn(c.line, c.column, c.tabWidth);
    QCOMPARE(canvas.xForCol(c.column, 0), canvas.textX() + visual * cell);
    QCOMPARE(canvas.xForCol(c.column, 7), canvas.textX());  // no such line
    QCOMPARE(canvas.colForX(500, -1), 0);
}

// The orange bar marks exactly the modified lines and the red wedge the lines with removed
// lines after them; carets and selections are drawn where their columns are.
void TestEditorCanvas::frameShowsMarksCaretsAndSelections()
{
    Shown shown(QStringLiteral("first line\nsecond line\nthird line\nfourth\nfive"));
    shown.editor.document()->setOriginal(QStringLiteral("first line\nSECOND line\nthird line\nfourth\ngone\nfive"));
    TextCursor selection = TextCursor::at(3, 2);
    selection.setAnchor(1, 3);
    shown.editor.setCursors({TextCursor::at(0, 5), selection});
    const VeskDocument &document = *shown.editor.document();
    QVERIFY(!document.modifiedLines().isEmpty());
    QVERIFY(!document.deletedAfterLines().isEmpty());
    EditorCanvasView &canvas = shown.canvas();
    const QImage image = renderOf(canvas);
    const auto at = [&](double x, qint64 line, double dy) { return pixelAt(image, x, canvas.yForLine(line) + dy); };
    const QColor orange(255, 149, 0);
    for (qint64 line = 0; line < document.lineCount(); ++line) {
        QCOMPARE(closeTo(at(0.5, line, h / 2), orange), document.modifiedLines().contains(line));
        QVERIFY(!closeTo(at(3.5, line, h / 2), orange));  // two points wide
        const QColor corner = at(0.5, line, h - 1.5);
        QCOMPARE(corner.red() > 200 && corner.green() < 120, document.deletedAfterLines().contains(line));
    }

    const double caret = canvas.xForCol(5, 0);
    QVERIFY(bluish(at(caret + 0.5, 0, 2)));
    QVERIFY(bluish(at(caret + 0.5, 0, h - 2)));
    QVERIFY(!bluish(at(caret + 0.5, 0, 0.5)));  // a point below the line's top
    QVERIFY(!bluish(at(caret + 2.5, 0, h / 2)));

    const double endOfSecond = canvas.xForCol(11, 1);
    QVERIFY(!bluish(at(canvas.xForCol(3, 1) - 2, 1, 2)));  // starts at the anchor
    QVERIFY(bluish(at(canvas.xForCol(3, 1) + 2, 1, 2)));
    QVERIFY(bluish(at(endOfSecond + 9, 1, 2)));  // the selected line break: 10 points
    QVERIFY(!bluish(at(endOfSecond + 12, 1, 2)));
    QVERIFY(bluish(at(canvas.textX() + 1, 2, 2)));  // later lines start at the text
    QVERIFY(bluish(at(canvas.xForCol(2, 3) - 2, 3, 2)));
    QVERIFY(!bluish(at(canvas.xForCol(2, 3) + 4, 3, 2)));  // ends at the caret
}

void TestEditorCanvas::whitespaceMarks_data()
{
    QTest::addColumn<Whitespace>("c");
    // "⇥" in the tab's first cell, its padding blank.
    QTest::addRow("tab at column 1") << Whitespace{"a\tb", true, {0, 1, 4}, {2, 3}};
    QTest::addRow("dot for a space") << Whitespace{"a b", true, {0, 1, 2}, {3}};
    QTest::addRow("hidden") << Whitespace{"a\tb c", false, {0, 4, 6}, {1, 2, 3, 5}};
}

void TestEditorCanvas::whitespaceMarks()
{
    QFETCH(Whitespace, c);
    const PreferenceSetting show(QStringLiteral("showWhitespace"), c.show);
    Shown shown(QStringLiteral("caret here\n") + c.line);
    EditorCanvasView &canvas = shown.canvas();
    const QImage image = renderOf(canvas);
    const double cell = getLayout(QStringLiteral("x"))->width();
    const double top = canvas.yForLine(1);
    for (const int k : c.inkedCells) {
        QVERIFY2(inked(image, QRectF(canvas.textX() + k * cell, top + 2, cell, h - 4), Qt::white), qPrintable(QString::number(k)));
    }
    for (const int k : c.blankCells) {
        QVERIFY2(!inked(image, QRectF(canvas.textX() + k * cell + 1, top + 2, cell - 2, h - 4), Qt::white),
                 qPrintable(QString::number(k)));
    }
}

void TestEditorCanvas::darkPaletteReads()
{
    Shown shown(QStringLiteral("MMMM\n"));
    QPalette dark = plainPalette();
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    shown.host.setPalette(dark);
    const QImage image = renderOf(shown.canvas());
    const double textX = shown.canvas().textX();
    QVERIFY(closeTo(pixelAt(image, textX + 60, 30), QColor(30, 30, 30), 8));
    int lightest = 0;
    for (int x = int(textX); x < textX + 30; ++x) {
        lightest = std::max(lightest, image.pixelColor(x, 10).lightness());
    }
    QVERIFY(lightest > 150);  // the letters are light on the dark background
}

void TestEditorCanvas::clicks_data()
{
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<QString>("cursors");

    QTest::addRow("click places one caret") << "click 1:3" << "1:3";
    QTest::addRow("click past a line's end") << "click 0:40" << "0:9";
    QTest::addRow("click below the text") << "click 9:0" << "2:3";
    QTest::addRow("double click selects a word") << "double 1:5" << "1:5[1:0]";
    QTest::addRow("double click at a word's end") << "double 0:4" << "0:4[0:0]";
    QTest::addRow("command click adds a caret") << "click 0:1 command 2:2" << "0:1 2:2";
    QTest::addRow("command click on a caret adds none") << "click 0:1 command 0:1" << "0:1";
    QTest::addRow("triple click is a click") << "double 1:5 click 1:2" << "1:2";
}

void TestEditorCanvas::clicks()
{
    QFETCH(QString, gesture);
    QFETCH(QString, cursors);
    Shown shown(QStringLiteral("some text\nwords here\nend"));
    const QStringList steps = gesture.split(u' ');
    for (qsizetype i = 0; i + 1 < steps.size(); i += 2) {
        const QStringList place = steps[i + 1].split(u':');
        const qint64 line = place[0].toLongLong();
        const qint64 column = place[1].toLongLong();
        const QPoint point = line < 3 ? shown.at(line, column) : QPoint(200, 390);
        QWidget *target = &shown.canvas();
        if (steps[i] == u"double") {
            QTest::mouseDClick(target, Qt::LeftButton, {}, point);
        } else {
            QTest::mouseClick(target, Qt::LeftButton, steps[i] == u"command" ? Qt::ControlModifier : Qt::NoModifier, point);
        }
    }
    QCOMPARE(describeCursors(shown.editor.cursors()), cursors);
    QVERIFY(shown.canvas().hasFocus());
}

void TestEditorCanvas::dragSelectsAndScrolls()
{
    Shown shown(numberedLines(200), QSize(400, 200));
    EditorCanvasView &canvas = shown.canvas();
    QTest::mousePress(&canvas, Qt::LeftButton, {}, shown.at(1, 2));
    QTest::mouseMove(&canvas, shown.at(3, 4));
    QVERIFY(canvas.isDragging());
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, shown.at(3, 4));
    QCOMPARE(describeCursors(shown.editor.cursors()), QStringLiteral("3:4[1:2]"));
    QVERIFY(!canvas.isDragging());
    QVERIFY(!shown.editor.isTrackpadSelecting());

    // Dragging near the bottom edge scrolls on, keeping the anchor.
    QTest::mousePress(&canvas, Qt::LeftButton, {}, shown.at(2, 0));
    for (int step = 0; step < 5; ++step) {
        QTest::mouseMove(&canvas, QPoint(100, canvas.height() - 5));
    }
    QTRY_VERIFY(canvas.scrollOffset().y() > 100);
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, QPoint(100, canvas.height() - 5));
    const TextCursor &cursor = shown.editor.cursors().first();
    QCOMPARE(cursor.selectionAnchorLine, std::optional<qint64>(2));
    QVERIFY(cursor.line > 10);
    QTRY_COMPARE(shown.editor.scrollState()->offsetY(), -canvas.scrollOffset().y());
}

void TestEditorCanvas::contextMenu_data()
{
    QTest::addColumn<MenuChoice>("c");
    QTest::addRow("copy") << MenuChoice{"0:6[0:2]", "Copy", "one two\nthree", "e tw"};
    QTest::addRow("copy across lines") << MenuChoice{"1:2[0:3]", "Copy", "one two\nthree", " two\nth"};
    QTest::addRow("cut") << MenuChoice{"0:6[0:2]", "Cut", "ono\nthree", "e tw"};
    QTest::addRow("cut without selection") << MenuChoice{"0:3", "Cut", "one two\nthree", "CLIP"};
    QTest::addRow("paste at the caret") << MenuChoice{"1:0", "Paste", "one two\nCLIPthree", "CLIP"};
    QTest::addRow("paste over a selection") << MenuChoice{"0:7[0:4]", "Paste", "one CLIP\nthree", "CLIP"};
    QTest::addRow("select all, then copy") << MenuChoice{"0:0", "Select All", "one two\nthree", "one two\nthree"};
}

void TestEditorCanvas::contextMenu()
{
    QFETCH(MenuChoice, c);
    Shown shown(QStringLiteral("one two\nthree"));
    QGuiApplication::clipboard()->setText(QStringLiteral("CLIP"));
    shown.editor.setCursors(parseCursors(c.cursors));
    QContextMenuEvent event(QContextMenuEvent::Mouse, shown.at(0, 1), shown.canvas().mapToGlobal(shown.at(0, 1)));
    QApplication::sendEvent(&shown.canvas(), &event);
    auto *menu = shown.canvas().findChild<QMenu *>();
    QVERIFY(menu);
    QStringList titles;
    for (QAction *item : menu->actions()) {
        titles.append(item->isSeparator() ? QStringLiteral("-") : item->text());
        if (item->text() == c.action) {
            item->trigger();
        }
    }
    menu->close();
    QCOMPARE(titles, QStringList({"Cut", "Copy", "Paste", "-", "Select All"}));
    if (c.action == u"Select All") {
        shown.canvas().copyText();
    }
    QCOMPARE(shown.editor.document()->text(), c.text);
    QCOMPARE(QGuiApplication::clipboard()->text(), c.clipboard);
}

// The host publishes the scroll position and follows the minimap's (and go-to-line's) target.
void TestEditorCanvas::scrollHostFollowsTheEditor()
{
    Shown shown(numberedLines(300), QSize(500, 400));
    EditorCanvasView &canvas = shown.canvas();
    QTRY_COMPARE(shown.editor.scrollState()->viewportHeight(), double(canvas.height()));
    QCOMPARE(canvas.frameSize().height(), canvas.totalContentHeight());
    QVERIFY(canvas.frameSize().width() >= canvas.textX() + getLayout(QStringLiteral("line 299"))->width() + 40);

    shown.editor.setMinimapScrollTarget(120);
    QTRY_COMPARE(canvas.scrollOffset().y(), 120 * h - canvas.height() * 0.5);
    QTRY_VERIFY(!shown.editor.minimapScrollTarget());
    QCOMPARE(shown.editor.scrollState()->offsetY(), -canvas.scrollOffset().y());

    shown.editor.goToLine(2, 0);  // near the top: never scrolled above the text
    QTRY_COMPARE(canvas.scrollOffset().y(), 0.0);

    shown.editor.goToLine(299, 0);  // the last line can reach the middle only as far as the range goes
    QTRY_COMPARE(shown.host.verticalScrollBar()->value(), shown.host.verticalScrollBar()->maximum());
}

void TestEditorCanvas::minimapGeometry_data()
{
    QTest::addColumn<Sizes>("c");
    QTest::addRow("100 lines, 3 points each") << Sizes{100, 400, 0, 3, 300, 0, 60};
    QTest::addRow("scrolled half way") << Sizes{100, 400, 800, 3, 300, 120, 60};
    QTest::addRow("scrolled to the end") << Sizes{100, 400, 1600, 3, 300, 240, 60};
    QTest::addRow("10,000 lines") << Sizes{10000, 400, 0, 0.06, 600, 0, 12};
    QTest::addRow("fits on screen") << Sizes{5, 400, 0, 3, 15, 0, 15};
    QTest::addRow("tiny text, marker of 12") << Sizes{2, 400, 0, 3, 6, 0, 12};
    QTest::addRow("container height until known") << Sizes{100, 0, 0, 3, 300, 0, 75};
}

void TestEditorCanvas::minimapGeometry()
{
    QFETCH(Sizes, c);
    Minimap minimap(numberedLines(c.lines), 600);
    minimap.view.setContainerHeight(500);
    minimap.editor.scrollState()->setViewportHeight(c.viewport);
    minimap.editor.scrollState()->setOffsetY(-c.scrolled);
    const MinimapView::Geometry g = minimap.view.geometry();
    QCOMPARE(g.lines, qint64(c.lines));
    QVERIFY(qFuzzyCompare(g.pitch, c.pitch));
    QVERIFY(qFuzzyCompare(g.drawnHeight, c.drawn));
    QVERIFY(qFuzzyCompare(1 + g.markerTop, 1 + c.markerTop));
    QVERIFY(qFuzzyCompare(g.markerHeight, c.markerHeight));
}

void TestEditorCanvas::minimapClicksAndDrags()
{
    Minimap minimap(numberedLines(100), 600);
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
void TestEditorCanvas::minimapDrawsMarksAndBars()
{
    Minimap minimap(QStringLiteral("top\n        indented and long\n\n    \nlast"), 300);
    minimap.editor.document()->setOriginal(QStringLiteral("TOP\n        indented and long\nremoved\n\n    \nlast"));
    minimap.editor.setCursors({TextCursor::at(4, 0)});
    const QImage image = renderOf(minimap.view);

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
void TestEditorCanvas::minimapThinLinesStillShow()
{
    const QString text = numberedLines(10000);
    Minimap minimap(text, 600);
    const QString original = QString(text).replace(QStringLiteral("line 5000\n"), QStringLiteral("changed\n"));
    minimap.editor.document()->setOriginal(original);
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

QTEST_MAIN(TestEditorCanvas)
#include "tst_editor_canvas.moc"
