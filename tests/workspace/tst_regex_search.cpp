#include "workspace/compiled_regex.h"
#include "workspace/regex_pattern.h"
#include "workspace/search_matcher.h"

#include "text/text_lines.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using vesk::CompiledRegex;
using vesk::LineHit;
using vesk::SearchMatcher;
namespace regex_pattern = vesk::regex_pattern;

namespace {

// Random expressions in the syntax users type (ICU's, which PCRE2 mostly shares), each with a
// text that it is meant to match, from a grammar covering every escape form, classes,
// quantifiers, groups, lookaround, options and alternation. The example is only a hint: some
// constructs (negative lookaround, \B, anchors inside) can make it miss.
class PatternGrammar
{
public:
    explicit PatternGrammar(quint32 seed)
        : m_random(seed)
    {
    }

    struct Sample
    {
        QString pattern;
        QString example;
    };

    Sample expression(int depth = 0)
    {
        Sample s = sequence(depth);
        if (depth == 0 && pick(8) == 0) {
            const Sample other = sequence(depth);
            s = {s.pattern + '|' + other.pattern, pick(2) ? s.example : other.example};
        }
        if (depth == 0 && pick(10) == 0) {
            s = {'^' + s.pattern, s.example};
        }
        if (depth == 0 && pick(10) == 0) {
            s = {s.pattern + '$', s.example};
        }
        if (depth == 0 && pick(12) == 0) {  // a quotation without \E runs to the pattern's end
            s = {s.pattern + "\\Qa)|b", s.example + "a)|b"};
        }
        return s;
    }

    // Text around examples: letters, digits, spaces, tabs, punctuation, and a few characters
    // outside ASCII.
    QString noise()
    {
        static const QStringList pieces{"a", "b", "c", "x", "A", "B", "Z", "0", "1", "9", " ", "\t", "_", "-",
                                        ".", "*", "(", ")", "{", "}", "\\", "\u00e9", "\u00c9", "\U0001F600",
                                        "foo", "bar", "\x01", "'", "\r"};
        QString text;
        for (int i = pick(6); i > 0; --i) {
            text += pieces[pick(int(pieces.size()))];
        }
        return text;
    }

    int pick(int n) { return int(m_random.bounded(n)); }

private:
    Sample sequence(int depth)
    {
        Sample s;
        for (int i = 1 + pick(4); i > 0; --i) {
            Sample a = quantified(depth);
            s.pattern += a.pattern;
            s.example += a.example;
        }
        return s;
    }

    Sample quantified(int depth)
    {
        bool repeatable = true;
        Sample a = atom(depth, repeatable);
        static const QList<std::pair<QString, int>> quantifiers{
            {"*", 2}, {"+", 1}, {"?", 1}, {"{2}", 2}, {"{1,}", 1}, {"{0,2}", 1}, {"{0}", 0}, {"{1,3}", 2}};
        if (!repeatable || pick(3) != 0) {
            return a;
        }
        const auto &[quantifier, times] = quantifiers[pick(int(quantifiers.size()))];
        static const QStringList suffixes{"", "", "?", "+"};
        return {a.pattern + quantifier + suffixes[pick(int(suffixes.size()))], a.example.repeated(times)};
    }

    Sample atom(int depth, bool &repeatable)
    {
        switch (pick(depth < 2 ? 14 : 11)) {
        case 0:
        case 1:
        case 2:
            return literal();
        case 3:
            return escapedCharacter();
        case 4:
            return characterClass();
        case 5: {
            static const QList<Sample> types{{"\\d", "7"},  {"\\w", "q"},  {"\\s", " "},  {"\\D", "x"},
                                             {"\\W", "-"},  {"\\S", "y"},  {".", "z"},    {"\\pL", "k"},
                                             {"\\p{Lu}", "Q"}, {"\\P{L}", "3"}, {"\\p{Nd}", "5"}, {"\\h", "\t"},
                                             {"\\X", "e\u0301"}, {"\\R", ""}};
            return types[pick(int(types.size()))];
        }
        case 6: {
            repeatable = false;
            static const QList<Sample> assertions{{"\\b", ""}, {"\\B", ""}, {"(?=a)", "a"}, {"(?!z)", ""},
                                                  {"(?<=a)", ""}, {"(?<!q)", ""}};
            return assertions[pick(int(assertions.size()))];
        }
        case 7: {
            const QString text = QStringList{"a.b", "x*y", "(c)", "\\d", "A|B", "{1}"}[pick(6)];
            return {"\\Q" + text + "\\E", text};
        }
        case 8: {
            static const QList<Sample> names{{"\\N{LATIN SMALL LETTER A}", "a"},
                                             {"\\N{LATIN CAPITAL LETTER E WITH ACUTE}", "\u00c9"},
                                             {"\\N{SPACE}", " "},
                                             {"\\N{GRINNING FACE}", "\U0001F600"}};
            return names[pick(int(names.size()))];
        }
        case 9: {
            repeatable = false;
            static const QList<Sample> options{{"(?i)", ""}, {"(?-i)", ""}, {"(?m)", ""}, {"(?s)", ""}, {"(?is)", ""}};
            return options[pick(int(options.size()))];
        }
        case 10: {
            const QString name = QStringLiteral("Name%1").arg(++m_names);  // names must differ
            const QList<Sample> references{{"(a)\\1", "aa"},
                                           {"(?<" + name + ">b)\\k<" + name + '>', "bb"},
                                           {"(?P<" + name + ">c)(?P=" + name + ')', "cc"},
                                           {"(?'" + name + "'d)\\g{" + name + '}', "dd"},
                                           {"(x)\\g{1}", "xx"}};
            return references[pick(int(references.size()))];
        }
        default: {
            const Sample inner = expression(depth + 1);
            const QString name = QStringLiteral("Group%1").arg(++m_names);
            const QStringList opens{"(", "(?:", "(?<" + name + '>', "(?P<" + name + '>', "(?>", "(?i:", "(?=", "(?!",
                                    "(?|", "(?'" + name + '\''};
            const bool withAlternative = pick(3) == 0;
            QString open = opens[pick(int(opens.size()))];
            if (open == "(?|" && withAlternative) {
                open = "(?:";  // alternatives of a branch reset may not name their groups differently
            }
            const Sample other = withAlternative ? sequence(depth + 1) : Sample{};
            const QString body = withAlternative ? inner.pattern + '|' + other.pattern : inner.pattern;
            const QString example = open == "(?!" ? QString() : (pick(2) || !withAlternative ? inner.example : other.example);
            return {open + body + ')', example};
        }
        }
    }

    Sample literal()
    {
        static const QStringList letters{"a", "b", "c", "f", "o", "x", "A", "B", "F", "0", "1", " ", "_", "-", "=",
                                         ",", "'", "\u00e9", "\u00c9", "\U0001F600", "k"};
        const QString c = letters[pick(int(letters.size()))];
        return {c, c};
    }

    Sample escapedCharacter()
    {
        const char32_t options[] = {U'a', U'A', U' ', U'\t', U'0', U'z', U'_', U'.', U'*', U'(', U'\\', U'{', U'\u00e9', U'\U0001F600'};
        const char32_t c = options[pick(int(std::size(options)))];
        const QString text = QString::fromUcs4(&c, 1);
        const QString hex2 = QStringLiteral("%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        const QString hex4 = QStringLiteral("%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        const QString hex8 = QStringLiteral("%1").arg(uint(c), 8, 16, QLatin1Char('0'));
        QStringList forms{"\\x{" + hex2 + '}', "\\U" + hex8};
        if (c < 0x100) {
            forms << "\\x" + hex2 << "\\0" + QString::number(uint(c), 8);
        }
        if (c < 0x10000) {
            forms << "\\u" + hex4.toUpper() << "\\u" + hex4;
        } else {
            forms << QStringLiteral("\\u%1\\u%2")
                         .arg(uint(QChar::highSurrogate(c)), 4, 16)
                         .arg(uint(QChar::lowSurrogate(c)), 4, 16);
        }
        if (c == U'\t') {
            forms << "\\cI" << "\\t" << "\\ci";
        }
        if (c < 0x80 && !QChar(char16_t(c)).isLetterOrNumber() && c != U' ' && c != U'\t') {
            forms << "\\" + text;
        }
        return {forms[pick(int(forms.size()))], text};
    }

    Sample characterClass()
    {
        static const QList<Sample> classes{
            {"[abc]", "b"},  {"[^abc]", "x"},   {"[a-f]", "e"},     {"[[:alpha:]]", "q"}, {"[\\d_]", "_"},
            {"[\\x41-\\x43]", "B"}, {"[]a]", "]"}, {"[^]a]", "b"}, {"[\\u00e9x]", "\u00e9"}, {"[.*+]", "+"},
            {"[\\Q]\\E]", "]"}, {"[\\p{Lu}0]", "F"}, {"[\\s\\S]", "\n"}, {"[-a]", "-"}, {"[\\\\]", "\\"}};
        return classes[pick(int(classes.size()))];
    }

    QRandomGenerator m_random;
    int m_names = 0;
};

// The expression alone, run on each line by Qt's own PCRE2 binding.
QList<qsizetype> expressionLines(const QRegularExpression &expression, const QStringList &lines, bool caseSensitive)
{
    QList<qsizetype> found;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (expression.match(caseSensitive ? lines[i] : lines[i].toLower()).hasMatch()) {
            found.append(i + 1);
        }
    }
    return found;
}

QList<qsizetype> lineNumbers(const QList<LineHit> &hits)
{
    QList<qsizetype> numbers;
    for (const LineHit &hit : hits) {
        numbers.append(hit.lineNumber);
    }
    return numbers;
}

} // namespace

// Find in files with regular expressions: the fixed-text prefilter and the whole-buffer search
// against the expression alone on generated patterns, ICU syntax, and the backtracking bound.
class TestRegexSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every generated pattern is valid ICU syntax, stays valid when lower-cased, and the search
    // finds exactly the lines that the expression alone finds, whether the text is ASCII (whole
    // buffers, bytes) or not (UTF-16), in one piece or in small pieces (unless it says that it
    // cut a run short). Whenever the expression matches a line, the line holds the required
    // literal. VESK_SEED replays a run, VESK_ROUNDS sets its length.
    void prefilterAgreesWithExpression()
    {
        const quint32 seed = qEnvironmentVariableIsSet("VESK_SEED") ? quint32(qEnvironmentVariableIntValue("VESK_SEED"))
                                                                    : 20261206u;
        const int rounds = qEnvironmentVariableIsSet("VESK_ROUNDS") ? qEnvironmentVariableIntValue("VESK_ROUNDS") : 3000;
        PatternGrammar grammar(seed);
        int matchedLines = 0;
        for (int round = 0; round < rounds; ++round) {
            const PatternGrammar::Sample sample = grammar.expression();
            QString error;
            const QString translated = regex_pattern::fromIcu(sample.pattern, &error);
            QVERIFY2(error.isEmpty(), qPrintable(sample.pattern + ": " + error));

            QStringList lines;
            for (int i = grammar.pick(8); i >= 0; --i) {
                const int shape = grammar.pick(4);
                const QString example = shape == 3 ? sample.example.toUpper() : sample.example;
                lines.append(shape == 0 ? grammar.noise() : grammar.noise() + example + grammar.noise());
            }
            const bool ascii = std::all_of(lines.cbegin(), lines.cend(), [](const QString &line) {
                return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() < 0x80; });
            });
            const QString separator = QStringList{"\n", "\r\n", "\n", "\u2028"}[grammar.pick(4)];
            const QByteArray text = lines.join(separator).toUtf8();
            const QStringList split = vesk::splitLines(QString::fromUtf8(text)).lines;

            for (const bool caseSensitive : {true, false}) {
                const QString pattern = caseSensitive ? translated : regex_pattern::lowercased(translated);
                const QString context = QStringLiteral("seed %1 round %2 pattern %3 (%4) case %5 text %6")
                                            .arg(QString::number(seed), QString::number(round), sample.pattern, pattern,
                                                 QString::number(caseSensitive),
                                                 QString::fromLatin1(text.toPercentEncoding()));
                const QRegularExpression expression(pattern, QRegularExpression::UseUnicodePropertiesOption);
                QVERIFY2(expression.isValid(), qPrintable(context + ": " + expression.errorString()));
                const QList<qsizetype> expected = expressionLines(expression, split, caseSensitive);
                matchedLines += int(expected.size());

                const QString literal = regex_pattern::requiredLiteral(pattern);
                for (const qsizetype line : expected) {
                    const QString subject = caseSensitive ? split[line - 1] : split[line - 1].toLower();
                    QVERIFY2(subject.contains(literal), qPrintable(context + " literal " + literal));
                }
                SearchMatcher matcher(sample.pattern, caseSensitive, true);
                QVERIFY2(matcher.canMatch(), qPrintable(context + ": " + matcher.errorMessage()));
                for (const qsizetype chunk : {qsizetype(1) << 20, qsizetype(5)}) {
                    matcher.setChunkBytes(chunk);
                    bool cutShort = false;
                    const QList<qsizetype> found = lineNumbers(matcher.scan(text, 501, nullptr, &cutShort));
                    const auto list = [](const QList<qsizetype> &numbers) {
                        QStringList texts;
                        for (const qsizetype n : numbers) {
                            texts.append(QString::number(n));
                        }
                        return texts.join(u',');
                    };
                    // Nested repetition can backtrack past the bound even on short lines; then
                    // the search may miss lines, but says so, and lists no line that has no match.
                    const bool agrees = cutShort ? std::all_of(found.cbegin(), found.cend(), [&](qsizetype n) {
                        return expected.contains(n);
                    })
                                                 : found == expected;
                    QVERIFY2(agrees,
                             qPrintable(QStringLiteral("%1 ascii %2 chunk %3: found %4, want %5, cut %6")
                                            .arg(context, QString::number(ascii), QString::number(chunk), list(found),
                                                 list(expected), QString::number(cutShort))));
                }
            }
        }
        QVERIFY2(matchedLines > rounds, "the grammar's examples should match often");
    }

    // ICU's escapes work as in ICU; what PCRE2 cannot read as ICU does is refused with a
    // reason instead of silently finding nothing; lower-casing keeps names of groups valid.
    void icuSyntax_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("matches");

        QTest::addRow("\\uhhhh") << "caf\\u00e9" << true << "un caf\u00e9" << true << true;
        QTest::addRow("\\uhhhh capital hex") << "\\u00C9t\\u00E9" << true << "\u00c9t\u00e9" << true << true;
        QTest::addRow("\\Uhhhhhhhh") << "\\U0001F600!" << true << "hi \U0001F600!" << true << true;
        QTest::addRow("surrogate pair as two \\u") << "\\uD83D\\uDE00" << true << "\U0001F600" << true << true;
        QTest::addRow("\\x{hhhh}") << "\\x{2014}" << true << "a \u2014 b" << true << true;
        QTest::addRow("\\xhh") << "foo\\x20bar" << true << "foo bar" << true << true;
        QTest::addRow("\\N{name}") << "\\N{EM DASH}" << true << "a \u2014 b" << true << true;
        QTest::addRow("\\N{name} in a class") << "[\\N{EM DASH}x]" << true << "\u2014" << true << true;
        QTest::addRow("\\N{name}, case ignored") << "\\N{LATIN SMALL LETTER A}B" << false << "AB" << true << true;
        QTest::addRow("octal \\0ooo") << "\\0101B" << true << "AB" << true << true;
        QTest::addRow("\\cI") << "\\cIindented" << true << "\tindented" << true << true;
        QTest::addRow("\\pL") << "^\\pL+$" << true << "\u00e9t\u00e9" << true << true;
        QTest::addRow("(?i)") << "(?i)hello" << true << "HeLLo" << true << true;
        QTest::addRow("named group, case ignored") << "(?P<Name>ab)(?P=Name)" << false << "ABab" << true << true;
        QTest::addRow("angle named group, case ignored") << "(?<Word>x+)\\k<Word>" << false << "XXxx" << true << true;
        QTest::addRow("unknown character name") << "\\N{NO SUCH CHARACTER}" << true << "x" << false << false;
        QTest::addRow("short \\u") << "\\u12g" << true << "x" << false << false;
        QTest::addRow("\\U past the last code point") << "\\U00110000" << true << "x" << false << false;
        QTest::addRow("set operations") << "[[a-z]&&[aeiou]]" << true << "a" << false << false;
        QTest::addRow("ICU's (?w) option") << "(?w)\\bword" << true << "word" << false << false;
        QTest::addRow("unclosed group") << "(abc" << true << "abc" << false << false;
    }

    void icuSyntax()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, caseSensitive);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(bool, matches);
        const SearchMatcher matcher(pattern, caseSensitive, true);
        QCOMPARE(matcher.canMatch(), valid);
        QCOMPARE(matcher.errorMessage().isEmpty(), valid);
        QCOMPARE(matcher.scan(text.toUtf8(), 501).size(), matches ? 1 : 0);
    }

    // The bound on backtracking drops no ordinary match, on lines up to 10 MB, and says when it
    // cut a run off.
    void longLines_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<qsizetype>("hits");
        QTest::addColumn<bool>("cutShort");

        const QByteArray code = "var a=b(c,d);if(a){e.f=g}else{h.i(j)};";
        const auto line = [&](qsizetype bytes, const QByteArray &head, const QByteArray &tail) {
            QByteArray text = head + code.repeated(bytes / code.size()) + tail;
            return text;
        };
        QTest::addRow("lazy, 100,000 characters") << line(100000, "foo", "bar") << "foo.*?bar" << true << qsizetype(1)
                                                  << false;
        QTest::addRow("lazy, 10 MB") << line(10 << 20, "x foo", "bar\n") << "foo.*?bar" << true << qsizetype(1) << false;
        QTest::addRow("lazy, 10 MB, case ignored") << line(10 << 20, "x FOO", "Bar\n") << "foo.*?bar" << false
                                                   << qsizetype(1) << false;
        QTest::addRow("lazy, 10 MB, not ASCII") << line(10 << 20, "\u00e9 foo", "bar") << "foo.*?bar" << true
                                                << qsizetype(1) << false;
        QTest::addRow("no literal, 10 MB") << line(10 << 20, "", "abc123456789xyz") << "[a-z]+[0-9]{9}[a-z]+" << true
                                           << qsizetype(1) << false;
        QTest::addRow("greedy to the end, 10 MB") << line(10 << 20, "{", "}") << "\\{.*\\}$" << true << qsizetype(1)
                                                  << false;
        QTest::addRow("nothing there, 10 MB") << line(10 << 20, "", "") << "foo.*?bar" << true << qsizetype(0) << false;
        QTest::addRow("runaway backtracking") << (QByteArray(40, 'a') + "!\nxaa\n") << "(a+)+$" << true << qsizetype(1)
                                              << true;
        QTest::addRow("runaway, then whole-buffer") << (QByteArray(40, 'a') + "!\naa\n") << "^(a|a)+$" << true
                                                    << qsizetype(1) << true;
    }

    void longLines()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, pattern);
        QFETCH(bool, caseSensitive);
        bool cutShort = false;
        const QList<LineHit> hits = SearchMatcher(pattern, caseSensitive, true).scan(text, 501, nullptr, &cutShort);
        QTEST(hits.size(), "hits");
        QTEST(cutShort, "cutShort");
    }

    // What lower-casing keeps and what the prefilter requires, row by row.
    void patternReading_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("lowered");
        QTest::addColumn<QString>("literal");
        const char *rows[][3] = {
            {"foo\\x20bar", "foo\\x20bar", "foo"},
            {"\\x{41}BC", "\\x{41}bc", "BC"},
            {"\\cIindented", "\\cIindented", "indented"},
            {"\\o{101}XY", "\\o{101}xy", "XY"},
            {"\\012345", "\\012345", "345"},
            {"\\12Abc", "\\12abc", "Abc"},
            {"^\\pL+$", "^\\pL+$", ""},
            {"\\p{Lu}Zz", "\\p{Lu}zz", "Zz"},
            {"\\QA.b\\EC", "\\Qa.b\\Ec", "A.bC"},
            {"\\QA.b\\E*", "\\Qa.b\\E*", "A."},
            {"(?P<Name>X)(?P=Name)", "(?P<Name>x)(?P=Name)", ""},
            {"(?<Word>X)\\k<Word>Yz", "(?<Word>x)\\k<Word>yz", "Yz"},
            {"(?'Q'A)\\g{Q}", "(?'Q'a)\\g{Q}", ""},
            {"(?i:AB)cd", "(?i:ab)cd", ""},
            {"(?#A comment)Xy", "(?#A comment)xy", "Xy"},
            {"(*MARK:AB)XY", "(*MARK:ab)xy", ""},
            {"[[:ALPHA:]]X", "[[:ALPHA:]]x", "X"},
            {"a{,3}bcd", "a{,3}bcd", "bcd"},
            {"ab{2}c", "ab{2}c", "ab"},
            {"ab\\Kcd", "ab\\Kcd", "ab"},
        };
        for (const auto &row : rows) {
            QTest::addRow("%s", row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1])
                                        << QString::fromUtf8(row[2]);
        }
    }

    void patternReading()
    {
        QFETCH(QString, pattern);
        QTEST(regex_pattern::lowercased(pattern), "lowered");
        QTEST(regex_pattern::requiredLiteral(pattern), "literal");
    }
};

QTEST_GUILESS_MAIN(TestRegexSearch)
#include "tst_regex_search.moc"
