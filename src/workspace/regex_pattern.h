#pragma once

#include <QString>
#include <QStringView>

namespace vesk {

// Reading of regular-expression patterns (ICU/PCRE syntax) for find-in-files.
namespace regex_pattern {

// The pattern with its literal text lower-cased, for matching against lower-cased lines.
// Escapes keep their letter (\D stays "not a digit", \S "not a space"), and so do the names
// and code points inside \p{..}, \P{..}, \N{..}, \x{..} and \o{..}.
QString lowercased(QStringView pattern);

// A run of literal text that every match of `pattern` contains, or an empty string when none
// can be found safely (alternation at the top level, inline options, verbs). Only used to pick
// the lines worth running the expression on, so it errs on the side of returning less.
QString requiredLiteral(QStringView pattern);

} // namespace regex_pattern
} // namespace vesk
