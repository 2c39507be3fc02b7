#include "workspace/regex_pattern.h"

#include <QByteArray>

#include <algorithm>
#include <optional>

#ifdef VESK_HAVE_ICU
#include <unicode/uchar.h>
#endif

namespace vesk::regex_pattern {

namespace {

bool isAsciiAlphanumeric(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

bool isOctalDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'7';
}

bool isDecimalDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool at(QStringView p, qsizetype i, char16_t c)
{
    return i >= 0 && i < p.size() && p[i] == QChar(c);
}

// Index just past `close` at or after `from`, or the pattern's end.
qsizetype pastClose(QStringView p, qsizetype from, char16_t close)
{
    const qsizetype found = p.indexOf(QChar(close), from);
    return found < 0 ? p.size() : found + 1;
}

// Index just past the end of a \Q..\E quotation whose \Q is at `i` (or the pattern's end).
qsizetype quoteEnd(QStringView p, qsizetype i)
{
    const qsizetype end = p.indexOf(u"\\E", i + 2);
    return end < 0 ? p.size() : end + 2;
}

// Index just past the escape at `i` (p[i] == '\\') in PCRE2 syntax. \Q is left to the caller.
qsizetype escapeEnd(QStringView p, qsizetype i)
{
    const qsizetype n = p.size();
    if (i + 1 >= n) {
        return n;
    }
    const char16_t c = p[i + 1].unicode();
    qsizetype j = i + 2;
    switch (c) {
    case u'x':
        if (at(p, j, u'{')) {
            return pastClose(p, j, u'}');
        }
        for (int k = 0; k < 2 && j < n && isHexDigit(p[j]); ++k) {
            ++j;
        }
        return j;
    case u'o':
    case u'N':
        return at(p, j, u'{') ? pastClose(p, j, u'}') : j;
    case u'p':
    case u'P':
        if (at(p, j, u'{')) {
            return pastClose(p, j, u'}');
        }
        return std::min(j + 1, n);
    case u'c':
        return std::min(j + 1, n);
    case u'g':
    case u'k':
        if (at(p, j, u'{')) {
            return pastClose(p, j, u'}');
        }
        if (at(p, j, u'<')) {
            return pastClose(p, j, u'>');
        }
        if (at(p, j, u'\'')) {
            return pastClose(p, j + 1, u'\'');
        }
        if (j < n && (p[j] == u'+' || p[j] == u'-')) {
            ++j;
        }
        while (j < n && isDecimalDigit(p[j])) {
            ++j;
        }
        return j;
    case u'0':
        for (int k = 0; k < 2 && j < n && isOctalDigit(p[j]); ++k) {
            ++j;
        }
        return j;
    default:
        if (c >= u'1' && c <= u'9') {  // a back reference or an octal escape: all its digits
            while (j < n && isDecimalDigit(p[j])) {
                ++j;
            }
            return j;
        }
        if (QChar::isHighSurrogate(c) && j < n && p[j].isLowSurrogate()) {
            return j + 1;
        }
        return j;
    }
}

// Index just past the class starting at `i` (p[i] == '['), or -1 when it is not closed.
// A ']' right after '[' or '[^' is a member; [:alpha:] names a POSIX class.
qsizetype classEnd(QStringView p, qsizetype i)
{
    const qsizetype n = p.size();
    ++i;
    if (at(p, i, u'^')) {
        ++i;
    }
    if (at(p, i, u']')) {
        ++i;
    }
    while (i < n) {
        if (p[i] == u'\\') {
            i = at(p, i + 1, u'Q') ? quoteEnd(p, i) : escapeEnd(p, i);
        } else if (p[i] == u'[' && at(p, i + 1, u':')) {
            const qsizetype close = p.indexOf(u":]", i + 2);
            i = close < 0 ? i + 1 : close + 2;
        } else if (p[i] == u']') {
            return i + 1;
        } else {
            ++i;
        }
    }
    return -1;
}

enum class GroupKind {
    capture,      // ( and named groups (?<n> (?P<n> (?'n'
    nonCapture,   // (?:
    lookaround,   // (?= (?! (?<= (?<!
    atomic,       // (?>
    branchReset,  // (?|
    comment,      // (?#
    other,        // options, conditions, recursion, callouts, verbs (*...)
};

GroupKind groupKind(QStringView p, qsizetype i)
{
    if (at(p, i + 1, u'*')) {
        return GroupKind::other;
    }
    if (!at(p, i + 1, u'?')) {
        return GroupKind::capture;
    }
    const qsizetype k = i + 2;
    if (at(p, k, u':')) {
        return GroupKind::nonCapture;
    }
    if (at(p, k, u'=') || at(p, k, u'!')) {
        return GroupKind::lookaround;
    }
    if (at(p, k, u'<')) {
        return at(p, k + 1, u'=') || at(p, k + 1, u'!') ? GroupKind::lookaround : GroupKind::capture;
    }
    if (at(p, k, u'\'') || (at(p, k, u'P') && at(p, k + 1, u'<'))) {
        return GroupKind::capture;
    }
    if (at(p, k, u'>')) {
        return GroupKind::atomic;
    }
    if (at(p, k, u'|')) {
        return GroupKind::branchReset;
    }
    if (at(p, k, u'#')) {
        return GroupKind::comment;
    }
    return GroupKind::other;
}

// Index just past the group starting at `i` (p[i] == '('), or -1 when it is not closed.
qsizetype groupEnd(QStringView p, qsizetype i)
{
    int depth = 0;
    while (i < p.size()) {
        const QChar c = p[i];
        if (c == u'\\') {
            i = at(p, i + 1, u'Q') ? quoteEnd(p, i) : escapeEnd(p, i);
        } else if (c == u'[') {
            i = classEnd(p, i);
            if (i < 0) {
                return -1;
            }
        } else if (c == u'(' && groupKind(p, i) == GroupKind::comment) {
            const qsizetype close = p.indexOf(u')', i);
            if (close < 0) {
                return -1;
            }
            i = close + 1;
            if (depth == 0) {
                return i;
            }
        } else {
            if (c == u'(') {
                ++depth;
            } else if (c == u')' && --depth == 0) {
                return i + 1;
            }
            ++i;
        }
    }
    return -1;
}

// A counted repetition {n}, {n,}, {n,m} at `i`: its end and whether n is 0 or absent. Nothing
// when the brace stands for itself.
struct Count
{
    qsizetype end = 0;
    bool mayBeZero = true;
};

std::optional<Count> countAt(QStringView p, qsizetype i)
{
    qsizetype j = i + 1;
    QString low;
    while (j < p.size() && (isDecimalDigit(p[j]) || p[j] == u' ')) {
        low += p[j++];
    }
    if (at(p, j, u',')) {
        ++j;
        while (j < p.size() && (isDecimalDigit(p[j]) || p[j] == u' ')) {
            ++j;
        }
    }
    if (!at(p, j, u'}')) {
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = low.trimmed().toLongLong(&ok);
    return Count{j + 1, !ok || value == 0};
}

// A quantifier's lazy (?) or possessive (+) suffix at `i`: its length.
qsizetype suffixLength(QStringView p, qsizetype i)
{
    return at(p, i, u'?') || at(p, i, u'+') ? 1 : 0;
}

// Removes the last code point of a run (the atom a quantifier applies to).
void dropLastCodePoint(QString &run)
{
    if (run.isEmpty()) {
        return;
    }
    run.chop(run.size() >= 2 && run.back().isLowSurrogate() && run[run.size() - 2].isHighSurrogate() ? 2 : 1);
}

// The character an escape stands for when it is one, literally: a backslash before anything
// that is not an ASCII letter or digit.
std::optional<QStringView> literalEscape(QStringView p, qsizetype i, qsizetype end)
{
    if (i + 1 >= p.size() || isAsciiAlphanumeric(p[i + 1])) {
        return std::nullopt;
    }
    return p.sliced(i + 1, end - i - 1);
}

// Where a group header that must keep its letters ends: names, option letters, conditions,
// recursion, callouts, verbs. Returns `i` when the group's text is ordinary pattern text.
qsizetype verbatimHeaderEnd(QStringView p, qsizetype i)
{
    switch (groupKind(p, i)) {
    case GroupKind::nonCapture:
    case GroupKind::atomic:
    case GroupKind::branchReset:
        return i + 3;
    case GroupKind::lookaround:
        return at(p, i + 2, u'<') ? i + 4 : i + 3;
    case GroupKind::comment:
        return pastClose(p, i, u')');
    case GroupKind::capture:
        if (at(p, i + 2, u'\'')) {
            return pastClose(p, i + 3, u'\'');
        }
        return at(p, i + 1, u'?') ? pastClose(p, i, u'>') : i + 1;
    case GroupKind::other:
        break;
    }
    if (at(p, i + 2, u'(')) {  // a condition (?(name) or (?(<name>) or (?(1)
        return pastClose(p, i + 3, u')');
    }
    for (qsizetype j = i + 2; j < p.size(); ++j) {  // options end in ")" or ":", references in ")"
        if (p[j] == u')' || p[j] == u':') {
            return j + 1;
        }
    }
    return p.size();
}

#ifdef VESK_HAVE_ICU
std::optional<char32_t> codePointNamed(QStringView name)
{
    const QByteArray latin = name.toString().toLatin1();
    UErrorCode status = U_ZERO_ERROR;
    const UChar32 c = u_charFromName(U_EXTENDED_CHAR_NAME, latin.constData(), &status);
    if (U_FAILURE(status) || c < 0) {
        return std::nullopt;
    }
    return char32_t(c);
}
#else
std::optional<char32_t> codePointNamed(QStringView)
{
    return std::nullopt;
}
#endif

QString hexEscape(char32_t c)
{
    return QStringLiteral("\\x{%1}").arg(quint32(c), 0, 16);
}

// ICU's \uhhhh and \Uhhhhhhhh at `i`: the escape PCRE2 reads, or an error.
std::optional<QString> translateUnicodeEscape(QStringView p, qsizetype i, qsizetype &end, QString *error)
{
    const bool wide = p[i + 1] == u'U';
    const qsizetype digits = wide ? 8 : 4;
    const QStringView hex = p.sliced(i + 2, std::min(digits, p.size() - i - 2));
    bool ok = hex.size() == digits && std::all_of(hex.begin(), hex.end(), isHexDigit);
    const uint value = ok ? hex.toUInt(&ok, 16) : 0;
    if (!ok || value > 0x10FFFF) {
        *error = wide ? QStringLiteral("\\U must be followed by eight hexadecimal digits")
                      : QStringLiteral("\\u must be followed by four hexadecimal digits");
        return std::nullopt;
    }
    end = i + 2 + digits;
    // \uD83D\uDE00: a surrogate pair written as two escapes stands for one code point.
    const QStringView next = p.sliced(end);
    bool low = false;
    const uint lowValue = next.size() >= 6 && next.startsWith(u"\\u") ? next.sliced(2, 4).toUInt(&low, 16) : 0;
    if (QChar::isHighSurrogate(value) && low && QChar::isLowSurrogate(lowValue)) {
        end += 6;
        return hexEscape(QChar::surrogateToUcs4(char16_t(value), char16_t(lowValue)));
    }
    return hexEscape(value);
}

} // namespace

QString fromIcu(QStringView p, QString *error)
{
    QString out;
    out.reserve(p.size());
    QString problem;
    bool inClass = false;
    qsizetype i = 0;
    while (i < p.size()) {
        const QChar c = p[i];
        if (c != u'\\') {
            if (c == u'[' && !inClass) {
                inClass = true;
                out += c;
                ++i;
                if (at(p, i, u'^')) {
                    out += p[i++];
                }
                if (at(p, i, u']')) {
                    out += p[i++];
                }
                continue;
            }
            if (c == u'[' && inClass && !at(p, i + 1, u':')) {
                problem = QStringLiteral("nested sets and set operations in a class are not supported");
                break;
            }
            if (c == u'[' && inClass) {  // [:alpha:]
                const qsizetype close = p.indexOf(u":]", i + 2);
                const qsizetype end = close < 0 ? i + 1 : close + 2;
                out += p.sliced(i, end - i);
                i = end;
                continue;
            }
            if (c == u']' && inClass) {
                inClass = false;
            }
            out += c;
            ++i;
            continue;
        }
        const QChar letter = i + 1 < p.size() ? p[i + 1] : QChar();
        qsizetype end = 0;
        if (letter == u'Q') {
            end = quoteEnd(p, i);
            out += p.sliced(i, end - i);
        } else if (letter == u'u' || letter == u'U') {
            const std::optional<QString> escape = translateUnicodeEscape(p, i, end, &problem);
            if (!escape) {
                break;
            }
            out += *escape;
        } else if (letter == u'N' && at(p, i + 2, u'{')) {
            end = pastClose(p, i + 2, u'}');
            const QStringView name = p.sliced(i + 3, std::max<qsizetype>(end - i - 4, 0));
            if (name.startsWith(u"U+")) {
                out += p.sliced(i, end - i);  // PCRE2's own form
            } else if (const std::optional<char32_t> code = codePointNamed(name)) {
                out += hexEscape(*code);
            } else {
                problem = QStringLiteral("unknown character name \\N{%1}").arg(name);
                break;
            }
        } else if (letter == u'0') {
            end = i + 2;
            while (end < p.size() && end < i + 5 && isOctalDigit(p[end])) {
                ++end;
            }
            out += QStringLiteral("\\o{0%1}").arg(p.sliced(i + 2, end - i - 2));
        } else {
            end = escapeEnd(p, i);
            out += p.sliced(i, end - i);
        }
        i = end;
    }
    if (error) {
        *error = problem;
    }
    return problem.isEmpty() ? out : QString();
}

QString lowercased(QStringView p)
{
    QString out;
    out.reserve(p.size());
    qsizetype i = 0;
    const qsizetype n = p.size();
    while (i < n) {
        const QChar c = p[i];
        if (c == u'\\' && at(p, i + 1, u'Q')) {  // quoted literal text up to \E
            const qsizetype end = quoteEnd(p, i);
            const bool closed = p.sliced(i + 2, end - i - 2).endsWith(u"\\E");
            out += QStringView(u"\\Q");
            out += p.sliced(i + 2, end - i - 2 - (closed ? 2 : 0)).toString().toLower();
            out += closed ? QStringView(u"\\E") : QStringView();
            i = end;
        } else if (c == u'\\') {
            const qsizetype end = escapeEnd(p, i);
            out += p.sliced(i, end - i);
            i = end;
        } else if (c == u'(' && (at(p, i + 1, u'?') || at(p, i + 1, u'*'))) {
            const qsizetype end = verbatimHeaderEnd(p, i);
            out += p.sliced(i, end - i);
            i = end;
        } else if (c == u'[' && at(p, i + 1, u':')) {  // a POSIX class name keeps its letters
            const qsizetype close = p.indexOf(u":]", i + 2);
            const qsizetype end = close < 0 ? i + 1 : close + 2;
            out += p.sliced(i, end - i);
            i = end;
        } else {
            qsizetype end = i + 1;
            while (end < n && p[end] != u'\\' && p[end] != u'(' && p[end] != u'[') {
                ++end;
            }
            out += p.sliced(i, end - i).toString().toLower();
            i = end;
        }
    }
    return out;
}

QString requiredLiteral(QStringView p)
{
    QString best;
    QString run;
    const auto endRun = [&] {
        if (run.size() > best.size()) {
            best = run;
        }
        run.clear();
    };
    qsizetype i = 0;
    const qsizetype n = p.size();
    while (i < n) {
        const QChar c = p[i];
        switch (c.unicode()) {
        case u'|':
        case u')':
            return {};
        case u'(': {
            const GroupKind kind = groupKind(p, i);
            if (kind == GroupKind::other) {
                return {};
            }
            endRun();
            i = groupEnd(p, i);
            if (i < 0) {
                return {};
            }
            continue;
        }
        case u'[':
            endRun();
            i = classEnd(p, i);
            if (i < 0) {
                return {};
            }
            continue;
        case u'*':
        case u'?':
            dropLastCodePoint(run);
            endRun();
            ++i;
            i += suffixLength(p, i);
            continue;
        case u'+':  // the atom is there at least once; what follows it need not touch it
            endRun();
            ++i;
            i += suffixLength(p, i);
            continue;
        case u'{': {
            const std::optional<Count> count = countAt(p, i);
            if (!count || count->mayBeZero) {
                dropLastCodePoint(run);
            }
            endRun();
            i = count ? count->end + suffixLength(p, count->end) : i + 1;
            continue;
        }
        case u'.':
        case u'^':
        case u'$':
            endRun();
            ++i;
            continue;
        case u'\\': {
            if (at(p, i + 1, u'Q')) {
                const qsizetype end = quoteEnd(p, i);
                const QStringView quoted = p.sliced(i + 2, end - i - 2);
                run += quoted.endsWith(u"\\E") ? quoted.chopped(2) : quoted;
                i = end;
                continue;
            }
            if (at(p, i + 1, u'E')) {  // an \E without \Q is nothing
                i += 2;
                continue;
            }
            const qsizetype end = escapeEnd(p, i);
            if (const std::optional<QStringView> literal = literalEscape(p, i, end)) {
                run += *literal;
            } else {
                endRun();
            }
            i = end;
            continue;
        }
        default:
            run += c;
            ++i;
            continue;
        }
    }
    endRun();
    return best;
}

bool suitsWholeBuffer(QStringView p)
{
    bool afterQuantifier = false;
    qsizetype i = 0;
    const qsizetype n = p.size();
    while (i < n) {
        const QChar c = p[i];
        if (afterQuantifier && c == u'+') {
            return false;  // possessive
        }
        afterQuantifier = false;
        switch (c.unicode()) {
        case u'\\': {
            if (at(p, i + 1, u'Q')) {
                i = quoteEnd(p, i);
                continue;
            }
            const QChar letter = i + 1 < n ? p[i + 1] : QChar();
            if (letter == u'A' || letter == u'z' || letter == u'Z' || letter == u'G' || letter == u'K') {
                return false;
            }
            i = escapeEnd(p, i);
            continue;
        }
        case u'[':
            i = classEnd(p, i);
            if (i < 0) {
                return false;
            }
            continue;
        case u'(': {
            const GroupKind kind = groupKind(p, i);
            if (kind == GroupKind::comment) {
                i = pastClose(p, i, u')');
                continue;
            }
            if (kind != GroupKind::capture && kind != GroupKind::nonCapture) {
                return false;
            }
            if (kind == GroupKind::nonCapture) {
                i += 3;
            } else {
                i = at(p, i + 1, u'?') ? verbatimHeaderEnd(p, i) : i + 1;  // named or plain
            }
            continue;
        }
        case u'*':
        case u'+':
        case u'?':
            afterQuantifier = true;
            ++i;
            if (at(p, i, u'?')) {
                ++i;  // lazy
            }
            continue;
        case u'{': {
            const std::optional<Count> count = countAt(p, i);
            i = count ? count->end : i + 1;
            afterQuantifier = count.has_value();
            if (afterQuantifier && at(p, i, u'?')) {
                ++i;
            }
            continue;
        }
        default:
            ++i;
            continue;
        }
    }
    return true;
}

} // namespace vesk::regex_pattern
