#include "syntax/syntax_highlighter.h"

#include "platform/background.h"
#include "syntax/highlight_query.h"
#include "syntax/language_table.h"
#include "syntax/tree_input.h"

#include <tree_sitter/api.h>

#include <algorithm>

namespace vesk {

struct SyntaxHighlighter::PendingEdit
{
    quint64 version;
    TSInputEdit edit;
};

struct SyntaxHighlighter::ParseResult
{
    std::shared_ptr<TSTree> tree;
    quint64 version = 0;
    quint64 languageEpoch = 0;
    bool tooLarge = false;
};

namespace {

std::shared_ptr<TSTree> ownTree(TSTree *tree)
{
    return std::shared_ptr<TSTree>(tree, [](TSTree *t) {
        if (t) {
            ts_tree_delete(t);
        }
    });
}

const SyntaxHighlighter::LineSpans &noSpans()
{
    static const SyntaxHighlighter::LineSpans none;
    return none;
}

constexpr size_t maxCachedLines = 4000;
// An edit that inserts more than this may bring an overlong line: the next parse looks again.
constexpr qint64 pasteUnits = 10'000;

} // namespace

SyntaxHighlighter::SyntaxHighlighter(QObject *parent)
    : QObject(parent)
    , m_root(VeskNode::emptyLeaf())
    , m_parser(ts_parser_new(), ts_parser_delete)
{
    m_delay.setSingleShot(true);
    m_delay.setInterval(reparseDelayMs);
    connect(&m_delay, &QTimer::timeout, this, &SyntaxHighlighter::startParse);
}

SyntaxHighlighter::~SyntaxHighlighter() = default;

void SyntaxHighlighter::setLanguage(const SyntaxLanguage *language)
{
    if (language == m_language) {
        return;
    }
    m_language = language;
    m_query = language ? HighlightQuery::forLanguage(*language) : nullptr;
    ++m_languageEpoch;
    m_parseCount = 0;
    m_tooLarge = false;
    m_linesChecked = false;
    resetTree();
    scheduleParse();
    Q_EMIT highlightsChanged();
}

void SyntaxHighlighter::resetTree()
{
    m_tree.reset();
    m_edits.clear();
    m_lines.clear();
}

void SyntaxHighlighter::setText(const VeskNodePtr &root)
{
    if (!root || root == m_root) {
        return;
    }
    const VeskNodePtr before = std::exchange(m_root, root);
    ++m_version;
    if (!m_language || m_tooLarge) {
        return;
    }
    if (markIfTooLarge()) {
        Q_EMIT highlightsChanged();
        return;
    }
    if (m_tree || m_jobRunning) {
        const std::optional<TSInputEdit> edit = TreeUnits::editBetween(before, root);
        if (edit) {
            if (m_tree) {
                ts_tree_edit(m_tree.get(), &*edit);
            }
            if (m_jobRunning) {
                m_edits.push_back(PendingEdit{m_version, *edit});
            }
            dropLinesFrom(TreeUnits::lineOfUnit(*root, edit->start_byte / 2));
            if (edit->new_end_byte - edit->start_byte > 2 * pasteUnits) {
                m_linesChecked = false;
            }
        }
    }
    scheduleParse();
}

bool SyntaxHighlighter::markIfTooLarge()
{
    if (m_root->unitCount() <= maxUnits) {
        return false;
    }
    m_tooLarge = true;
    m_parsing = false;
    resetTree();
    return true;
}

void SyntaxHighlighter::scheduleParse()
{
    if (m_language && !m_tooLarge) {
        markIfTooLarge();
    }
    m_parsing = m_language && m_query && !m_tooLarge;
    if (!m_parsing) {
        m_delay.stop();
        return;
    }
    if (m_jobRunning) {
        return;  // the edits are parsed together when it comes back
    }
    if (!m_tree) {
        startParse();  // the first colours come as soon as they can
    } else {
        m_delay.start();
    }
}

void SyntaxHighlighter::startParse()
{
    if (!m_parsing || m_jobRunning) {
        return;
    }
    m_jobRunning = true;
    m_edits.clear();
    const VeskNodePtr snapshot = m_root;
    const quint64 version = m_version;
    const quint64 epoch = m_languageEpoch;
    const bool checkLines = !m_linesChecked;
    m_linesChecked = true;
    // The worker gets its own copy of the tree, which it may read while this one is edited.
    std::shared_ptr<TSTree> old = m_tree ? ownTree(ts_tree_copy(m_tree.get())) : nullptr;
    std::shared_ptr<TSParser> parser = m_parser;
    const TSLanguage *grammar = m_language->grammar();
    runInBackground<ParseResult>(
        this, WorkPriority::UserInitiated,
        [snapshot, version, epoch, checkLines, old, parser, grammar] {
            ParseResult result;
            result.version = version;
            result.languageEpoch = epoch;
            if (checkLines && TreeUnits::longestLineUnits(*snapshot, maxLineUnits) > maxLineUnits) {
                result.tooLarge = true;
                return result;
            }
            TreeTextInput input(snapshot);
            ts_parser_set_language(parser.get(), grammar);
            result.tree = ownTree(ts_parser_parse(parser.get(), old.get(), input.input()));
            return result;
        },
        [this](ParseResult result) { takeResult(std::move(result)); });
}

void SyntaxHighlighter::takeResult(ParseResult result)
{
    m_jobRunning = false;
    if (result.languageEpoch != m_languageEpoch) {
        scheduleParse();
        return;
    }
    if (result.tooLarge) {
        m_tooLarge = true;
        m_parsing = false;
        resetTree();
        Q_EMIT highlightsChanged();
        return;
    }
    if (m_tooLarge) {
        m_parsing = false;
        return;
    }
    if (result.tree) {
        for (const PendingEdit &pending : m_edits) {
            if (pending.version > result.version) {
                ts_tree_edit(result.tree.get(), &pending.edit);
            }
        }
        m_tree = std::move(result.tree);
        ++m_parseCount;
    }
    m_edits.clear();
    m_lines.clear();
    if (result.version != m_version) {
        scheduleParse();
    } else {
        m_parsing = false;
    }
    Q_EMIT highlightsChanged();
}

void SyntaxHighlighter::dropLinesFrom(qint64 line)
{
    for (auto it = m_lines.begin(); it != m_lines.end();) {
        it = it->first >= line ? m_lines.erase(it) : std::next(it);
    }
}

void SyntaxHighlighter::prepareLines(qint64 first, qint64 last)
{
    if (!m_tree || !m_query) {
        return;
    }
    first = std::max<qint64>(first, 0);
    last = std::min(last, m_root->lines() - 1);
    while (first <= last && m_lines.count(first)) {
        ++first;
    }
    while (last >= first && m_lines.count(last)) {
        --last;
    }
    if (last < first) {
        return;
    }
    if (m_lines.size() > maxCachedLines) {
        m_lines.clear();
    }
    const VeskNode &text = *m_root;
    const qint64 from = TreeUnits::lineStartUnit(text, first);
    const qint64 to = TreeUnits::lineStartUnit(text, last + 1);
    const std::vector<HighlightQuery::Span> spans = m_query->spans(m_tree.get(), text, from, std::max(to, from + 1));
    auto span = spans.begin();
    qint64 lineStart = from;
    for (qint64 line = first; line <= last; ++line) {
        const qint64 next = line == last ? to : TreeUnits::lineStartUnit(text, line + 1);
        LineSpans &out = m_lines[line];
        out.clear();
        while (span != spans.end() && span->end <= lineStart) {
            ++span;
        }
        for (auto s = span; s != spans.end() && s->start < next; ++s) {
            const qint64 start = std::max(s->start, lineStart) - lineStart;
            const qint64 end = std::min(s->end, next) - lineStart;
            if (end > start) {
                out.push_back(LineSpan{qsizetype(start), qsizetype(end), s->style});
            }
        }
        lineStart = next;
    }
}

const SyntaxHighlighter::LineSpans &SyntaxHighlighter::lineSpans(qint64 line)
{
    if (!m_tree || !m_query) {
        return noSpans();
    }
    auto found = m_lines.find(line);
    if (found == m_lines.end()) {
        prepareLines(line, line);
        found = m_lines.find(line);
    }
    return found == m_lines.end() ? noSpans() : found->second;
}

QString SyntaxHighlighter::treeString() const
{
    if (!m_tree) {
        return {};
    }
    char *sexp = ts_node_string(ts_tree_root_node(m_tree.get()));
    QString out = QString::fromUtf8(sexp);
    free(sexp);
    return out;
}

} // namespace vesk
