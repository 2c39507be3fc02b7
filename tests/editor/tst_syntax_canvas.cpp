#include "editor/ui/editor_canvas_view.h"
#include "editor/ui/editor_scroll_host.h"
#include "editor/ui/editor_syntax.h"
#include "editor/ui/status_bar_view.h"
#include "editor/ui/syntax_colors.h"
#include "syntax/language_table.h"
#include "view_test_util.h"

#include <QDir>
#include <QLabel>
#include <QSignalSpy>

using namespace vesk;
using namespace vesk::test;

namespace {

QPalette darkPalette()
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Base, QColor(30, 30, 30));
    palette.setColor(QPalette::Window, QColor(45, 45, 45));
    palette.setColor(QPalette::Text, QColor(235, 235, 235));
    palette.setColor(QPalette::WindowText, QColor(235, 235, 235));
    palette.setColor(QPalette::Highlight, QColor(0, 90, 200));
    return palette;
}

// An editor with a real file open, shown in a scroll host.
struct Shown
{
    PrivatePreferences preferences;
    QTemporaryDir dir;
    EditorViewModel editor;
    EditorScrollHost host{&editor};
    QString path;

    Shown(const QString &text, const QString &name, const QPalette &palette = plainPalette())
    {
        path = openText(editor, dir, text, name);
        host.setPalette(palette);
        host.resize(700, 400);
        host.show();
        QCoreApplication::processEvents();
    }

    EditorCanvasView &canvas() { return *host.canvas(); }
    SyntaxHighlighter &highlighter() { return EditorSyntax::of(&editor)->highlighter(); }

    // Waits for the parse of the current text to come back.
    bool coloured()
    {
        EditorSyntax::of(&editor)->sync();
        return QTest::qWaitFor([&] { return highlighter().parseCount() > 0 && !highlighter().isParsing(); }, 20000);
    }

    // The strongest ink of columns [from, to) of a line: the pixel farthest from the background,
    // which is where a glyph covers a whole pixel.
    QColor inkOf(const QImage &image, qint64 line, qint64 from, qint64 to)
    {
        const QColor background = textBackgroundColorOf(host.palette());
        const QRectF area(canvas().xForCol(from, line) + 1, canvas().yForLine(line) + 2,
                          canvas().xForCol(to, line) - canvas().xForCol(from, line) - 2, 16);
        QColor strongest = background;
        int farthest = -1;
        const QRect pixels = area.toAlignedRect().intersected(image.rect());
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            for (int x = pixels.left(); x <= pixels.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const int distance = std::abs(c.red() - background.red()) + std::abs(c.green() - background.green())
                    + std::abs(c.blue() - background.blue());
                if (distance > farthest) {
                    farthest = distance;
                    strongest = c;
                }
            }
        }
        return strongest;
    }

    static QColor textBackgroundColorOf(const QPalette &palette) { return palette.color(QPalette::Base); }

    bool shows(const QImage &image, qint64 line, qint64 from, qint64 to, HighlightStyle style)
    {
        const QColor ink = inkOf(image, line, from, to);
        const QColor expected = syntaxColor(style, host.palette());
        if (closeTo(ink, expected, 40)) {
            return true;
        }
        qWarning("line %lld columns %lld-%lld: ink %s, expected %s", line, from, to, qPrintable(ink.name()),
                 qPrintable(expected.name()));
        return false;
    }
};

struct Piece
{
    qint64 line, from, to;
    HighlightStyle style;
};

} // namespace

Q_DECLARE_METATYPE(QList<Piece>)

class TestSyntaxCanvas : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void codeIsDrawnInTheThemeColours_data();
    void codeIsDrawnInTheThemeColours();
    void blockCommentRecoloursBelowAfterTheParse();
    void renamedFileGetsColoured();
    void preferenceSwitchesColoursOff();
    void largeFileSaysSoInTheStatusRow();
};

void TestSyntaxCanvas::codeIsDrawnInTheThemeColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QList<Piece>>("pieces");
    const QString cpp = QStringLiteral("int main() {\n    return \"hi\"; // note\n}\n");
    const QList<Piece> cppPieces = {{1, 4, 10, HighlightStyle::keyword},
                                    {1, 11, 15, HighlightStyle::string},
                                    {1, 17, 24, HighlightStyle::comment},
                                    {0, 0, 3, HighlightStyle::type}};
    const QString python = QStringLiteral("def f():\n    return 'hi'  # note\nvalue = f()\n");
    const QList<Piece> pythonPieces = {{0, 0, 3, HighlightStyle::keyword},
                                       {1, 4, 10, HighlightStyle::keyword},
                                       {1, 11, 15, HighlightStyle::string},
                                       {1, 17, 23, HighlightStyle::comment},
                                       {2, 0, 5, HighlightStyle::none}};
    QTest::addRow("C++ light") << "main.cpp" << cpp << false << cppPieces;
    QTest::addRow("C++ dark") << "main.cpp" << cpp << true << cppPieces;
    QTest::addRow("Python light") << "tool.py" << python << false << pythonPieces;
    QTest::addRow("Python dark") << "tool.py" << python << true << pythonPieces;
}

void TestSyntaxCanvas::codeIsDrawnInTheThemeColours()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, dark);
    QFETCH(QList<Piece>, pieces);
    Shown shown(text, name, dark ? darkPalette() : plainPalette());
    QVERIFY(shown.coloured());
    const QImage image = renderOf(shown.canvas());
    for (const Piece &piece : pieces) {
        QVERIFY(shown.shows(image, piece.line, piece.from, piece.to, piece.style));
    }
    QVERIFY(!closeTo(syntaxColor(HighlightStyle::keyword, shown.host.palette()),
                     syntaxColor(HighlightStyle::string, shown.host.palette()), 40));
}

// Opening a block comment colours the lines below only once the new parse is in; until then
// they keep their colours. Undo brings the old colours back, again after its parse.
void TestSyntaxCanvas::blockCommentRecoloursBelowAfterTheParse()
{
    Shown shown(QStringLiteral("int a = 1;\nint b = 2;\nint c = 3; // */\nint d;\n"), QStringLiteral("main.c"));
    QVERIFY(shown.coloured());
    QVERIFY(shown.shows(renderOf(shown.canvas()), 2, 0, 3, HighlightStyle::type));

    QSignalSpy colours(EditorSyntax::of(&shown.editor), &EditorSyntax::changed);
    shown.editor.setCursors({TextCursor::at(0, 0)});
    shown.editor.insertAtCursors(QStringLiteral("/*"));
    const QImage before = renderOf(shown.canvas());  // no event has run: the parse cannot be in
    QVERIFY(shown.shows(before, 2, 0, 3, HighlightStyle::type));
    QVERIFY(shown.shows(before, 1, 0, 3, HighlightStyle::type));

    QVERIFY(colours.wait(20000));
    QVERIFY(shown.coloured());
    const QImage after = renderOf(shown.canvas());
    QVERIFY(shown.shows(after, 1, 0, 3, HighlightStyle::comment));
    QVERIFY(shown.shows(after, 2, 0, 3, HighlightStyle::comment));
    QVERIFY(shown.shows(after, 3, 0, 3, HighlightStyle::type));  // after the comment's end

    shown.editor.document()->undo();
    QVERIFY(shown.coloured());
    QTRY_VERIFY(shown.highlighter().lineSpans(2).size() > 0
                && shown.highlighter().lineSpans(2).front().style == HighlightStyle::type);
    const QImage undone = renderOf(shown.canvas());
    QVERIFY(shown.shows(undone, 2, 0, 3, HighlightStyle::type));
    QVERIFY(shown.shows(undone, 0, 0, 3, HighlightStyle::type));
}

void TestSyntaxCanvas::renamedFileGetsColoured()
{
    Shown shown(QStringLiteral("def f():\n    return 1\n"), QStringLiteral("script.txt"));
    EditorSyntax::of(&shown.editor)->sync();
    QCOMPARE(shown.highlighter().language(), nullptr);
    QVERIFY(shown.shows(renderOf(shown.canvas()), 0, 0, 3, HighlightStyle::none));

    const QString renamed = QFileInfo(shown.path).dir().filePath(QStringLiteral("script.py"));
    QVERIFY(QFile::rename(shown.path, renamed));
    shown.editor.openFile(renamed);
    QVERIFY(shown.coloured());
    QCOMPARE(shown.highlighter().language()->name, QStringLiteral("Python"));
    QVERIFY(shown.shows(renderOf(shown.canvas()), 0, 0, 3, HighlightStyle::keyword));
}

void TestSyntaxCanvas::preferenceSwitchesColoursOff()
{
    Shown shown(QStringLiteral("int main() { return 0; }\n"), QStringLiteral("main.cpp"));
    QVERIFY(shown.coloured());
    QVERIFY(shown.shows(renderOf(shown.canvas()), 0, 13, 19, HighlightStyle::keyword));
    {
        PreferenceSetting off(QStringLiteral("syntaxHighlighting"), false);
        QVERIFY(shown.shows(renderOf(shown.canvas()), 0, 13, 19, HighlightStyle::none));
        QCOMPARE(shown.highlighter().language(), nullptr);
    }
    QVERIFY(shown.coloured());
    QVERIFY(shown.shows(renderOf(shown.canvas()), 0, 13, 19, HighlightStyle::keyword));
}

void TestSyntaxCanvas::largeFileSaysSoInTheStatusRow()
{
    const QString longLine(SyntaxHighlighter::maxLineUnits + 1, u'x');
    Shown shown(QStringLiteral("int a;\n") + longLine + QStringLiteral("\nint b;\n"), QStringLiteral("big.cpp"));
    StatusBarView status(&shown.editor, std::nullopt);
    auto *note = status.findChild<QLabel *>(QStringLiteral("syntaxNote"));
    QVERIFY(note);
    QTRY_VERIFY(shown.highlighter().isTooLarge());
    QTRY_COMPARE(note->text(), QStringLiteral("Syntax highlighting off — file too large"));
    QVERIFY(!note->isHidden());
    QVERIFY(shown.shows(renderOf(shown.canvas()), 0, 0, 3, HighlightStyle::none));

    Shown small(QStringLiteral("int a;\n"), QStringLiteral("small.cpp"));
    StatusBarView quiet(&small.editor, std::nullopt);
    QVERIFY(small.coloured());
    QTRY_VERIFY(quiet.findChild<QLabel *>(QStringLiteral("syntaxNote"))->isHidden());
}

QTEST_MAIN(TestSyntaxCanvas)
#include "tst_syntax_canvas.moc"
