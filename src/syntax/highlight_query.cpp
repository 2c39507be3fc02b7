#include "syntax/highlight_query.h"

#include "syntax/language_table.h"
#include "syntax/tree_input.h"

#include <QFile>
#include <QHash>

#include <algorithm>

namespace vesk {

namespace {

struct Capture
{
    qint64 start;
    qint64 end;
    uint32_t pattern;
    HighlightStyle style;
};

QString captureText(const TSNode &node, const VeskNode &text)
{
    return TreeUnits::textOfUnits(text, ts_node_start_byte(node) / 2, ts_node_end_byte(node) / 2);
}

} // namespace

HighlightQuery::HighlightQuery(TSQuery *query)
    : m_query(query)
    , m_cursor(ts_query_cursor_new())
{
    const uint32_t captures = ts_query_capture_count(query);
    for (uint32_t id = 0; id < captures; ++id) {
        uint32_t length = 0;
        const char *name = ts_query_capture_name_for_id(query, id, &length);
        const QString captureName = QString::fromUtf8(name, qsizetype(length));
        m_styles.push_back(highlightStyleForCapture(captureName));
        m_paints.push_back(!captureName.startsWith(u'_'));
    }
    readPredicates();
}

HighlightQuery::~HighlightQuery()
{
    ts_query_cursor_delete(m_cursor);
    ts_query_delete(m_query);
}

std::unique_ptr<HighlightQuery> HighlightQuery::compile(const TSLanguage *grammar, const QByteArray &source,
                                                        uint32_t *errorOffset)
{
    uint32_t offset = 0;
    TSQueryError error = TSQueryErrorNone;
    TSQuery *query = ts_query_new(grammar, source.constData(), uint32_t(source.size()), &offset, &error);
    if (errorOffset) {
        *errorOffset = offset;
    }
    if (!query) {
        return nullptr;
    }
    return std::unique_ptr<HighlightQuery>(new HighlightQuery(query));
}

const HighlightQuery *HighlightQuery::forLanguage(const SyntaxLanguage &language)
{
    static QHash<const SyntaxLanguage *, std::shared_ptr<HighlightQuery>> compiled;
    const auto found = compiled.constFind(&language);
    if (found != compiled.cend()) {
        return found->get();
    }
    QByteArray source;
    for (const QString &path : language.queryFiles) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            source += file.readAll();
            source += '\n';
        }
    }
    std::shared_ptr<HighlightQuery> query = compile(language.grammar(), source);
    compiled.insert(&language, query);
    return query.get();
}

uint32_t HighlightQuery::patternCount() const
{
    return ts_query_pattern_count(m_query);
}

void HighlightQuery::readPredicates()
{
    const uint32_t patterns = ts_query_pattern_count(m_query);
    m_predicates.resize(patterns);
    for (uint32_t pattern = 0; pattern < patterns; ++pattern) {
        uint32_t count = 0;
        const TSQueryPredicateStep *steps = ts_query_predicates_for_pattern(m_query, pattern, &count);
        uint32_t k = 0;
        while (k < count) {
            uint32_t end = k;
            while (end < count && steps[end].type != TSQueryPredicateStepTypeDone) {
                ++end;
            }
            const auto stringAt = [&](uint32_t i) {
                uint32_t length = 0;
                const char *value = ts_query_string_value_for_id(m_query, steps[i].value_id, &length);
                return QString::fromUtf8(value, qsizetype(length));
            };
            // name, capture, arguments...
            if (end - k >= 3 && steps[k].type == TSQueryPredicateStepTypeString
                && steps[k + 1].type == TSQueryPredicateStepTypeCapture) {
                QString name = stringAt(k);
                Predicate predicate;
                predicate.capture = steps[k + 1].value_id;
                predicate.negated = name.startsWith(QLatin1StringView("not-"));
                if (predicate.negated) {
                    name = name.mid(4);
                }
                for (uint32_t i = k + 2; i < end; ++i) {
                    if (steps[i].type == TSQueryPredicateStepTypeCapture) {
                        predicate.otherCapture = steps[i].value_id;
                    } else {
                        predicate.values.append(stringAt(i));
                    }
                }
                bool known = true;
                if (name == u"eq?") {
                    predicate.kind = Predicate::Kind::equal;
                } else if (name == u"match?" || name == u"lua-match?") {
                    predicate.kind = Predicate::Kind::match;
                    predicate.regex = QRegularExpression(predicate.values.value(0));
                } else if (name == u"any-of?") {
                    predicate.kind = Predicate::Kind::anyOf;
                } else {
                    known = false;  // properties such as #is-not? local: nothing to check here
                }
                if (known) {
                    m_predicates[pattern].push_back(std::move(predicate));
                }
            }
            k = end + 1;
        }
    }
}

bool HighlightQuery::predicatesHold(const TSQueryMatch &match, const VeskNode &text) const
{
    for (const Predicate &predicate : m_predicates[match.pattern_index]) {
        for (uint16_t c = 0; c < match.capture_count; ++c) {
            if (match.captures[c].index != predicate.capture) {
                continue;
            }
            const QString value = captureText(match.captures[c].node, text);
            bool holds = false;
            switch (predicate.kind) {
            case Predicate::Kind::equal:
                if (predicate.otherCapture) {
                    for (uint16_t o = 0; o < match.capture_count; ++o) {
                        if (match.captures[o].index == *predicate.otherCapture) {
                            holds = value == captureText(match.captures[o].node, text);
                        }
                    }
                } else {
                    holds = value == predicate.values.value(0);
                }
                break;
            case Predicate::Kind::match:
                holds = predicate.regex.match(value).hasMatch();
                break;
            case Predicate::Kind::anyOf:
                holds = predicate.values.contains(value);
                break;
            }
            if (holds == predicate.negated) {
                return false;
            }
        }
    }
    return true;
}

std::vector<HighlightQuery::Span> HighlightQuery::spans(const TSTree *tree, const VeskNode &text, qint64 from,
                                                        qint64 to) const
{
    std::vector<Span> out;
    if (!tree || to <= from) {
        return out;
    }
    ts_query_cursor_set_byte_range(m_cursor, uint32_t(2 * from), uint32_t(2 * to));
    ts_query_cursor_exec(m_cursor, m_query, ts_tree_root_node(tree));
    std::vector<Capture> captures;
    TSQueryMatch match;
    uint32_t index = 0;
    QHash<uint32_t, bool> holds;  // per match id: predicates are checked once per match
    while (ts_query_cursor_next_capture(m_cursor, &match, &index)) {
        const TSQueryCapture &capture = match.captures[index];
        if (!m_paints[capture.index]) {
            continue;
        }
        if (!m_predicates[match.pattern_index].empty()) {
            auto known = holds.find(match.id);
            if (known == holds.end()) {
                known = holds.insert(match.id, predicatesHold(match, text));
            }
            if (!*known) {
                continue;
            }
        }
        const qint64 start = ts_node_start_byte(capture.node) / 2;
        const qint64 end = ts_node_end_byte(capture.node) / 2;
        if (end > from && start < to && end > start) {
            captures.push_back(Capture{start, end, match.pattern_index, m_styles[capture.index]});
        }
    }
    // Outer nodes first so that inner ones paint over them; for one node, the last pattern.
    std::stable_sort(captures.begin(), captures.end(), [](const Capture &a, const Capture &b) {
        if (a.start != b.start) {
            return a.start < b.start;
        }
        if (a.end != b.end) {
            return a.end > b.end;
        }
        return a.pattern > b.pattern;
    });
    std::vector<HighlightStyle> styles(size_t(to - from), HighlightStyle::none);
    const Capture *previous = nullptr;
    for (const Capture &capture : captures) {
        if (previous && previous->start == capture.start && previous->end == capture.end) {
            continue;
        }
        previous = &capture;
        std::fill(styles.begin() + (std::max(capture.start, from) - from),
                  styles.begin() + (std::min(capture.end, to) - from), capture.style);
    }
    for (size_t i = 0; i < styles.size();) {
        size_t j = i + 1;
        while (j < styles.size() && styles[j] == styles[i]) {
            ++j;
        }
        if (styles[i] != HighlightStyle::none) {
            out.push_back(Span{from + qint64(i), from + qint64(j), styles[i]});
        }
        i = j;
    }
    return out;
}

} // namespace vesk
