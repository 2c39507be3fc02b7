#include "editor/ui/diff_header_view.h"

#include "editor/ui/bar_style.h"
#include "editor/ui/deferred_refresh.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/elided_label.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace vesk {

DiffHeaderView::DiffHeaderView(EditorViewModel *editor, const QString &repoPath, GitManager *git, QWidget *parent)
    : QWidget(parent)
    , m_refresh(new DeferredRefresh(this, [this] { refresh(); }))
{
    paintAsBar(this);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(8);
    m_statusIcon = makeLabel(QStringLiteral("statusIcon"), captionFont(), this);
    m_path = new ElidedLabel(this);
    m_path->setObjectName(QStringLiteral("path"));
    m_path->setFont(monospacedBodyFont());
    m_modified = makeLabel(QStringLiteral("modified"), captionFont(), this);
    m_lineCount = makeLabel(QStringLiteral("lineCount"), captionFont(), this);
    row->addWidget(m_statusIcon);
    row->addWidget(m_path, 1);
    row->addWidget(m_modified);
    row->addWidget(m_lineCount);
    setEditor(editor);
    setRepository(repoPath, git);
}

void DiffHeaderView::setEditor(EditorViewModel *editor)
{
    m_editor = editor;
    m_refresh->rewatch(m_editorConnection, editor, &EditorViewModel::willChange);
}

void DiffHeaderView::setRepository(const QString &repoPath, GitManager *git)
{
    m_repoPath = repoPath;
    m_git = git;
    m_refresh->rewatch(m_gitConnection, git, &GitManager::willChange);
}

QString DiffHeaderView::relativePath(const QString &filePath, const QString &repoPath)
{
    // Only a leading repository path is taken off: the same text further in is part of the name.
    const QString prefix = repoPath + u'/';
    return !repoPath.isEmpty() && filePath.startsWith(prefix) ? filePath.mid(prefix.size()) : filePath;
}

void DiffHeaderView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        m_refresh->request();
    }
}

void DiffHeaderView::refresh()
{
    const QPalette &colors = palette();
    const QString file = m_editor ? m_editor->currentFilePath().value_or(QString()) : QString();
    const QString relative = relativePath(file, m_repoPath);
    const ChangeStatus status = m_git ? m_git->statusFor(relative) : ChangeStatus::unmodified;
    setSymbol(m_statusIcon, symbolName(status), namedColor(colorName(status), colors), 14);
    m_statusIcon->setToolTip(label(status));
    m_path->setFullText(relative);
    setLabelColor(m_path, labelColor(colors));

    const VeskDocument *document = m_editor ? m_editor->document() : nullptr;
    const qsizetype modified = document ? document->modifiedLines().size() : 0;
    const QColor orange = systemColor(SystemColor::orange, colors);
    const QColor badge = withAlpha(orange, 0.15);
    m_modified->setText(QStringLiteral("%1 lines modified").arg(modified));
    const QString sheet = QStringLiteral("QLabel { background-color: rgba(%1, %2, %3, %4); color: %5;"
                                         " border-radius: 4px; padding: 2px 6px; }")
                              .arg(badge.red())
                              .arg(badge.green())
                              .arg(badge.blue())
                              .arg(badge.alphaF())
                              .arg(orange.name());
    if (m_modified->styleSheet() != sheet) {
        m_modified->setStyleSheet(sheet);  // restyling is slow: only when the appearance changed
    }
    m_modified->setVisible(modified > 0);
    m_lineCount->setText(QStringLiteral("%1 lines").arg(document ? document->lineCount() : 0));
    setLabelColor(m_lineCount, secondaryLabelColor(colors));
}

} // namespace vesk
