#include "editor/ui/line_layout.h"

#include "platform/preferences.h"
#include "text/grapheme.h"

#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <optional>

namespace vesk {

namespace {

constexpr qsizetype pieceLength = 256;      // characters typeset together
constexpr qsizetype pieceCutLookBack = 64;  // how far back a piece looks for a space to end after
constexpr qsizetype cacheLimit = 501;
constexpr double editorPixelSize = 13;
constexpr double lineNumberPixelSize = 10;

QFont monospaced(double pixelSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(int(pixelSize));
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setStyleHint(QFont::Monospace);
    return font;
}

bool isPrintableAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

bool isControl(char16_t unit)
{
    return (unit < 0x20 && unit != u'\t') || (unit >= 0x7F && unit <= 0x9F);
}

// The symbol a control character shows as: a control picture (NUL as "␀", ESC as "␛", DEL
// as "␡"), or "␦" for the C1 controls, which have none.
QChar controlPicture(char16_t unit)
{
    if (unit < 0x20) {
        return QChar(0x2400 + unit);
    }
    return QChar(unit == 0x7F ? 0x2421 : 0x2426);
}

// The colour emoji font of the system, or empty when it has none.
const QString &emojiFamily()
{
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const QString &candidate : {QStringLiteral("Apple Color Emoji"), QStringLiteral("Noto Color Emoji")}) {
            if (families.contains(candidate)) {
                return candidate;
            }
        }
        return QString();
    }();
    return family;
}

// A line as drawn: each control character as its symbol, and the characters that ask for emoji
// presentation (with VS16, U+FE0F, or a keycap mark, U+20E3) flagged for the colour emoji font,
// since the text font has their base ("1", "#", "❤") and would draw it as plain text. Their
// VS16 is left out: fonts lack it, and a fallback font would draw it as a box of its own.
// Every character stays one character, so offsets and columns match the text.
struct ShownLine
{
    QString text;
    std::vector<bool> emoji;  // per character; empty when there is none
};

ShownLine shownLine(const QString &expanded)
{
    const bool hasControl = std::any_of(expanded.begin(), expanded.end(), [](QChar c) { return isControl(c.unicode()); });
    const bool hasEmoji = !emojiFamily().isEmpty()
        && (expanded.contains(QChar(0xFE0F)) || expanded.contains(QChar(0x20E3)));
    if (!hasControl && !hasEmoji) {
        return {expanded, {}};
    }
    ShownLine shown;
    qsizetype start = 0;
    grapheme::forEachBoundary(expanded, [&](qsizetype end) {
        const QStringView character = QStringView(expanded).mid(start, end - start);
        const bool emoji = hasEmoji && character.size() > 1
            && (character.contains(QChar(0xFE0F)) || character.contains(QChar(0x20E3)));
        if (character.size() == 1 && isControl(character.front().unicode())) {
            shown.text += controlPicture(character.front().unicode());
        } else if (emoji) {
            shown.text += character.front();
            for (const QChar unit : character.mid(1)) {
                if (unit != QChar(0xFE0F)) {
                    shown.text += unit;
                }
            }
        } else {
            shown.text += character;
        }
        shown.emoji.push_back(emoji);
        start = end;
        return true;
    });
    // A symbol that would join its neighbour into one character (a combining mark after a
    // control) is not worth a wrong caret: such a line is drawn as it is.
    if (grapheme::boundaries(shown.text).size() != qsizetype(shown.emoji.size()) + 1) {
        return {expanded, {}};
    }
    if (!hasEmoji) {
        shown.emoji.clear();
    }
    return shown;
}

// One QTextLayout line over `text`, left to right, never wrapped.
class TypesetLine
{
public:
    TypesetLine(const QString &text, const QFont &font, const QList<QTextLayout::FormatRange> &formats = {})
        : m_layout(text, font)
    {
        m_layout.setFormats(formats);
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        option.setTextDirection(Qt::LeftToRight);
        m_layout.setTextOption(option);
        m_layout.beginLayout();
        m_line = m_layout.createLine();
        m_line.setLineWidth(1e9);
        m_layout.endLayout();
    }

    const QTextLine &line() const { return m_line; }

    // The runs moved so that y is relative to the baseline and x starts at `startX`.
    QList<QGlyphRun> runsAt(double startX) const
    {
        QList<QGlyphRun> runs = m_line.glyphRuns();
        for (QGlyphRun &run : runs) {
            QList<QPointF> positions = run.positions();
            for (QPointF &p : positions) {
                p += QPointF(startX, -m_line.ascent());
            }
            run.setPositions(positions);
        }
        return runs;
    }

private:
    QTextLayout m_layout;
    QTextLine m_line;
};

} // namespace

// Glyphs of the printable ASCII characters in one font, usable only when shaping gives
// every one of them the same advance, without substitutes, ligatures or kerning. Lines made of
// such characters then need no typesetting at all.
struct AsciiGlyphs
{
    bool usable = false;
    double advance = 0;
    QRawFont font;
    std::array<quint32, 0x7F - 0x20> glyph{};
};

namespace {

AsciiGlyphs measureAsciiGlyphs(const QFont &font)
{
    AsciiGlyphs result;
    QString sample;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        sample.append(QChar(c));
    }
    const qsizetype tableSize = sample.size();
    // Pairs that ligature-happy or kerned fonts change.
    sample += QStringLiteral(" -> != == === <= >= :: // /* */ && || fi ffl www AV To Wa ... <!-- |> ~>");
    const TypesetLine typeset(sample, font);
    const QList<QGlyphRun> runs = typeset.line().glyphRuns();
    if (runs.size() != 1 || runs.first().glyphIndexes().size() != sample.size()) {
        return result;
    }
    const double advance = typeset.line().cursorToX(tableSize) / double(tableSize);
    const QList<quint32> indexes = runs.first().glyphIndexes();
    for (qsizetype k = 0; k <= sample.size(); ++k) {
        if (std::abs(typeset.line().cursorToX(k) - k * advance) > 1e-3) {
            return result;
        }
        if (k < sample.size() && indexes[k] != indexes[sample[k].unicode() - 0x20]) {
            return result;
        }
    }
    result.usable = advance > 0;
    result.advance = advance;
    result.font = runs.first().rawFont();
    for (qsizetype k = 0; k < tableSize; ++k) {
        result.glyph[k] = indexes[k];
    }
    return result;
}

// The table of one font, measured on first use (the editor and line-number fonts).
const AsciiGlyphs &asciiGlyphs(const QFont &font)
{
    static QHash<QString, AsciiGlyphs> tables;
    const QString key = font.key();
    auto found = tables.find(key);
    if (found == tables.end()) {
        found = tables.insert(key, measureAsciiGlyphs(font));
    }
    return found.value();
}

struct Settings
{
    std::optional<int> tabWidth;
    std::optional<bool> showWhitespace;
};

struct LayoutCache
{
    QHash<QString, std::shared_ptr<const LineLayout>> layouts;
    Settings settings;
};

LayoutCache &layoutCache()
{
    static LayoutCache cache;
    static const bool observing = [] {
        Preferences &preferences = Preferences::instance();
        // Any change may be the tab width (or another value a layout depends on): start afresh.
        QObject::connect(&preferences, &Preferences::changed, &preferences, [](const QString &) {
            layoutCache().layouts.clear();
            layoutCache().settings = {};
        });
        return true;
    }();
    Q_UNUSED(observing);
    return cache;
}

} // namespace

const QFont &editorFont()
{
    static const QFont font = [] {
        const QStringList families = QFontDatabase::families();
        for (const QString &name : {QStringLiteral("SFMono-Regular"), QStringLiteral("SF Mono")}) {
            if (families.contains(name)) {
                QFont named(name);
                named.setPixelSize(int(editorPixelSize));
                named.setStyleHint(QFont::Monospace);
                return named;
            }
        }
        return monospaced(editorPixelSize);
    }();
    return font;
}

const QFont &lineNumberFont()
{
    static const QFont font = monospaced(lineNumberPixelSize);
    return font;
}

int tabWidth()
{
    Settings &settings = layoutCache().settings;
    if (!settings.tabWidth) {
        bool ok = false;
        const qint64 width = Preferences::instance().value(QStringLiteral("tabWidth")).toLongLong(&ok);
        settings.tabWidth = ok ? int(std::clamp<qint64>(width, 1, 16)) : 4;
    }
    return *settings.tabWidth;
}

bool showWhitespace()
{
    Settings &settings = layoutCache().settings;
    if (!settings.showWhitespace) {
        const QString key = QStringLiteral("showWhitespace");
        Preferences &preferences = Preferences::instance();
        settings.showWhitespace = preferences.value(key).isValid() ? preferences.boolValue(key) : true;
    }
    return *settings.showWhitespace;
}

QString expandTabs(const QString &line, int width)
{
    if (!line.contains(u'\t')) {
        return line;
    }
    QString expanded;
    expanded.reserve(line.size() + 4 * width);
    qint64 column = 0;
    forEachCharacter(line, [&](QStringView character) {
        if (character == u"\t") {
            const qint64 spaces = width - column % width;
            expanded.append(QString(spaces, u' '));
            column += spaces;
        } else {
            expanded.append(character);
            ++column;
        }
        return true;
    });
    return expanded;
}

QString expandTabs(const QString &line)
{
    return expandTabs(line, tabWidth());
}

qint64 visualColumn(QStringView line, qint64 characters, int width)
{
    qint64 column = 0;
    qint64 index = 0;
    forEachCharacter(line, [&](QStringView character) {
        if (index >= characters) {
            return false;
        }
        column = character == u"\t" ? (column / width + 1) * width : column + 1;
        ++index;
        return true;
    });
    return column;
}

LineLayout::LineLayout(const QString &expanded, const QFont &font)
{
    if (!expanded.isEmpty() && isPrintableAscii(expanded) && asciiGlyphs(font).usable) {
        layOutPrintableAscii(expanded, asciiGlyphs(font));
    } else if (!expanded.isEmpty()) {
        const ShownLine shown = shownLine(expanded);
        layOutPieces(shown.text, font, shown.emoji);
    }
}

void LineLayout::layOutPrintableAscii(const QString &expanded, const AsciiGlyphs &ascii)
{
    m_count = expanded.size() + 1;
    m_advance = ascii.advance;
    for (qsizetype start = 0; start < expanded.size(); start += pieceLength) {
        const qsizetype end = std::min(start + pieceLength, expanded.size());
        QList<quint32> indexes;
        QList<QPointF> positions;
        indexes.reserve(end - start);
        positions.reserve(end - start);
        for (qsizetype k = start; k < end; ++k) {
            indexes.append(ascii.glyph[expanded[k].unicode() - 0x20]);
            positions.append(QPointF(k * m_advance, 0));
        }
        QGlyphRun run;
        run.setRawFont(ascii.font);
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        m_pieces.push_back(Piece{start * m_advance, end * m_advance, {run}});
    }
}

void LineLayout::layOutPieces(const QString &expanded, const QFont &font, const std::vector<bool> &emoji)
{
    const QList<qsizetype> bounds = grapheme::boundaries(expanded);
    const qsizetype characters = bounds.size() - 1;
    m_count = characters + 1;
    m_offsets.assign(size_t(m_count), 0.0);
    double x = 0;
    qsizetype start = 0;
    while (start < characters) {
        qsizetype end = std::min(start + pieceLength, characters);
        if (end < characters) {
            // End after a space where one is near, so words keep their shaping.
            for (qsizetype k = end; k > end - pieceCutLookBack && k > start + 1; --k) {
                if (expanded[bounds[k] - 1] == u' ') {
                    end = k;
                    break;
                }
            }
        }
        const qsizetype from = bounds[start];
        QList<QTextLayout::FormatRange> formats;
        for (qsizetype k = start; k < end && !emoji.empty(); ++k) {
            if (emoji[size_t(k)]) {
                QTextLayout::FormatRange range;
                range.start = int(bounds[k] - from);
                range.length = int(bounds[k + 1] - bounds[k]);
                range.format.setFontFamilies({emojiFamily()});
                formats.append(range);
            }
        }
        const TypesetLine typeset(expanded.mid(from, bounds[end] - from), font, formats);
        for (qsizetype k = start; k < end; ++k) {
            m_offsets[size_t(k)] = x + typeset.line().cursorToX(int(bounds[k] - from));
        }
        const double endX = x + typeset.line().cursorToX(int(bounds[end] - from));
        m_pieces.push_back(Piece{x, endX, typeset.runsAt(x)});
        x = endX;
        start = end;
    }
    m_offsets[size_t(characters)] = x;
}

double LineLayout::offset(qsizetype index) const
{
    return m_offsets.empty() ? index * m_advance : m_offsets[size_t(index)];
}

qsizetype LineLayout::charIndex(double x) const
{
    const qsizetype n = m_count;
    if (n < 2) {
        return 0;
    }
    qsizetype lo = 0;
    qsizetype hi = n - 1;  // the last index when no offset reaches x
    while (lo < hi) {
        const qsizetype mid = (lo + hi) / 2;
        if (offset(mid) >= x) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    const qsizetype k = lo;
    if (k == 0) {
        return 0;
    }
    return x - offset(k - 1) < offset(k) - x ? k - 1 : k;
}

void LineLayout::draw(QPainter &painter, const QPointF &origin, double minX, double maxX) const
{
    for (const Piece &piece : m_pieces) {
        if (piece.endX < minX || piece.startX > maxX) {
            continue;
        }
        for (const QGlyphRun &run : piece.runs) {
            painter.drawGlyphRun(origin, run);
        }
    }
}

QList<QGlyphRun> LineLayout::glyphRuns() const
{
    QList<QGlyphRun> runs;
    for (const Piece &piece : m_pieces) {
        runs += piece.runs;
    }
    return runs;
}

std::shared_ptr<const LineLayout> getLayout(const QString &line)
{
    LayoutCache &cache = layoutCache();
    if (const auto found = cache.layouts.constFind(line); found != cache.layouts.constEnd()) {
        return found.value();
    }
    auto layout = std::make_shared<const LineLayout>(expandTabs(line), editorFont());
    if (cache.layouts.size() >= cacheLimit) {
        cache.layouts.clear();
    }
    cache.layouts.insert(line, layout);
    return layout;
}

qsizetype layoutCacheSize()
{
    return layoutCache().layouts.size();
}

void clearLayoutCache()
{
    layoutCache().layouts.clear();
}

} // namespace vesk
