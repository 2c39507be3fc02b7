#include "editor/ui/editor_syntax.h"

#include "editor/editor_view_model.h"
#include "editor/ui/line_layout.h"
#include "platform/preferences.h"
#include "syntax/language_table.h"
#include "syntax/tree_input.h"

namespace vesk {

namespace {

constexpr qint64 firstLineProbe = 256;  // units read for a "#!" line

const QString &preferenceKey()
{
    static const QString key = QStringLiteral("syntaxHighlighting");
    return key;
}

} // namespace

std::vector<SyntaxRun> syntaxRuns(const QString &line, const SyntaxHighlighter::LineSpans &spans, int tabWidth)
{
    std::vector<SyntaxRun> runs;
    if (spans.empty()) {
        return runs;
    }
    auto span = spans.begin();
    qsizetype unit = 0;
    qint64 column = 0;
    forEachCharacter(line, [&](QStringView character) {
        while (span != spans.end() && span->end <= unit) {
            ++span;
        }
        const HighlightStyle style = span != spans.end() && span->start <= unit ? span->style : HighlightStyle::none;
        const qint64 next = character == u"\t" ? (column / tabWidth + 1) * tabWidth : column + 1;
        if (!runs.empty() && runs.back().style == style) {
            runs.back().end = next;
        } else {
            runs.push_back(SyntaxRun{column, next, style});
        }
        unit += character.size();
        column = next;
        return true;
    });
    if (runs.size() == 1 && runs.front().style == HighlightStyle::none) {
        runs.clear();
    }
    return runs;
}

EditorSyntax::EditorSyntax(EditorViewModel *editor)
    : QObject(editor)
    , m_editor(editor)
    , m_highlighter(new SyntaxHighlighter(this))
{
    setObjectName(QStringLiteral("editorSyntax"));
    connect(m_highlighter, &SyntaxHighlighter::highlightsChanged, this, &EditorSyntax::changed);
    // Parsing starts with the edit, not with the next frame.
    connect(editor, &EditorViewModel::willChange, this, [this] {
        QMetaObject::invokeMethod(this, &EditorSyntax::sync, Qt::QueuedConnection);
    });
    connect(&Preferences::instance(), &Preferences::changed, this, [this](const QString &key) {
        if (key == preferenceKey()) {
            m_preference.reset();
            sync();
            Q_EMIT changed();
        }
    });
    sync();
}

EditorSyntax *EditorSyntax::of(EditorViewModel *editor)
{
    if (!editor) {
        return nullptr;
    }
    if (auto *existing = editor->findChild<EditorSyntax *>(QString(), Qt::FindDirectChildrenOnly)) {
        return existing;
    }
    return new EditorSyntax(editor);
}

bool EditorSyntax::isEnabled() const
{
    if (!m_preference) {
        const Preferences &preferences = Preferences::instance();
        m_preference = preferences.value(preferenceKey()).isValid() ? preferences.boolValue(preferenceKey()) : true;
    }
    return *m_preference;
}

const SyntaxLanguage *EditorSyntax::detectLanguage() const
{
    const QString name = m_path ? *m_path : m_editor->currentFileName();
    if (const SyntaxLanguage *byName = LanguageTable::forFileName(name)) {
        return byName;
    }
    const VeskNode &text = *m_editor->document()->vesk();
    QString first = TreeUnits::textOfUnits(text, 0, firstLineProbe);
    const qsizetype end = first.indexOf(QChar(u'\n'));
    return LanguageTable::forFirstLine(end < 0 ? first : first.left(end));
}

void EditorSyntax::sync()
{
    if (!m_editor) {
        return;
    }
    const VeskDocument *document = m_editor->document();
    const VeskNodePtr &root = document->vesk();
    const bool enabled = isEnabled();
    if (!enabled) {
        m_enabled = false;
        m_highlighter->setLanguage(nullptr);
        return;
    }
    const bool newText = document != m_document || m_editor->currentFilePath() != m_path;
    if (newText) {
        // Another file or a reload: start over rather than treat it as one edit.
        m_highlighter->setLanguage(nullptr);
    }
    if (newText || !m_enabled || (m_byFirstLine && root != m_detectedOn)) {
        m_document = document;
        m_path = m_editor->currentFilePath();
        m_enabled = true;
        m_detectedOn = root;
        const QString name = m_path ? *m_path : m_editor->currentFileName();
        m_byFirstLine = LanguageTable::forFileName(name) == nullptr;
        const SyntaxLanguage *language = detectLanguage();
        if (language != m_highlighter->language()) {
            m_highlighter->setLanguage(nullptr);
            m_highlighter->setText(root);
            m_highlighter->setLanguage(language);
        }
    }
    m_highlighter->setText(root);
}

std::optional<QString> EditorSyntax::note() const
{
    if (isEnabled() && m_highlighter->isTooLarge()) {
        return QStringLiteral("Syntax highlighting off — file too large");
    }
    return std::nullopt;
}

std::vector<SyntaxRun> EditorSyntax::runs(qint64 line, const QString &text)
{
    if (!m_enabled || text.isEmpty()) {
        return {};
    }
    return syntaxRuns(text, m_highlighter->lineSpans(line), tabWidth());
}

} // namespace vesk
