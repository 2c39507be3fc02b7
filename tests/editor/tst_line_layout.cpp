#include "editor/ui/line_layout.h"
#include "view_test_util.h"

#include <QRawFont>
#include <QTextLayout>

using namespace vesk;
using namespace vesk::test;

namespace {

struct Tabs
{
    QString line;
    QVariant width;  // the stored preference
    QString expanded;
    int visualColumnOfCharacter2;
};

QList<quint32> glyphsOf(const QList<QGlyphRun> &runs)
{
    QList<quint32> glyphs;
    for (const QGlyphRun &run : runs) {
        glyphs += run.glyphIndexes();
    }
    return glyphs;
}

} // namespace

class TestLineLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void expandTabs_data();
    void expandTabs();
    void offsetsPerCharacter_data();
    void offsetsPerCharacter();
    void plainAsciiMatchesTypesetting();
    void everyScriptShows_data();
    void everyScriptShows();
    void controlsAndEmojiSequencesShow_data();
    void controlsAndEmojiSequencesShow();
    void longLinesStayLinearAndContinuous();
    void cacheEmptiesAtItsBoundAndOnPreferenceChanges();

private:
    PrivatePreferences m_preferences;
};

void TestLineLayout::expandTabs_data()
{
    QTest::addColumn<Tabs>("c");
    QTest::addRow("no tab comes back unchanged") << Tabs{"abc", 4, "abc", 2};
    QTest::addRow("tab after one letter") << Tabs{"a\tb", 4, "a   b", 4};
    QTest::addRow("tab on a stop is a whole stop") << Tabs{"abcd\tx", 4, "abcd    x", 2};
    QTest::addRow("leading tabs") << Tabs{"\t\tx", 4, "        x", 8};
    QTest::addRow("width 1: one space each") << Tabs{"a\t\tb", 1, "a  b", 2};
    QTest::addRow("width 8") << Tabs{"ab\tc", 8, "ab      c", 2};
    // é spelt with a combining mark is one character, one column.
    QTest::addRow("combining mark counts once") << Tabs{"e\u0301\tx", 4, "e\u0301   x", 4};
    QTest::addRow("emoji cluster counts once") << Tabs{"\U0001F44D\U0001F3FD\tx", 4, "\U0001F44D\U0001F3FD   x", 4};
    QTest::addRow("width unset") << Tabs{"\tx", {}, "    x", 5};
    QTest::addRow("width zero clamps to one") << Tabs{"\tx", 0, " x", 2};
    QTest::addRow("negative width clamps to one") << Tabs{"\tx", -8, " x", 2};
    QTest::addRow("huge width clamps to sixteen") << Tabs{"\tx", 1000, QString(16, u' ') + u'x', 17};
    QTest::addRow("width stored as text") << Tabs{"\tx", QStringLiteral("8"), "        x", 9};
    QTest::addRow("width not a number") << Tabs{"\tx", QStringLiteral("wide"), "    x", 5};
}

void TestLineLayout::expandTabs()
{
    QFETCH(Tabs, c);
    const PreferenceSetting setting(QStringLiteral("tabWidth"), c.width);
    QCOMPARE(vesk::expandTabs(c.line), c.expanded);
    QCOMPARE(vesk::expandTabs(c.line, tabWidth()), c.expanded);
    QCOMPARE(visualColumn(c.line, 2, tabWidth()), c.visualColumnOfCharacter2);
}

void TestLineLayout::offsetsPerCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("characters");

    QTest::addRow("empty") << "" << 0;
    QTest::addRow("ascii") << "int x;" << 6;
    QTest::addRow("combining mark") << "e\u0301t\u00e9" << 3;
    QTest::addRow("emoji with modifier and flag") << "\U0001F44D\U0001F3FD\U0001F1EB\U0001F1F7!" << 3;
    QTest::addRow("cjk") << "\u65E5\u672C\u8A9E" << 3;
    QTest::addRow("control character") << QStringLiteral("a\u0001b") << 3;
    QTest::addRow("lone carriage return") << QStringLiteral("a\rb") << 3;
}

// One caret position before every character and one after the last, never going backwards in
// left-to-right text, ending at the line's width; a point maps back to the caret position at it.
void TestLineLayout::offsetsPerCharacter()
{
    QFETCH(QString, text);
    QFETCH(int, characters);
    const LineLayout layout(text, editorFont());
    QCOMPARE(layout.offsetCount(), characters + 1);
    QCOMPARE(layout.offset(0), 0.0);
    for (qsizetype k = 0; k <= characters; ++k) {
        QVERIFY2(k == 0 || layout.offset(k) >= layout.offset(k - 1), qPrintable(QString::number(k)));
        QCOMPARE(layout.offset(layout.charIndex(layout.offset(k))), layout.offset(k));
    }
    QCOMPARE(layout.charIndex(-5), 0);
    QCOMPARE(layout.charIndex(1e6), characters);
    QCOMPARE(layout.width(), layout.offset(characters));
    QCOMPARE(layout.width() > 0, characters > 0);
}

// The plain-ASCII path places carets and glyphs exactly where typesetting does.
void TestLineLayout::plainAsciiMatchesTypesetting()
{
    const QString text = QStringLiteral("  if (a->b != c) { return \"fi\" + x[0] * 1.5e3; } // ~`|\\");
    const LineLayout layout(text, editorFont());
    QTextLayout reference(text, editorFont());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    reference.setTextOption(option);
    reference.beginLayout();
    QTextLine line = reference.createLine();
    line.setLineWidth(1e6);
    reference.endLayout();
    for (int k = 0; k <= text.size(); ++k) {
        QVERIFY2(std::abs(layout.offset(k) - line.cursorToX(k)) < 0.01, qPrintable(QString::number(k)));
    }
    QCOMPARE(glyphsOf(layout.glyphRuns()), glyphsOf(line.glyphRuns()));
}

// Characters the editor font lacks are drawn from a font that has them: no glyph is the
// missing-glyph box (index 0). Each script needs a font the setup script installs.
void TestLineLayout::everyScriptShows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("japanese") << QStringLiteral("\u65E5\u672C\u8A9E\u306E\u6587\u30AB\u30BF\u30AB\u30CA");
    QTest::addRow("chinese") << QStringLiteral("\u4E2D\u6587\u7B80\u4F53\u7E41\u9AD4");
    QTest::addRow("korean") << QStringLiteral("\uD55C\uAD6D\uC5B4 \uC548\uB155\uD558\uC138\uC694");
    QTest::addRow("greek and cyrillic") << QStringLiteral("\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC "
                                                          "\u041F\u0440\u0438\u0432\u0435\u0442");
    QTest::addRow("emoji") << QStringLiteral("\U0001F600 \U0001F44D\U0001F3FD \U0001F1EB\U0001F1F7");
    QTest::addRow("marks and mixed") << QStringLiteral("\u21E5 \u00B7 ok \u65E5\uD55C\U0001F600");
}

void TestLineLayout::everyScriptShows()
{
    QFETCH(QString, text);
    const LineLayout layout(text, editorFont());
    QVERIFY(!layout.glyphRuns().isEmpty());
    for (const QGlyphRun &run : layout.glyphRuns()) {
        QVERIFY2(!run.glyphIndexes().contains(0u), qPrintable(run.rawFont().familyName()));
    }
}

// Control characters show as a symbol each, one character wide as in the text; characters that
// ask for emoji presentation come from the colour emoji font, not as the text font's digit or
// symbol.
void TestLineLayout::controlsAndEmojiSequencesShow_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("characters");
    QTest::addColumn<QString>("family");  // of every glyph; empty: any, but none missing

    QTest::addRow("NUL between letters") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << 3 << QString();
    QTest::addRow("escape sequence") << QStringLiteral("\u001B[0m") << 4 << QString();
    QTest::addRow("form feed alone") << QStringLiteral("\f") << 1 << QString();
    QTest::addRow("lone carriage return") << QStringLiteral("a\rb") << 3 << QString();
    QTest::addRow("DEL and C1 next line") << QStringLiteral("\u007F\u0085\u009B") << 3 << QString();
    QTest::addRow("controls side by side") << QStringLiteral("\u0001\u0002\u0003\u001F") << 4 << QString();
    QTest::addRow("keycap one") << QStringLiteral("1\uFE0F\u20E3") << 1 << QStringLiteral("Noto Color Emoji");
    QTest::addRow("keycap hash") << QStringLiteral("#\uFE0F\u20E3") << 1 << QStringLiteral("Noto Color Emoji");
    QTest::addRow("red heart") << QStringLiteral("\u2764\uFE0F") << 1 << QStringLiteral("Noto Color Emoji");
    QTest::addRow("smiling face") << QStringLiteral("\u263A\uFE0F") << 1 << QStringLiteral("Noto Color Emoji");
}

void TestLineLayout::controlsAndEmojiSequencesShow()
{
    QFETCH(QString, text);
    QFETCH(int, characters);
    QFETCH(QString, family);
    const LineLayout layout(text, editorFont());
    QCOMPARE(layout.offsetCount(), characters + 1);
    for (qsizetype k = 0; k < characters; ++k) {
        QVERIFY2(layout.offset(k + 1) > layout.offset(k), qPrintable(QString::number(k)));  // nothing invisible
    }
    qsizetype glyphs = 0;
    for (const QGlyphRun &run : layout.glyphRuns()) {
        QVERIFY2(!run.glyphIndexes().contains(0u), qPrintable(run.rawFont().familyName()));
        if (!family.isEmpty()) {
            QCOMPARE(run.rawFont().familyName(), family);
        }
        glyphs += run.glyphIndexes().size();
    }
    QVERIFY(glyphs >= (family.isEmpty() ? characters : 1));
}

// A long line is typeset in pieces; offsets still rise steadily from piece to piece and the
// glyphs of every piece are there.
void TestLineLayout::longLinesStayLinearAndContinuous()
{
    QString text;
    for (int i = 0; i < 3000; ++i) {
        text += i % 7 == 6 ? QStringLiteral(" ") : QStringLiteral("\u65E5");
    }
    const LineLayout layout(text, editorFont());
    QCOMPARE(layout.offsetCount(), 3001);
    double step = layout.offset(1) - layout.offset(0);
    for (qsizetype k = 1; k < layout.offsetCount(); ++k) {
        const double advance = layout.offset(k) - layout.offset(k - 1);
        QVERIFY2(advance > 0, qPrintable(QString::number(k)));
        if (text[k - 1] != u' ') {
            QVERIFY2(std::abs(advance - step) < 0.01, qPrintable(QString::number(k)));  // no jump at a seam
        }
    }
    QCOMPARE(glyphsOf(layout.glyphRuns()).size(), 3000);
}

void TestLineLayout::cacheEmptiesAtItsBoundAndOnPreferenceChanges()
{
    clearLayoutCache();
    for (int i = 0; i < 501; ++i) {
        getLayout(QString::number(i));
    }
    QCOMPARE(layoutCacheSize(), 501);
    getLayout(QStringLiteral("500"));  // a hit stores nothing
    QCOMPARE(layoutCacheSize(), 501);
    getLayout(QStringLiteral("one more"));
    QCOMPARE(layoutCacheSize(), 1);

    const QString line = QStringLiteral("a\tb");
    const double atFour = getLayout(line)->width();
    const PreferenceSetting tabs(QStringLiteral("tabWidth"), 8);
    QCOMPARE(layoutCacheSize(), 0);
    QVERIFY(getLayout(line)->width() > atFour);
    const PreferenceSetting other(QStringLiteral("showDotFiles"), true);  // any change
    QCOMPARE(layoutCacheSize(), 0);
}

QTEST_MAIN(TestLineLayout)
#include "tst_line_layout.moc"
