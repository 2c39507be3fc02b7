#pragma once

#include "syntax/syntax_highlighter.h"
#include "text/vesk_document.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>
#include <vector>

namespace vesk {

class EditorViewModel;

// A run of one line drawn in one highlight style, in visual columns (tabs expanded); the last
// run of a line reaches to its end.
struct SyntaxRun
{
    qint64 start = 0;
    qint64 end = 0;
    HighlightStyle style = HighlightStyle::none;
    bool operator==(const SyntaxRun &) const = default;
};

// Turns a line's styled pieces (UTF-16 units) into runs over its visual columns, a tab running
// to the next multiple of `tabWidth`. Covers the whole line; empty when nothing is styled.
std::vector<SyntaxRun> syntaxRuns(const QString &line, const SyntaxHighlighter::LineSpans &spans, int tabWidth);

// The syntax highlighting of one editor, shared by the views that show it (the canvas draws the
// colours, the status row tells when a file is too large for them). Lives as a child of the
// editor; follows its file name, its document and the `syntaxHighlighting` preference.
class EditorSyntax : public QObject
{
    Q_OBJECT

public:
    static EditorSyntax *of(EditorViewModel *editor);

    SyntaxHighlighter &highlighter() { return *m_highlighter; }
    // Brings the highlighter up to date; cheap when nothing changed. Views call it before they
    // read colours, so a frame never shows colours of another text.
    void sync();
    bool isEnabled() const;

    // What the status row says about highlighting, if anything.
    std::optional<QString> note() const;

    // The runs of a document line as it reads now; empty when it is not highlighted.
    std::vector<SyntaxRun> runs(qint64 line, const QString &text);

Q_SIGNALS:
    void changed();

private:
    explicit EditorSyntax(EditorViewModel *editor);
    const SyntaxLanguage *detectLanguage() const;

    QPointer<EditorViewModel> m_editor;
    SyntaxHighlighter *m_highlighter;
    QPointer<const VeskDocument> m_document;  // null once gone, so a new one at its address is new
    std::optional<QString> m_path;
    mutable std::optional<bool> m_preference;  // `syntaxHighlighting`, read again after it changes
    bool m_enabled = false;
    bool m_byFirstLine = false;  // the language may change as the first line does
    VeskNodePtr m_detectedOn;
};

} // namespace vesk
