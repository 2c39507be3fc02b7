#include "text/vesk_node.h"
#include "text_reference.h"

#include <QTest>

using namespace vesk;
using vesk::test::referenceLength;
using vesk::test::referenceLines;
using vesk::test::treeProblem;

namespace {

// A tree of the given height built from plain letters: 2^h leaves of 512 characters.
VeskNodePtr treeOfHeight(int height)
{
    if (height == 0) {
        return VeskNode::build(QString(10, u'x'));
    }
    return VeskNode::build(QString(qsizetype(VeskNode::maxLeafLength) << height, u'y'));
}

} // namespace

class TestVeskNode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildShape_data();
    void buildShape();
    void buildCutsLongMixedText_data();
    void buildCutsLongMixedText();
    void splitEdges_data();
    void splitEdges();
    void splitAtWeightReusesChildren();
    void concatWithEmptyReturnsOtherNode();
    void concatHeights_data();
    void concatHeights();
    void lineInfo_data();
    void lineInfo();
    void seamsRegroup_data();
    void seamsRegroup();
    void buildUtf8MatchesBuild_data();
    void buildUtf8MatchesBuild();
};

void TestVeskNode::buildShape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<qint64>("height");
    QTest::addColumn<qint64>("leftLength");  // -1: a leaf

    QTest::addRow("empty") << QString() << 0LL << 0LL << -1LL;
    QTest::addRow("exactly 512") << QString(512, u'a') << 512LL << 0LL << -1LL;
    QTest::addRow("513 splits 256/257") << QString(513, u'a') << 513LL << 1LL << 256LL;
    QTest::addRow("CR LF counts once") << QStringLiteral("a\r\nb") << 3LL << 0LL << -1LL;
    QTest::addRow("512 CR LF pairs stay one leaf") << QStringLiteral("\r\n").repeated(512) << 512LL << 0LL
                                                    << -1LL;
    QTest::addRow("513 accented letters") << QStringLiteral("e\u0301").repeated(513) << 513LL << 1LL << 256LL;
    QTest::addRow("emoji with skin tone") << QStringLiteral("👍🏽👍") << 2LL << 0LL << -1LL;
}

void TestVeskNode::buildShape()
{
    QFETCH(QString, text);
    QFETCH(qint64, length);
    QFETCH(qint64, height);
    QFETCH(qint64, leftLength);

    const VeskNodePtr node = VeskNode::build(text);
    QCOMPARE(node->length(), length);
    QCOMPARE(node->height(), height);
    QCOMPARE(node->text(), text);
    if (leftLength < 0) {
        QVERIFY(node->isLeaf());
    } else {
        QCOMPARE(node->left()->length(), leftLength);
        QCOMPARE(node->right()->length(), length - leftLength);
    }
    QCOMPARE(treeProblem(node), QString());
}

// Texts long enough for many leaves, whose clusters of several units fall on every kind of place
// the build cuts at.
void TestVeskNode::buildCutsLongMixedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("CJK, emoji, marks, CR LF") << QStringLiteral("漢字 café e\u0301 👍🏽 👨\u200D👩\u200D👧 🇫🇷 한국어\r\nASCII;\r\n").repeated(300);
    QTest::addRow("accented letters only") << QStringLiteral("e\u0301").repeated(3000);
    QTest::addRow("flags only, odd count") << QStringLiteral("🇫🇷").repeated(1501) + QStringLiteral("🇪");
    QTest::addRow("jamo sequences") << QStringLiteral("\u1100\u1161\u11A8\uAC00").repeated(2000);
    QTest::addRow("one emoji in plain text") << QString(5000, u'a') + QStringLiteral("👍🏽") + QString(5000, u'b');
}

void TestVeskNode::buildCutsLongMixedText()
{
    QFETCH(QString, text);
    const VeskNodePtr node = VeskNode::build(text);
    QCOMPARE(node->text(), text);
    QCOMPARE(node->length(), qint64(test::referenceBoundaries(text).size() - 1));
    QCOMPARE(treeProblem(node), QString());
}

void TestVeskNode::splitEdges_data()
{
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("left");

    QTest::addRow("at zero") << 0LL << QString();
    QTest::addRow("negative") << -5LL << QString();
    QTest::addRow("at length") << 7LL << QStringLiteral("ab\r\ncé\u2028z");
    QTest::addRow("past length") << 40LL << QStringLiteral("ab\r\ncé\u2028z");
    QTest::addRow("after CR LF") << 3LL << QStringLiteral("ab\r\n");
    QTest::addRow("after combining mark") << 5LL << QStringLiteral("ab\r\ncé");
}

void TestVeskNode::splitEdges()
{
    QFETCH(qint64, offset);
    QFETCH(QString, left);

    const QString text = QStringLiteral("ab\r\ncé\u2028z");
    const VeskNodePtr node = VeskNode::build(text);
    const auto [l, r] = VeskNode::split(node, offset);
    QCOMPARE(l->text(), left);
    QCOMPARE(r->text(), text.sliced(left.size()));
    if (left.isEmpty()) {
        QCOMPARE(r.get(), node.get());
    }
    if (left == text) {
        QCOMPARE(l.get(), node.get());
    }
}

void TestVeskNode::splitAtWeightReusesChildren()
{
    const VeskNodePtr node = VeskNode::build(QString(2000, u'q'));
    const auto [l, r] = VeskNode::split(node, node->weight());
    QCOMPARE(l.get(), node->left().get());
    QCOMPARE(r.get(), node->right().get());
}

void TestVeskNode::concatWithEmptyReturnsOtherNode()
{
    const VeskNodePtr node = VeskNode::build(QStringLiteral("text"));
    const VeskNodePtr empty = VeskNode::build(QString());
    QCOMPARE(VeskNode::concat(node, empty).get(), node.get());
    QCOMPARE(VeskNode::concat(empty, node).get(), node.get());
}

void TestVeskNode::concatHeights_data()
{
    QTest::addColumn<int>("leftHeight");
    QTest::addColumn<int>("rightHeight");
    QTest::addColumn<bool>("plainBranch");

    QTest::addRow("leaf and height 2 make one branch") << 0 << 2 << true;
    QTest::addRow("leaf and height 3 rebalance") << 0 << 3 << false;
    QTest::addRow("height 7 and leaf rebalance") << 7 << 0 << false;
    QTest::addRow("height 3 and height 9") << 3 << 9 << false;
}

void TestVeskNode::concatHeights()
{
    QFETCH(int, leftHeight);
    QFETCH(int, rightHeight);
    QFETCH(bool, plainBranch);

    const VeskNodePtr a = treeOfHeight(leftHeight);
    const VeskNodePtr b = treeOfHeight(rightHeight);
    QCOMPARE(a->height(), leftHeight);
    QCOMPARE(b->height(), rightHeight);
    const VeskNodePtr joined = VeskNode::concat(a, b);
    QCOMPARE(joined->text(), a->text() + b->text());
    QCOMPARE(treeProblem(joined), QString());
    if (plainBranch) {
        QCOMPARE(joined->left().get(), a.get());
        QCOMPARE(joined->right().get(), b.get());
        QCOMPARE(joined->height(), std::max(leftHeight, rightHeight) + 1);
    } else {
        QVERIFY(joined->height() <= std::max(leftHeight, rightHeight) + 1);
    }
}

void TestVeskNode::lineInfo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("content");

    QTest::addRow("CR LF is one break") << QStringLiteral("a\r\nb") << 1LL << 2LL << QStringLiteral("b");
    QTest::addRow("lone CR is content") << QStringLiteral("a\rb") << 0LL << 0LL << QStringLiteral("a\rb");
    QTest::addRow("trailing break gives empty line") << QStringLiteral("x\n") << 1LL << 2LL << QString();
    QTest::addRow("line past the end") << QStringLiteral("x\ny") << 7LL << 0LL << QString();
    QTest::addRow("negative line") << QStringLiteral("x\ny") << -1LL << 0LL << QString();
    QTest::addRow("line separator") << QStringLiteral("a\u2028bc") << 1LL << 2LL << QStringLiteral("bc");
    QTest::addRow("paragraph separator") << QStringLiteral("a\u2029\u2029c") << 2LL << 3LL << QStringLiteral("c");
    QTest::addRow("vertical tab and NEL are content")
        << QStringLiteral("a\u000b\u000c\u0085b\nz") << 0LL << 0LL << QStringLiteral("a\u000b\u000c\u0085b");
    QTest::addRow("offset counts clusters") << QStringLiteral("é👍🏽\r\nq") << 1LL << 3LL << QStringLiteral("q");
    QTest::addRow("CR before CR LF") << QStringLiteral("a\r\r\nb") << 0LL << 0LL << QStringLiteral("a\r");
    const QString longLine = QString(1500, u'w');
    QTest::addRow("line spanning many leaves") << (QStringLiteral("top\n") + longLine + QStringLiteral("\nend"))
                                               << 1LL << 4LL << longLine;
    QTest::addRow("last line of a long text") << (QStringLiteral("ab\n").repeated(700) + QStringLiteral("tail"))
                                              << 700LL << 2100LL << QStringLiteral("tail");
}

void TestVeskNode::lineInfo()
{
    QFETCH(QString, text);
    QFETCH(qint64, line);
    QFETCH(qint64, offset);
    QFETCH(QString, content);

    const VeskNodePtr node = VeskNode::build(text);
    const VeskNode::LineInfo info = node->lineInfo(line);
    QCOMPARE(info.offset, offset);
    QCOMPARE(info.content, content);
    const bool exists = line >= 0 && line < node->lines();
    QCOMPARE(node->lineStartOffset(line), exists ? offset : -1);
}

void TestVeskNode::seamsRegroup_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");

    QTest::addRow("CR meets LF") << QStringLiteral("a\r") << QStringLiteral("\nb");
    QTest::addRow("base meets combining mark") << QStringLiteral("e") << QStringLiteral("\u0301x");
    QTest::addRow("combining marks stack") << QStringLiteral("e\u0301") << QStringLiteral("\u0323\u0302");
    QTest::addRow("ZWJ meets emoji") << QStringLiteral("👨\u200D") << QStringLiteral("👩\u200D👧");
    QTest::addRow("skin tone modifier") << QStringLiteral("👍") << QStringLiteral("🏽!");
    QTest::addRow("regional indicators pair up anew") << QStringLiteral("🇫") << QStringLiteral("🇷🇪🇸🇫🇷");
    QTest::addRow("Hangul jamo") << QStringLiteral("\u1100") << QStringLiteral("\u1161\u11A8");
    QTest::addRow("prepended mark") << QStringLiteral("x\u0600") << QStringLiteral("1");
    QTest::addRow("CR LF across big trees") << (QString(3000, u'a') + u'\r') << (u'\n' + QString(3000, u'b'));
    QTest::addRow("flags across big trees")
        << (QString(1200, u'a') + QStringLiteral("🇫")) << QStringLiteral("🇷🇪").repeated(700);
    QTest::addRow("nothing to regroup") << QStringLiteral("plain") << QStringLiteral(" text");
}

void TestVeskNode::seamsRegroup()
{
    QFETCH(QString, left);
    QFETCH(QString, right);

    const VeskNodePtr joined = VeskNode::concat(VeskNode::build(left), VeskNode::build(right));
    const QString text = left + right;
    QCOMPARE(joined->text(), text);
    QCOMPARE(joined->length(), referenceLength(text));
    QCOMPARE(treeProblem(joined), QString());
    const auto reference = referenceLines(text);
    QCOMPARE(joined->lines(), reference.lines.size());
    for (qsizetype i = 0; i < reference.lines.size(); ++i) {
        QCOMPARE(joined->lineInfo(i), (VeskNode::LineInfo{reference.offsets[i], reference.lines[i]}));
    }
    // Splitting at every offset and joining again gives the same text back.
    for (qint64 at = 0; at <= joined->length() && at < 40; ++at) {
        const auto [l, r] = VeskNode::split(joined, at);
        QCOMPARE(l->length(), at);
        QCOMPARE(VeskNode::concat(l, r)->text(), text);
    }
}

void TestVeskNode::buildUtf8MatchesBuild_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("ascii") << QStringLiteral("int main() {\n  return 0;\n}\n").repeated(100);
    QTest::addRow("ascii with CR LF") << QStringLiteral("line\r\n").repeated(300);
    QTest::addRow("mixed scripts") << QStringLiteral("漢字 e\u0301 👍🏽\r\n").repeated(200);
}

void TestVeskNode::buildUtf8MatchesBuild()
{
    QFETCH(QString, text);
    const VeskNodePtr fromUtf8 = VeskNode::buildUtf8(text.toUtf8());
    const VeskNodePtr fromText = VeskNode::build(text);
    QCOMPARE(fromUtf8->text(), text);
    QCOMPARE(fromUtf8->toUtf8(), text.toUtf8());
    QCOMPARE(fromUtf8->length(), fromText->length());
    QCOMPARE(fromUtf8->length(), referenceLength(text));
    QCOMPARE(fromUtf8->lines(), fromText->lines());
    QCOMPARE(treeProblem(fromUtf8), QString());
}

QTEST_GUILESS_MAIN(TestVeskNode)
#include "tst_vesk_node.moc"
