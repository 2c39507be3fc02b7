#include "workspace/regex_pattern.h"

namespace vesk::regex_pattern {

namespace {

bool isAsciiAlphanumeric(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

// Escapes whose letter is followed by a braced name or number.
bool takesBraces(QChar letter)
{
    return letter == u'p' || letter == u'P' || letter == u'N' || letter == u'x' || letter == u'o';
}

// Index just past a character class starting at `i` (pattern[i] == '['), or -1 if unclosed.
// A ']' right after '[' or '[^' is a member; POSIX names like [:alpha:] nest one level.
qsizetype skipClass(QStringView p, qsizetype i)
{
    ++i;
    if (i < p.size() && p[i] == u'^') {
        ++i;
    }
    if (i < p.size() && p[i] == u']') {
        ++i;
    }
    while (i < p.size()) {
        if (p[i] == u'\\') {
            i += 2;
        } else if (p[i] == u'[' && i + 1 < p.size() && p[i + 1] == u':') {
            const qsizetype close = p.indexOf(u":]", i + 2);
            i = close < 0 ? i + 1 : close + 2;
        } else if (p[i] == u'[') {
            const qsizetype inner = skipClass(p, i);  // ICU allows nested sets
            if (inner < 0) {
                return -1;
            }
            i = inner;
        } else if (p[i] == u']') {
            return i + 1;
        } else {
            ++i;
        }
    }
    return -1;
}

// Index just past the group starting at `i` (pattern[i] == '('), or -1 if unclosed.
qsizetype skipGroup(QStringView p, qsizetype i)
{
    int depth = 0;
    while (i < p.size()) {
        const QChar c = p[i];
        if (c == u'\\') {
            i += 2;
            continue;
        }
        if (c == u'[') {
            i = skipClass(p, i);
            if (i < 0) {
                return -1;
            }
            continue;
        }
        if (c == u'(') {
            ++depth;
        } else if (c == u')' && --depth == 0) {
            return i + 1;
        }
        ++i;
    }
    return -1;
}

// "(?:", "(?=", "(?!", "(?<=", "(?<!", "(?>" and "(?|" only group; anything else after "(?"
// can switch options (i, x, ...) or name things, which this reading does not follow.
bool isPlainGroup(QStringView p, qsizetype i)
{
    const QStringView rest = p.sliced(i + 1);
    if (rest.startsWith(u'*')) {
        return false;  // a verb such as (*UCP)
    }
    if (!rest.startsWith(u'?')) {
        return true;
    }
    const QStringView kind = rest.sliced(1);
    return kind.startsWith(u':') || kind.startsWith(u'=') || kind.startsWith(u'!') || kind.startsWith(u"<=")
           || kind.startsWith(u"<!") || kind.startsWith(u'>') || kind.startsWith(u'|');
}

// Index just past a counted repetition "{n}", "{n,}", "{n,m}" starting at `i`, or -1 when the
// brace is not one (and so stands for itself).
qsizetype skipCount(QStringView p, qsizetype i)
{
    qsizetype j = i + 1;
    bool comma = false;
    while (j < p.size() && p[j] != u'}') {
        const QChar c = p[j];
        if (c == u',' && !comma) {
            comma = true;
        } else if (!c.isDigit() && c != u' ') {
            return -1;
        }
        ++j;
    }
    return j < p.size() ? j + 1 : -1;
}

// Removes the last code point of a run (the atom a quantifier applies to).
void dropLastCodePoint(QString &run)
{
    if (run.isEmpty()) {
        return;
    }
    run.chop(run.size() >= 2 && run.back().isLowSurrogate() && run[run.size() - 2].isHighSurrogate() ? 2 : 1);
}

// Lower-cases literal text but keeps verbs such as "(*UCP)" as written: their names are
// upper-case only, and a lower-cased verb no longer compiles.
void appendLowercased(QStringView text, QString &out)
{
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype verb = text.indexOf(u"(*", i);
        const qsizetype close = verb < 0 ? -1 : text.indexOf(u')', verb);
        if (close < 0) {
            out += text.sliced(i).toString().toLower();
            return;
        }
        out += text.sliced(i, verb - i).toString().toLower();
        out += text.sliced(verb, close + 1 - verb);
        i = close + 1;
    }
}

} // namespace

QString lowercased(QStringView pattern)
{
    QString out;
    out.reserve(pattern.size());
    qsizetype i = 0;
    const qsizetype n = pattern.size();
    while (i < n) {
        if (pattern[i] != u'\\' || i + 1 >= n) {
            qsizetype end = i + 1;
            while (end < n && pattern[end] != u'\\') {
                ++end;
            }
            appendLowercased(pattern.sliced(i, end - i), out);
            i = end;
            continue;
        }
        const QChar letter = pattern[i + 1];
        if (letter == u'Q') {  // quoted literal text up to \E
            qsizetype end = pattern.indexOf(u"\\E", i + 2);
            end = end < 0 ? n : end;
            out += QStringView(u"\\Q");
            out += pattern.sliced(i + 2, end - i - 2).toString().toLower();
            i = end;
            if (i < n) {
                out += QStringView(u"\\E");
                i += 2;
            }
            continue;
        }
        qsizetype end = i + 2;
        if (takesBraces(letter) && end < n && pattern[end] == u'{') {
            const qsizetype close = pattern.indexOf(u'}', end);
            end = close < 0 ? n : close + 1;
        }
        out += pattern.sliced(i, end - i);
        i = end;
    }
    return out;
}

QString requiredLiteral(QStringView p)
{
    QString best;
    QString run;
    auto endRun = [&] {
        if (run.size() > best.size()) {
            best = run;
        }
        run.clear();
    };
    bool afterQuantifier = false;
    qsizetype i = 0;
    while (i < p.size()) {
        const QChar c = p[i];
        if (afterQuantifier && (c == u'?' || c == u'+')) {  // lazy or possessive form
            ++i;
            continue;
        }
        afterQuantifier = false;
        switch (c.unicode()) {
        case u'|':
            return {};
        case u'(': {
            if (!isPlainGroup(p, i)) {
                return {};
            }
            endRun();
            i = skipGroup(p, i);
            if (i < 0) {
                return {};
            }
            continue;
        }
        case u'[':
            endRun();
            i = skipClass(p, i);
            if (i < 0) {
                return {};
            }
            continue;
        case u'{': {
            const qsizetype end = skipCount(p, i);
            dropLastCodePoint(run);  // the count may be zero
            endRun();
            afterQuantifier = end >= 0;
            i = end >= 0 ? end : i + 1;
            continue;
        }
        case u'*':
        case u'?':
            dropLastCodePoint(run);
            endRun();
            afterQuantifier = true;
            ++i;
            continue;
        case u'+':  // the atom is there at least once; what follows it need not touch it
            endRun();
            afterQuantifier = true;
            ++i;
            continue;
        case u'.':
        case u'^':
        case u'$':
        case u')':
        case u']':
        case u'}':
            endRun();
            ++i;
            continue;
        case u'\\': {
            if (i + 1 >= p.size()) {
                return {};
            }
            const QChar escaped = p[i + 1];
            if (escaped == u'Q') {
                return {};
            }
            if (isAsciiAlphanumeric(escaped)) {
                endRun();
                i += 2;
                if (takesBraces(escaped) && i < p.size() && p[i] == u'{') {
                    const qsizetype close = p.indexOf(u'}', i);
                    i = close < 0 ? p.size() : close + 1;
                }
                continue;
            }
            run += escaped;
            i += 2;
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

} // namespace vesk::regex_pattern
