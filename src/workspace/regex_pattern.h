#pragma once

#include <QString>
#include <QStringView>

namespace vesk {

// Reading of regular-expression patterns for find-in-files. Users type ICU syntax; the search
// runs PCRE2, which reads nearly all of it the same way. fromIcu rewrites what differs; the
// other functions read PCRE2 syntax.
namespace regex_pattern {

// The pattern in PCRE2 syntax: \uhhhh and \Uhhhhhhhh become \x{..}, \N{CHARACTER NAME} the code
// point it names, \0ooo (up to three octal digits) \o{ooo}. What ICU reads differently and
// PCRE2 cannot (a malformed \u, an unknown name, nested sets) sets `error` and returns "".
QString fromIcu(QStringView pattern, QString *error);

// The pattern with its literal text lower-cased, for matching against lower-cased lines.
// Escapes keep their letter (\D stays "not a digit", \S "not a space"), and so do the names and
// code points inside \p{..}, \N{..}, \x{..}, \o{..}, \g{..} and \k<..>, group names such as
// (?P<Name>..), option letters, verbs such as (*UCP), and comments.
QString lowercased(QStringView pattern);

// A run of literal text that every match of `pattern` contains, or "" when none can be found
// safely. Used to pick the lines worth running the expression on, so when in doubt (alternation
// at the top level, inline options, verbs, anything not understood) it requires nothing.
QString requiredLiteral(QStringView pattern);

// Whether a line that matches on its own is still found, at or after its start, when the
// pattern runs in multi-line mode over a buffer of many lines (lines end in LF or CR LF; `.`
// and `$` stop at them). Holds for literals, classes, ordinary groups, alternation, greedy and
// lazy repetition, back references and ^, $, \b; not for lookaround, atomic groups, possessive
// repetition, \A, \z, \Z, \G, \K, options or verbs, which see or discard what lies beyond a line.
bool suitsWholeBuffer(QStringView pattern);

} // namespace regex_pattern
} // namespace vesk
