#include "editor/ui/status_bar_view.h"

#include <QFontMetrics>

#include "editor/ui/bar_style.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/editor_syntax.h"
#include "editor/ui/elided_label.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace vesk {

namespace {

constexpr int iconSize = 12;

} // namespace

StatusBarView::StatusBarView(Kind kind, EditorViewModel *editor, QWidget *parent)
    : QWidget(parent)
    , m_kind(kind)
    , m_refresh(new DeferredRefresh(this, [this] { refresh(); }))
{
    paintAsBar(this);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 4, 12, 4);
    row->setSpacing(12);

    const QFont caption = captionFont();
    const QFont mono = monospacedCaptionFont();
    m_placeIcon = makeLabel(QStringLiteral("placeIcon"), caption, this);
    m_place = new ElidedLabel(this);
    m_place->setObjectName(QStringLiteral("place"));
    m_place->setFont(caption);
    m_error = new ElidedLabel(this, Qt::ElideRight);
    m_error->setObjectName(QStringLiteral("error"));
    m_error->setFont(caption);
    m_error->setShowsFullTextOnClick(true);
    m_syntaxNote = makeLabel(QStringLiteral("syntaxNote"), caption, this);
    m_position = makeLabel(QStringLiteral("position"), mono, this);
    // A slot wide enough for long files keeps the row still while the numbers grow.
    m_position->setMinimumWidth(QFontMetrics(mono).horizontalAdvance(QStringLiteral("Ln 000000, Col 0000")));
    m_cursors = makeLabel(QStringLiteral("cursors"), mono, this);
    m_separator = makeLabel(QStringLiteral("separator"), caption, this);
    m_separator->setText(QStringLiteral("·"));
    m_changesIcon = makeLabel(QStringLiteral("changesIcon"), mono, this);
    m_changes = makeLabel(QStringLiteral("changes"), mono, this);
    m_branchLabel = makeLabel(QStringLiteral("branch"), mono, this);

    auto *place = new QHBoxLayout;
    place->setSpacing(4);
    place->addWidget(m_placeIcon);
    place->addWidget(m_place, 1);
    row->addLayout(place, 1);
    row->addWidget(m_error, 2);
    row->addWidget(m_syntaxNote);
    row->addStretch(0);
    row->addWidget(m_position);
    row->addWidget(m_cursors);
    row->addWidget(m_separator);
    auto *changes = new QHBoxLayout;
    changes->setSpacing(3);
    changes->addWidget(m_changesIcon);
    changes->addWidget(m_changes);
    row->addLayout(changes);
    row->addWidget(m_branchLabel);
    setEditor(editor);
}

StatusBarView::StatusBarView(EditorViewModel *editor, const QString &repoPath, GitManager *git, QWidget *parent)
    : StatusBarView(Kind::repository, editor, parent)
{
    setRepository(repoPath, git);
}

StatusBarView::StatusBarView(EditorViewModel *editor, std::optional<QString> branch, QWidget *parent)
    : StatusBarView(Kind::file, editor, parent)
{
    m_branch = std::move(branch);
    m_refresh->request();
}

void StatusBarView::setEditor(EditorViewModel *editor)
{
    m_editor = editor;
    m_refresh->rewatch(m_editorConnection, editor, &EditorViewModel::willChange);
    m_refresh->rewatch(m_syntaxConnection, EditorSyntax::of(editor), &EditorSyntax::changed);
}

void StatusBarView::setRepository(const QString &repoPath, GitManager *git)
{
    m_repoPath = repoPath;
    m_git = git;
    m_refresh->rewatch(m_gitConnection, git, &GitManager::willChange);
}

void StatusBarView::setBranch(std::optional<QString> branch)
{
    m_branch = std::move(branch);
    m_refresh->request();
}

void StatusBarView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        m_refresh->request();
    }
}

void StatusBarView::refresh()
{
    const QPalette &colors = palette();
    const QColor secondary = secondaryLabelColor(colors);
    const QColor blue = systemColor(SystemColor::blue, colors);
    const QColor orange = systemColor(SystemColor::orange, colors);

    if (m_kind == Kind::repository) {
        setSymbol(m_placeIcon, QStringLiteral("folder.fill"), secondary, iconSize);
        m_place->setFullText(m_repoPath);
        m_placeIcon->setVisible(true);
    } else {
        const std::optional<QString> file = m_editor ? m_editor->currentFilePath() : std::nullopt;
        setSymbol(m_placeIcon, QStringLiteral("doc.fill"), secondary, iconSize);
        m_place->setFullText(file.value_or(QString()));
        m_placeIcon->setVisible(file.has_value());
    }
    setLabelColor(m_place, labelColor(colors));

    const std::optional<QString> error = !m_editor ? std::nullopt
        : m_editor->saveError()                    ? m_editor->saveError()
        : m_editor->openError()                    ? m_editor->openError()
                                                   : m_editor->baselineError();
    m_error->setFullText(error.value_or(QString()));
    m_error->setVisible(error.has_value());
    setLabelColor(m_error, systemColor(SystemColor::red, colors));

    const std::optional<QString> note = m_editor ? EditorSyntax::of(m_editor)->note() : std::nullopt;
    m_syntaxNote->setText(note.value_or(QString()));
    m_syntaxNote->setVisible(note.has_value());
    setLabelColor(m_syntaxNote, secondary);

    const qsizetype carets = m_editor ? m_editor->cursors().size() : 0;
    if (carets > 0) {
        const TextCursor &first = m_editor->cursors().first();
        m_position->setText(QStringLiteral("Ln %1, Col %2").arg(first.line + 1).arg(first.column + 1));
    }
    m_position->setVisible(carets > 0);
    setLabelColor(m_position, secondary);
    m_cursors->setText(QStringLiteral("%1 cursors").arg(carets));
    m_cursors->setVisible(carets >= 2);
    setLabelColor(m_cursors, blue);

    const bool repository = m_kind == Kind::repository ? (m_git && m_git->isRepo()) : m_branch.has_value();
    const qsizetype changed = m_kind == Kind::repository && m_git ? m_git->statusEntries().size() : 0;
    m_separator->setVisible(repository);
    setLabelColor(m_separator, tertiaryLabelColor(colors));
    setSymbol(m_changesIcon, QStringLiteral("pencil.circle"), orange, iconSize);
    m_changes->setText(QString::number(changed));
    setLabelColor(m_changes, orange);
    m_changesIcon->setVisible(repository && changed > 0);
    m_changes->setVisible(repository && changed > 0);
    m_branchLabel->setText(m_kind == Kind::repository ? (m_git ? m_git->branch() : QString()) : m_branch.value_or(QString()));
    m_branchLabel->setVisible(repository);
    setLabelColor(m_branchLabel, blue);
}

} // namespace vesk
