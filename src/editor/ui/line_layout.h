#pragma once

#include "text/grapheme.h"

#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <memory>
#include <vector>

class QPainter;
class QPointF;

namespace vesk {

// Calls f(character) for each character (grapheme cluster) of a line in order until f returns
// false. A line of units below U+0300 is one character per unit.
template <typename F>
void forEachCharacter(QStringView line, F &&f)
{
    const bool simple = std::all_of(line.begin(), line.end(), [](QChar c) { return grapheme::isSimpleUnit(c.unicode()); });
    if (simple) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (!f(line.mid(i, 1))) {
                return;
            }
        }
        return;
    }
    qsizetype start = 0;
    grapheme::forEachBoundary(line, [&](qsizetype end) {
        const bool more = f(line.mid(start, end - start));
        start = end;
        return more;
    });
}

// The editor's text font: "SFMono-Regular" when installed, else the system's monospaced font,
// at 13 logical pixels (a Mac point). Made once for the whole process.
const QFont &editorFont();
// The gutter's line numbers: the system's monospaced font at 10 logical pixels.
const QFont &lineNumberFont();

// The `tabWidth` preference clamped to 1…16 (4 when unset), and `showWhitespace` (true when
// unset). Both follow every preference change.
int tabWidth();
bool showWhitespace();

// The line with each tab replaced by spaces up to the next tab stop.
QString expandTabs(const QString &line, int width);
QString expandTabs(const QString &line);

// Visual column reached after the first `characters` characters of a raw line (a tab runs to
// the next multiple of `width`, any other character counts 1).
qint64 visualColumn(QStringView line, qint64 characters, int width);

struct AsciiGlyphs;

// One typeset, tab-expanded line: the caret's x before each character (grapheme cluster) and
// after the last, and the glyphs to draw. Fonts that lack a character are replaced for that
// run by one that has it, so every script shows. Immutable.
//
// Long lines are typeset in pieces of a few hundred characters, cut after a space where one is
// near, so that measuring stays linear and drawing touches only the pieces on screen.
class LineLayout
{
public:
    LineLayout(const QString &expanded, const QFont &font);

    // Number of caret positions: characters + 1.
    qsizetype offsetCount() const { return m_count; }
    double offset(qsizetype index) const;
    double width() const { return offset(m_count - 1); }
    // The character boundary nearest to `x`; a tie goes to the later boundary.
    qsizetype charIndex(double x) const;

    // Draws the glyphs with the baseline starting at `origin`, skipping pieces that lie wholly
    // outside minX…maxX (relative to the line's start).
    void draw(QPainter &painter, const QPointF &origin, double minX, double maxX) const;
    // Every glyph run, positions relative to the line start on the baseline.
    QList<QGlyphRun> glyphRuns() const;

private:
    struct Piece
    {
        double startX = 0;
        double endX = 0;
        QList<QGlyphRun> runs;
    };

    void layOutPrintableAscii(const QString &expanded, const AsciiGlyphs &ascii);
    // `emoji`: per character, whether it goes to the colour emoji font (empty: none does).
    void layOutPieces(const QString &expanded, const QFont &font, const std::vector<bool> &emoji);

    qsizetype m_count = 1;
    double m_advance = 0;          // uniform advance of the plain-ASCII path; offsets are then k × advance
    std::vector<double> m_offsets;  // the general path
    std::vector<Piece> m_pieces;
};

// The layout of a raw line (before tab expansion) in the editor font, from a process-wide cache
// keyed by the raw text. The cache is emptied when it holds 501 layouts and a new one is due, and
// on every preference change. Main thread only.
std::shared_ptr<const LineLayout> getLayout(const QString &line);
qsizetype layoutCacheSize();
void clearLayoutCache();

} // namespace vesk
