#pragma once

#include "syntax/highlight_style.h"
#include "text/vesk_node.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <unordered_map>
#include <vector>

struct TSTree;
struct TSParser;
struct TSInputEdit;

namespace vesk {

class HighlightQuery;
struct SyntaxLanguage;

// Colours one text by its syntax. Follows the versions of the text it is given: each new version
// is compared with the last to find the one edited range, the current syntax tree is shifted by
// that edit at once (so every line keeps its colours, moved with the text), and a re-parse runs
// on a pool thread from a snapshot of the text tree once the edits pause. When the parse comes
// back, the edits made meanwhile are applied to it and it replaces the shifted tree;
// highlightsChanged() then asks the views to repaint. One parse runs at a time; edits during it
// are parsed next, together.
//
// Captures are queried for the lines a view shows and cached per line until the tree or the
// text changes there. Main thread.
class SyntaxHighlighter : public QObject
{
    Q_OBJECT

public:
    // Texts larger than this (in UTF-16 units, about 20 MB) or with a line longer than
    // maxLineUnits are not highlighted: parsing them would cost more than colour is worth.
    static constexpr qint64 maxUnits = 20'000'000;
    static constexpr qint64 maxLineUnits = 100'000;
    // A re-parse waits for this pause in the edits, so that a burst of typing costs one parse
    // rather than one per key (the lines keep their shifted colours meanwhile).
    static constexpr int reparseDelayMs = 25;

    struct LineSpan
    {
        qsizetype start = 0;  // UTF-16 units within the line's text
        qsizetype end = 0;
        HighlightStyle style = HighlightStyle::none;
        bool operator==(const LineSpan &) const = default;
    };
    using LineSpans = std::vector<LineSpan>;

    explicit SyntaxHighlighter(QObject *parent = nullptr);
    ~SyntaxHighlighter() override;

    // The language to colour in; null for none, which drops the tree.
    void setLanguage(const SyntaxLanguage *language);
    const SyntaxLanguage *language() const { return m_language; }
    // The text as it is now. Cheap when it is the version given last.
    void setText(const VeskNodePtr &root);

    // The text is too large to highlight (known once the first parse looked at it).
    bool isTooLarge() const { return m_tooLarge; }
    // A parse is running or due.
    bool isParsing() const { return m_parsing; }
    // How many parses have come back since the language was set.
    quint64 parseCount() const { return m_parseCount; }

    // Starts the due re-parse now rather than after the pause in the edits.
    void startParse();

    // The styled pieces of one line of the current text (lines as the document counts them).
    const LineSpans &lineSpans(qint64 line);
    // Fills the cache for lines first…last with one query.
    void prepareLines(qint64 first, qint64 last);

    // The current tree, shifted by the edits not parsed yet; null before the first parse.
    const TSTree *tree() const { return m_tree.get(); }
    // The S-expression of the current tree.
    QString treeString() const;

Q_SIGNALS:
    // New colours: a parse came back, or the language or the size verdict changed.
    void highlightsChanged();

private:
    struct ParseResult;
    void scheduleParse();
    void takeResult(ParseResult result);
    void resetTree();
    bool markIfTooLarge();
    void dropLinesFrom(qint64 line);

    const SyntaxLanguage *m_language = nullptr;
    const HighlightQuery *m_query = nullptr;
    VeskNodePtr m_root;
    std::shared_ptr<TSTree> m_tree;  // describes m_root, shifted by edits not parsed yet
    std::shared_ptr<TSParser> m_parser;

    quint64 m_version = 0;       // of m_root
    quint64 m_languageEpoch = 0;  // results of an earlier language are dropped
    struct PendingEdit;
    std::vector<PendingEdit> m_edits;  // made while a parse runs
    QTimer m_delay;
    bool m_parsing = false;
    bool m_jobRunning = false;
    bool m_tooLarge = false;
    bool m_linesChecked = false;
    quint64 m_parseCount = 0;

    std::unordered_map<qint64, LineSpans> m_lines;
};

} // namespace vesk
