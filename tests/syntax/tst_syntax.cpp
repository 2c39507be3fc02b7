#include "syntax/highlight_query.h"
#include "syntax/language_table.h"
#include "syntax/syntax_highlighter.h"
#include "syntax/tree_input.h"
#include "text/vesk_document.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace vesk;

namespace {

QString languageName(const SyntaxLanguage *language)
{
    return language ? language->name : QString();
}

// Waits until the highlighter's parse of its current text has come back.
bool settle(SyntaxHighlighter &highlighter)
{
    return QTest::qWaitFor([&] { return !highlighter.isParsing(); }, 20000);
}

// Every node of a tree with its byte range and its rows and columns.
QString dump(const TSTree *tree)
{
    QString out;
    TSTreeCursor cursor = ts_tree_cursor_new(ts_tree_root_node(tree));
    int depth = 0;
    for (;;) {
        const TSNode node = ts_tree_cursor_current_node(&cursor);
        const TSPoint start = ts_node_start_point(node);
        const TSPoint end = ts_node_end_point(node);
        out += QStringLiteral("%1%2 %3-%4 (%5,%6)-(%7,%8)\n")
                   .arg(QString(depth, u' '), QString::fromUtf8(ts_node_type(node)))
                   .arg(ts_node_start_byte(node))
                   .arg(ts_node_end_byte(node))
                   .arg(start.row)
                   .arg(start.column)
                   .arg(end.row)
                   .arg(end.column);
        if (ts_tree_cursor_goto_first_child(&cursor)) {
            ++depth;
            continue;
        }
        while (!ts_tree_cursor_goto_next_sibling(&cursor)) {
            if (!ts_tree_cursor_goto_parent(&cursor)) {
                ts_tree_cursor_delete(&cursor);
                return out;
            }
            --depth;
        }
    }
}

// The parse of the flattened text, as a reference for the chunked and incremental ones.
QString freshTree(const SyntaxLanguage &language, const QString &text)
{
    TSParser *parser = ts_parser_new();
    ts_parser_set_language(parser, language.grammar());
    TSTree *tree = ts_parser_parse_string_encoding(parser, nullptr, reinterpret_cast<const char *>(text.utf16()),
                                                   uint32_t(text.size() * 2), TSInputEncodingUTF16LE);
    const QString out = dump(tree);
    ts_tree_delete(tree);
    ts_parser_delete(parser);
    return out;
}

// Row and byte column of a unit offset counted on the flat text: rows end at every U+000A.
TSPoint pointIn(const QString &text, qint64 unit)
{
    const qsizetype lastNewline = text.left(unit).lastIndexOf(u'\n');
    return TSPoint{uint32_t(text.left(unit).count(u'\n')), uint32_t(2 * (unit - (lastNewline + 1)))};
}

bool isBreak(QChar c)
{
    return c == u'\n' || c == QChar(0x2028) || c == QChar(0x2029);
}

QString randomPiece(QRandomGenerator &random)
{
    static const QStringList pieces = {
        QStringLiteral("/*"), QStringLiteral("*/"), QStringLiteral("\""), QStringLiteral("'"),
        QStringLiteral("\n"), QStringLiteral("\r\n"), QStringLiteral("    "), QStringLiteral("\t"),
        QStringLiteral("{"), QStringLiteral("}"), QStringLiteral("("), QStringLiteral(")"),
        QStringLiteral("if x:"), QStringLiteral("def f():\n    return 1\n"), QStringLiteral("int a = 0;"),
        QStringLiteral("// note"), QStringLiteral("# note"), QStringLiteral("\"\"\""), QStringLiteral("é"),
        QStringLiteral("😀"), QString(QChar(0x2028)), QStringLiteral("class C { };"), QStringLiteral("x"),
    };
    return pieces.at(random.bounded(qsizetype(pieces.size())));
}

quint32 randomSeed()
{
    const QByteArray seed = qgetenv("VESK_RANDOM_SEED");
    return seed.isEmpty() ? QRandomGenerator::global()->generate() : seed.toUInt();
}

int randomSteps(int fallback)
{
    const QByteArray steps = qgetenv("VESK_RANDOM_STEPS");
    return steps.isEmpty() ? fallback : steps.toInt();
}

const char *cppSource = R"(#include <vector>
// A counter.
namespace demo {
/* block
   comment */
class Counter {
public:
    int count(const char *text) const {
        int n = 0;
        while (*text) { n += *text++ == '\n'; }
        return n + 1;
    }
};
}
)";

const char *pythonSource = R"(import os

def count(text):
    """Counts lines."""
    n = 0
    for c in text:
        if c == '\n':
            n += 1
    return n + 1  # the last line

class Counter:
    def __init__(self):
        self.ready = True
)";

} // namespace

class TestSyntax : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void languageFromNameAndFirstLine_data();
    void languageFromNameAndFirstLine();
    void everyLanguageColoursItsCode_data();
    void everyLanguageColoursItsCode();
    void unitsAndPointsMatchTheFlatText_data();
    void unitsAndPointsMatchTheFlatText();
    void editBetweenVersionsIsTheChangedRange();
    void incrementalParseEqualsFreshParse_data();
    void incrementalParseEqualsFreshParse();
    void tooLargeTextsStayPlain_data();
    void tooLargeTextsStayPlain();
};

void TestSyntax::languageFromNameAndFirstLine_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("language");
    const QString none;
    QTest::addRow("C++ source") << "src/main.cpp" << none << "C++";
    QTest::addRow("extension ignores case") << "WIDGET.HPP" << none << "C++";
    QTest::addRow("header") << "a.h" << none << "C++";
    QTest::addRow("C") << "lib.c" << none << "C";
    QTest::addRow("Python") << "/x/tool.py" << none << "Python";
    QTest::addRow("JavaScript module") << "index.mjs" << none << "JavaScript";
    QTest::addRow("TypeScript") << "a.ts" << none << "TypeScript";
    QTest::addRow("TSX") << "App.tsx" << none << "TSX";
    QTest::addRow("Rust") << "lib.rs" << none << "Rust";
    QTest::addRow("Go") << "main.go" << none << "Go";
    QTest::addRow("Java") << "Main.java" << none << "Java";
    QTest::addRow("JSON") << "package.json" << none << "JSON";
    QTest::addRow("Bash") << "build.sh" << none << "Bash";
    QTest::addRow("HTML") << "index.html" << none << "HTML";
    QTest::addRow("CSS") << "site.css" << none << "CSS";
    QTest::addRow("Markdown") << "README.md" << none << "Markdown";
    QTest::addRow("Makefile by name") << "/repo/Makefile" << none << "Makefile";
    QTest::addRow("GNU makefile") << "GNUmakefile" << none << "Makefile";
    QTest::addRow("make include") << "rules.mk" << none << "Makefile";
    QTest::addRow(".bashrc") << "/home/u/.bashrc" << none << "Bash";
    QTest::addRow("CMakeLists.txt has no grammar") << "CMakeLists.txt" << none << none;
    QTest::addRow("dot file without language") << ".gitignore" << none << none;
    QTest::addRow("unknown extension") << "notes.txt" << none << none;
    QTest::addRow("no extension") << "LICENSE" << none << none;
    QTest::addRow("trailing dot") << "file." << none << none;
    QTest::addRow("sh line") << "configure" << "#!/bin/sh" << "Bash";
    QTest::addRow("env python3") << "tool" << "#!/usr/bin/env python3" << "Python";
    QTest::addRow("env -S with options") << "tool" << "#!/usr/bin/env -S python3.12 -u" << "Python";
    QTest::addRow("env with a variable") << "tool" << "#!/usr/bin/env LC_ALL=C bash" << "Bash";
    QTest::addRow("space after #!") << "run" << "#! /bin/bash -e" << "Bash";
    QTest::addRow("node") << "cli" << "#!/usr/bin/env node" << "JavaScript";
    QTest::addRow("name wins over #!") << "x.py" << "#!/bin/sh" << "Python";
    QTest::addRow("#! decides for an unknown extension") << "notes.txt" << "#!/bin/sh" << "Bash";
    QTest::addRow("unknown interpreter") << "x" << "#!/usr/bin/perl" << none;
    QTest::addRow("env alone") << "x" << "#!/usr/bin/env" << none;
    QTest::addRow("not a #! line") << "x" << "# !/bin/sh" << none;
    QTest::addRow("#! not at the start") << "x" << " #!/bin/sh" << none;
}

void TestSyntax::languageFromNameAndFirstLine()
{
    QFETCH(QString, fileName);
    QFETCH(QString, firstLine);
    QFETCH(QString, language);
    QCOMPARE(languageName(LanguageTable::forFile(fileName, firstLine)), language);
}

void TestSyntax::everyLanguageColoursItsCode_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("piece");
    QTest::addColumn<int>("style");
    const auto row = [](const char *language, const char *code, const char *piece, HighlightStyle style) {
        QTest::addRow("%s %s", language, piece) << language << code << piece << int(style);
    };
    row("C", "int main(void) { return 0; } // done", "return", HighlightStyle::keyword);
    row("C", "int main(void) { return 0; } // done", "// done", HighlightStyle::comment);
    row("C", "void g(void) { puts(\"x\"); }", "puts", HighlightStyle::function);  // the special case wins
    row("C++", "class A { bool b = true; }; // c", "class", HighlightStyle::keyword);
    row("C++", "std::vector<int> v;", "vector", HighlightStyle::type);
    row("C++", "auto s = \"x\";", "\"x\"", HighlightStyle::string);
    row("Python", "def f():\n    return 'x'  # c", "def", HighlightStyle::keyword);
    row("Python", "def f():\n    return 'x'  # c", "'x'", HighlightStyle::string);
    row("Python", "def f():\n    return 'x'  # c", "# c", HighlightStyle::comment);
    row("Python", "def count(self):\n    return None", "count", HighlightStyle::function);
    row("Python", "def count(self):\n    return None", "None", HighlightStyle::constant);
    row("JavaScript", "const a = 'x'; // c", "const", HighlightStyle::keyword);
    row("JavaScript", "const a = 'x'; // c", "'x'", HighlightStyle::string);
    row("TypeScript", "let a: number = 1;", "let", HighlightStyle::keyword);
    row("TypeScript", "let a: number = 1;", "number", HighlightStyle::type);
    row("TSX", "const a = <div>hi</div>; // c", "const", HighlightStyle::keyword);
    row("TSX", "const a = <div>hi</div>; // c", "div", HighlightStyle::tag);
    row("Rust", "fn main() { let s = \"x\"; } // c", "fn", HighlightStyle::keyword);
    row("Rust", "fn main() { let s = \"x\"; } // c", "\"x\"", HighlightStyle::string);
    row("Go", "package main\nfunc f() string { return \"x\" } // c", "func", HighlightStyle::keyword);
    row("Java", "class A { String s = \"x\"; } // c", "\"x\"", HighlightStyle::string);
    row("JSON", "{\"a\": 12, \"b\": \"x\"}", "12", HighlightStyle::number);
    row("JSON", "{\"a\": 12, \"b\": \"x\"}", "\"x\"", HighlightStyle::string);
    row("Bash", "if true; then echo \"x\"; fi # c", "if", HighlightStyle::keyword);
    row("Bash", "if true; then echo \"x\"; fi # c", "# c", HighlightStyle::comment);
    row("HTML", "<!-- c --><p class=\"x\">hi</p>", "<!-- c -->", HighlightStyle::comment);
    row("CSS", "/* c */ a { color: red; }", "/* c */", HighlightStyle::comment);
    row("CSS", "/* c */ a { color: red; }", "color", HighlightStyle::property);
    row("Makefile", "# c\nall: x\n\techo hi\n", "# c", HighlightStyle::comment);
    row("Markdown", "# Title\n\ntext\n", "Title", HighlightStyle::heading);
}

void TestSyntax::everyLanguageColoursItsCode()
{
    QFETCH(QString, language);
    QFETCH(QString, code);
    QFETCH(QString, piece);
    QFETCH(int, style);
    const SyntaxLanguage *syntax = LanguageTable::byName(language);
    QVERIFY(syntax);
    const HighlightQuery *query = HighlightQuery::forLanguage(*syntax);
    QVERIFY2(query, "the highlight query compiles for the pinned grammar");
    QVERIFY(query->patternCount() > 0);

    SyntaxHighlighter highlighter;
    const VeskNodePtr root = VeskNode::build(code);
    highlighter.setText(root);
    highlighter.setLanguage(syntax);
    QVERIFY(settle(highlighter));
    QCOMPARE(highlighter.parseCount(), 1u);
    QVERIFY2(!highlighter.treeString().contains(QLatin1StringView("ERROR")), qPrintable(highlighter.treeString()));

    const qsizetype at = code.indexOf(piece);
    const qint64 line = code.left(at).count(u'\n');
    const qsizetype column = at - (code.left(at).lastIndexOf(u'\n') + 1);
    const SyntaxHighlighter::LineSpans &spans = highlighter.lineSpans(line);
    const auto covering = std::find_if(spans.begin(), spans.end(), [&](const SyntaxHighlighter::LineSpan &s) {
        return s.start <= column && s.end >= column + piece.size();
    });
    QVERIFY2(covering != spans.end(), qPrintable(piece));
    QCOMPARE(int(covering->style), style);
}

void TestSyntax::unitsAndPointsMatchTheFlatText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("empty") << QString();
    QTest::addRow("one line") << QStringLiteral("abc");
    QTest::addRow("LF lines over many leaves") << QStringLiteral("line of text\n").repeated(200);
    QTest::addRow("CR LF") << QStringLiteral("a\r\nbc\r\n\r\nd").repeated(150);
    QTest::addRow("U+2028 and U+2029 end lines, not rows")
        << (QStringLiteral("a") + QChar(0x2028) + QStringLiteral("b\n") + QChar(0x2029) + QStringLiteral("c")).repeated(120);
    QTest::addRow("surrogates and marks") << QStringLiteral("😀 e\u0301 \U0001F468\u200D\U0001F469\n").repeated(90);
    QTest::addRow("lone CR is no break") << QStringLiteral("a\rb\r\rc\n").repeated(130);
    QTest::addRow("ends with a break") << QStringLiteral("x\n\n");
}

void TestSyntax::unitsAndPointsMatchTheFlatText()
{
    QFETCH(QString, text);
    const VeskNodePtr root = VeskNode::build(text);
    QCOMPARE(root->newlineUnits(), text.count(u'\n'));
    for (qint64 unit = 0; unit <= text.size(); unit += std::max<qint64>(1, text.size() / 97)) {
        const TSPoint point = TreeUnits::pointAtUnit(*root, unit);
        const TSPoint expected = pointIn(text, unit);
        QCOMPARE(point.row, expected.row);
        QCOMPARE(point.column, expected.column);
        qint64 line = 0;
        for (qsizetype i = 0; i < unit; ++i) {
            line += isBreak(text[i]) ? 1 : 0;
        }
        QCOMPARE(TreeUnits::lineOfUnit(*root, unit), line);
        QCOMPARE(TreeUnits::textOfUnits(*root, unit, unit + 700), text.mid(unit, 700));
    }
    qint64 start = 0;
    for (qint64 line = 0; line < root->lines(); ++line) {
        QCOMPARE(TreeUnits::lineStartUnit(*root, line), start);
        while (start < text.size() && !isBreak(text[start])) {
            ++start;
        }
        ++start;
    }
    QCOMPARE(TreeUnits::lineStartUnit(*root, root->lines()), text.size());
    for (qint64 cluster = 0; cluster <= root->length(); cluster += std::max<qint64>(1, root->length() / 31)) {
        QCOMPARE(TreeUnits::unitOfCluster(*root, cluster), VeskNode::split(root, cluster).first->unitCount());
    }
}

// The edit found between two versions is the exact common prefix and suffix of their texts,
// whether the versions share subtrees (an edit of the tree) or not (a rebuilt text).
void TestSyntax::editBetweenVersionsIsTheChangedRange()
{
    const quint32 seed = randomSeed();
    QRandomGenerator random(seed);
    QString text = QString::fromUtf8(cppSource).repeated(20);
    VeskNodePtr root = VeskNode::build(text);
    for (int step = 0; step < randomSteps(300); ++step) {
        const qint64 from = random.bounded(root->length() + 1);
        const qint64 to = std::min<qint64>(root->length(), from + random.bounded(40));
        const QString inserted = random.bounded(3) == 0 ? QString() : randomPiece(random);
        const VeskNodePtr next = step % 10 == 9 ? VeskNode::build(text) : VeskNode::replaceRange(root, from, to, inserted);
        const QString nextText = next->text();

        qsizetype prefix = 0;
        while (prefix < text.size() && prefix < nextText.size() && text[prefix] == nextText[prefix]) {
            ++prefix;
        }
        qsizetype suffix = 0;
        const qsizetype room = std::min(text.size(), nextText.size()) - prefix;
        while (suffix < room && text[text.size() - 1 - suffix] == nextText[nextText.size() - 1 - suffix]) {
            ++suffix;
        }
        const std::optional<TSInputEdit> edit = TreeUnits::editBetween(root, next);
        const QByteArray where = QStringLiteral("seed %1 step %2").arg(seed).arg(step).toUtf8();
        if (text == nextText) {
            QVERIFY2(!edit, where);
        } else {
            QVERIFY2(edit, where);
            QVERIFY2(edit->start_byte == 2 * prefix, where);
            QVERIFY2(edit->old_end_byte == 2 * (text.size() - suffix), where);
            QVERIFY2(edit->new_end_byte == 2 * (nextText.size() - suffix), where);
            const TSPoint oldEnd = pointIn(text, text.size() - suffix);
            const TSPoint newEnd = pointIn(nextText, nextText.size() - suffix);
            QVERIFY2(edit->old_end_point.row == oldEnd.row && edit->old_end_point.column == oldEnd.column, where);
            QVERIFY2(edit->new_end_point.row == newEnd.row && edit->new_end_point.column == newEnd.column, where);
        }
        root = next;
        text = nextText;
    }
}

void TestSyntax::incrementalParseEqualsFreshParse_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("source");
    QTest::addRow("C++") << "C++" << QString::fromUtf8(cppSource);
    QTest::addRow("Python") << "Python" << QString::fromUtf8(pythonSource);
    QTest::addRow("JavaScript") << "JavaScript" << QStringLiteral("function f(a) {\n  return `x ${a}`; // c\n}\n");
}

// Random edits, some parsed one by one and some piling up while a parse runs: the tree that
// results equals a parse of the final text from scratch.
void TestSyntax::incrementalParseEqualsFreshParse()
{
    QFETCH(QString, language);
    QFETCH(QString, source);
    const SyntaxLanguage *syntax = LanguageTable::byName(language);
    const quint32 seed = randomSeed();
    QRandomGenerator random(seed);
    VeskDocument document(source.repeated(5));
    SyntaxHighlighter highlighter;
    highlighter.setLanguage(syntax);
    highlighter.setText(document.vesk());
    QVERIFY(settle(highlighter));
    const int steps = randomSteps(120);
    for (int step = 0; step < steps; ++step) {
        const qint64 length = document.length();
        if (random.bounded(3) == 0 && length > 0) {
            const qint64 from = random.bounded(length);
            document.deleteRange(from, std::min<qint64>(length, from + 1 + random.bounded(30)));
        } else {
            document.insert(randomPiece(random), random.bounded(length + 1));
        }
        if (random.bounded(2) == 0) {
            document.undo();  // undo jumps back to an older snapshot, sharing most of the tree
        }
        highlighter.setText(document.vesk());
        switch (random.bounded(4)) {
        case 0:
            QVERIFY(settle(highlighter));
            break;
        case 1:
            highlighter.startParse();  // and go on editing while it runs
            break;
        default:
            break;
        }
        // Spans are asked for while the tree is only shifted, as a frame would.
        highlighter.prepareLines(random.bounded(document.lineCount()), document.lineCount());
    }
    QVERIFY(settle(highlighter));
    QVERIFY2(dump(highlighter.tree()) == freshTree(*syntax, document.text()),
             qPrintable(QStringLiteral("seed %1 (replay with VESK_RANDOM_SEED)").arg(seed)));

    SyntaxHighlighter fresh;
    fresh.setLanguage(syntax);
    fresh.setText(document.vesk());
    QVERIFY(settle(fresh));
    for (qint64 line = 0; line < document.lineCount(); ++line) {
        QVERIFY2(highlighter.lineSpans(line) == fresh.lineSpans(line),
                 qPrintable(QStringLiteral("seed %1 line %2").arg(seed).arg(line)));
    }
}

void TestSyntax::tooLargeTextsStayPlain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("languageFirst");
    QTest::addColumn<bool>("tooLarge");
    const QString code = QStringLiteral("int x = 1;\n");
    const QString longest = code + QString(SyntaxHighlighter::maxLineUnits, u'a') + u'\n' + code;
    const QString tooLong = code + QString(SyntaxHighlighter::maxLineUnits + 1, u'a') + u'\n' + code;
    const QString huge = code.repeated(SyntaxHighlighter::maxUnits / code.size() + 1);
    QTest::addRow("line of 100,000 units") << longest << false << false;
    QTest::addRow("line of 100,001 units") << tooLong << false << true;
    QTest::addRow("line of 100,001 units pasted in") << tooLong << true << true;
    QTest::addRow("over 20 MB") << huge << false << true;
    QTest::addRow("over 20 MB pasted in") << huge << true << true;
}

void TestSyntax::tooLargeTextsStayPlain()
{
    QFETCH(QString, text);
    QFETCH(bool, languageFirst);
    QFETCH(bool, tooLarge);
    SyntaxHighlighter highlighter;
    QSignalSpy changes(&highlighter, &SyntaxHighlighter::highlightsChanged);
    const SyntaxLanguage *cpp = LanguageTable::byName(QStringLiteral("C++"));
    if (languageFirst) {
        highlighter.setLanguage(cpp);
        QVERIFY(settle(highlighter));
    }
    highlighter.setText(VeskNode::build(text));
    highlighter.setLanguage(cpp);
    QVERIFY(settle(highlighter));
    QCOMPARE(highlighter.isTooLarge(), tooLarge);
    QCOMPARE(highlighter.lineSpans(0).empty(), tooLarge);
    QVERIFY(!changes.isEmpty());  // the views hear of the verdict or the colours
}

QTEST_GUILESS_MAIN(TestSyntax)
#include "tst_syntax.moc"
