#pragma once

#include "syntax/highlight_style.h"
#include "text/vesk_node.h"

#include <tree_sitter/api.h>

#include <QRegularExpression>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace vesk {

struct SyntaxLanguage;

// A language's highlight query, compiled once: which style each capture gives, and the text
// predicates (#eq?, #match?, #any-of? and their negations) that Tree-sitter leaves to its user.
//
// Where captures overlap, the innermost node wins, and between patterns that capture the same
// node, the last pattern wins: the grammars' queries state the general rule first ("every
// identifier is a variable") and the special cases after it.
class HighlightQuery
{
public:
    struct Span
    {
        qint64 start = 0;  // UTF-16 units of the whole text
        qint64 end = 0;
        HighlightStyle style = HighlightStyle::none;
        bool operator==(const Span &) const = default;
    };

    // The language's query, compiled on first use; null when its query does not compile. Main
    // thread.
    static const HighlightQuery *forLanguage(const SyntaxLanguage &language);
    // Compiles `source` for `grammar`; the error's byte offset when it fails.
    static std::unique_ptr<HighlightQuery> compile(const TSLanguage *grammar, const QByteArray &source,
                                                   uint32_t *errorOffset = nullptr);

    HighlightQuery(const HighlightQuery &) = delete;
    HighlightQuery &operator=(const HighlightQuery &) = delete;
    ~HighlightQuery();

    // The styled pieces of the units [from, to) of `text`, which `tree` describes: in order,
    // without overlaps, clipped to the range; unstyled stretches are left out.
    std::vector<Span> spans(const TSTree *tree, const VeskNode &text, qint64 from, qint64 to) const;

    uint32_t patternCount() const;

private:
    struct Predicate
    {
        enum class Kind { equal, match, anyOf };
        Kind kind = Kind::equal;
        bool negated = false;
        uint32_t capture = 0;
        std::optional<uint32_t> otherCapture;  // #eq? between two captures
        QStringList values;
        QRegularExpression regex;
    };

    explicit HighlightQuery(TSQuery *query);
    void readPredicates();
    bool predicatesHold(const TSQueryMatch &match, const VeskNode &text) const;

    TSQuery *m_query = nullptr;
    TSQueryCursor *m_cursor = nullptr;
    std::vector<HighlightStyle> m_styles;  // per capture id
    std::vector<bool> m_paints;            // false for helper captures ("@_name")
    std::vector<std::vector<Predicate>> m_predicates;  // per pattern
};

} // namespace vesk
