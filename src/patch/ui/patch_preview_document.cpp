#include "patch/ui/patch_preview_document.h"

#include "editor/ui/editor_colors.h"

#include <QFontDatabase>
#include <QPalette>
#include <QPlainTextDocumentLayout>
#include <QTextCursor>
#include <QTextDocument>

namespace vesk {

namespace {

QFont monospaced(int points, QFont::Weight weight = QFont::Normal)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(points);
    font.setWeight(weight);
    return font;
}

// The greens and reds of changed text: dark enough on a light background, lifted on a dark one.
QColor addedText(const QPalette &palette)
{
    return isDarkPalette(palette) ? QColor::fromRgbF(0.45f, 0.85f, 0.45f) : QColor::fromRgbF(0.2f, 0.6f, 0.2f);
}

QColor removedText(const QPalette &palette)
{
    return isDarkPalette(palette) ? QColor::fromRgbF(0.95f, 0.45f, 0.42f) : QColor::fromRgbF(0.7f, 0.2f, 0.2f);
}

QString number(const std::optional<qint64> &value)
{
    return value ? QStringLiteral("%1").arg(*value, 4) : QStringLiteral("    ");
}

// Every marker fills two columns and a space, so the text of all kinds of line lines up.
QString marker(PreviewLine::Type type)
{
    switch (type) {
    case PreviewLine::Type::hunkHeader: return QStringLiteral("@@ ");
    case PreviewLine::Type::addition: return QStringLiteral("+  ");
    case PreviewLine::Type::deletion: return QStringLiteral("\u2212  ");
    case PreviewLine::Type::fileHeader:
    case PreviewLine::Type::context: return QStringLiteral("   ");
    }
    return QStringLiteral("   ");
}

QTextCharFormat charFormat(const QFont &font, const QColor &foreground, const QColor &background)
{
    QTextCharFormat format;
    format.setFont(font);
    format.setForeground(foreground);
    if (background.alpha() > 0) {
        format.setBackground(background);
    }
    return format;
}

QTextBlockFormat blockFormat(const QColor &background)
{
    QTextBlockFormat format;
    if (background.alpha() > 0) {
        format.setBackground(background);
    }
    return format;
}

// Formats built once per line kind: a large diff has thousands of lines of five kinds.
struct KindFormats
{
    QTextBlockFormat block;
    QTextCharFormat gutter, marker, text;
};

KindFormats diffFormats(PreviewLine::Type type, const QPalette &palette)
{
    const PreviewLineColors colors = previewLineColors(type, palette);
    return {blockFormat(colors.lineBackground), charFormat(monospaced(11), colors.gutterText, colors.gutterBackground),
            charFormat(monospaced(12, QFont::Medium), colors.marker, Qt::transparent),
            charFormat(monospaced(12), colors.text, Qt::transparent)};
}

KindFormats wholeFileFormats(bool added, const QPalette &palette)
{
    const QColor foreground = added ? addedText(palette) : labelColor(palette);
    const QColor background = added ? withAlpha(systemColor(SystemColor::green, palette), 0.08) : Qt::transparent;
    const QTextCharFormat format = charFormat(monospaced(12), foreground, Qt::transparent);
    return {blockFormat(background), format, format, format};
}

} // namespace

PreviewLineColors previewLineColors(PreviewLine::Type type, const QPalette &palette)
{
    const QColor secondary = secondaryLabelColor(palette);
    const QColor window = withAlpha(windowBackgroundColor(palette), 0.5);
    switch (type) {
    case PreviewLine::Type::fileHeader:
        return {secondary, window, secondary, secondary, withAlpha(secondary, 0.05)};
    case PreviewLine::Type::hunkHeader: {
        const QColor blue = systemColor(SystemColor::blue, palette);
        return {blue, withAlpha(blue, 0.06), blue, blue, withAlpha(blue, 0.08)};
    }
    case PreviewLine::Type::addition: {
        const QColor green = systemColor(SystemColor::green, palette);
        return {withAlpha(green, 0.7), withAlpha(green, 0.08), addedText(palette), addedText(palette),
                withAlpha(green, 0.12)};
    }
    case PreviewLine::Type::deletion: {
        const QColor red = systemColor(SystemColor::red, palette);
        return {withAlpha(red, 0.7), withAlpha(red, 0.08), removedText(palette), removedText(palette),
                withAlpha(red, 0.12)};
    }
    case PreviewLine::Type::context:
        break;
    }
    return {withAlpha(secondary, 0.6), window, labelColor(palette), Qt::transparent, Qt::transparent};
}

QString previewGutter(const PreviewLine &line)
{
    return number(line.oldNum) + u' ' + number(line.newNum) + QStringLiteral("  ");
}

QTextDocument *buildPreviewDocument(const PreviewText &text, PreviewStyle style, const QPalette &palette,
                                    QObject *parent)
{
    auto *document = new QTextDocument(parent);
    document->setUndoRedoEnabled(false);
    document->setDocumentLayout(new QPlainTextDocumentLayout(document));
    document->setDefaultFont(monospaced(12));

    KindFormats formats[5];
    for (int type = 0; type < 5; ++type) {
        const auto kind = PreviewLine::Type(type);
        formats[type] = style == PreviewStyle::diff ? diffFormats(kind, palette)
                                                    : wholeFileFormats(kind == PreviewLine::Type::addition, palette);
    }
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    bool first = true;
    for (const PreviewLine &line : text.lines) {
        const KindFormats &format = formats[int(line.type)];
        if (first) {
            cursor.setBlockFormat(format.block);
            first = false;
        } else {
            cursor.insertBlock(format.block);
        }
        if (style == PreviewStyle::diff) {
            cursor.insertText(previewGutter(line), format.gutter);
            cursor.insertText(marker(line.type), format.marker);
            cursor.insertText(line.content, format.text);
        } else {
            const QString mark = line.type == PreviewLine::Type::addition ? QStringLiteral("+ ") : QStringLiteral("  ");
            cursor.insertText(number(line.newNum) + QStringLiteral("  ") + mark + line.content, format.text);
        }
    }
    cursor.endEditBlock();
    return document;
}

} // namespace vesk
