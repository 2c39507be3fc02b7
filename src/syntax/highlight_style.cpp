#include "syntax/highlight_style.h"

#include <QLatin1StringView>

#include <utility>

namespace vesk {

namespace {

using Style = HighlightStyle;

constexpr std::pair<const char *, Style> knownCaptures[] = {
    {"keyword", Style::keyword},
    {"conditional", Style::keyword},
    {"repeat", Style::keyword},
    {"include", Style::keyword},
    {"exception", Style::keyword},
    {"string", Style::string},
    {"string.escape", Style::escape},
    {"string.special.key", Style::property},
    {"character", Style::string},
    {"escape", Style::escape},
    {"comment", Style::comment},
    {"type", Style::type},
    {"constructor", Style::type},
    {"namespace", Style::type},
    {"module", Style::type},
    {"function", Style::function},
    {"method", Style::function},
    {"number", Style::number},
    {"float", Style::number},
    {"boolean", Style::constant},
    {"constant", Style::constant},
    {"operator", Style::operatorSign},
    {"punctuation", Style::punctuation},
    {"delimiter", Style::punctuation},
    {"variable", Style::none},
    {"variable.builtin", Style::variableBuiltin},
    {"property", Style::property},
    {"field", Style::property},
    {"tag", Style::tag},
    {"attribute", Style::attribute},
    {"label", Style::label},
    {"text.title", Style::heading},
    {"markup.heading", Style::heading},
    {"text.literal", Style::string},
    {"markup.raw", Style::string},
    {"text.uri", Style::link},
    {"text.reference", Style::link},
    {"markup.link", Style::link},
};

} // namespace

HighlightStyle highlightStyleForCapture(QStringView name)
{
    if (name.startsWith(u'_')) {
        return Style::none;
    }
    while (!name.isEmpty()) {
        for (const auto &[known, style] : knownCaptures) {
            if (name == QLatin1StringView(known)) {
                return style;
            }
        }
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot < 0) {
            break;
        }
        name = name.left(dot);
    }
    return Style::none;
}

} // namespace vesk
