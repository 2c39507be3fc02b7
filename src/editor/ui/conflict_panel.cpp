#include "editor/ui/conflict_panel.h"

#include "editor/conflict_diff.h"
#include "editor/text_file.h"
#include "editor/ui/editor_colors.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextEdit>

namespace vesk {

namespace {

constexpr int panelWidth = 820;
constexpr int panelHeight = 520;

QPointer<ConflictPanel> &openPanel()
{
    static QPointer<ConflictPanel> panel;
    return panel;
}

QLabel *header(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, secondaryLabelColor(label->palette()));
    label->setPalette(palette);
    return label;
}

QPushButton *button(const QString &title, QWidget *parent)
{
    auto *result = new QPushButton(title, parent);
    result->setFixedSize(result->sizeHint().width() + 16, 32);
    result->setAutoDefault(false);
    return result;
}

} // namespace

ConflictPanel::ConflictPanel(EditorViewModel *editor, const QString &diskText, const QString &localText,
                             std::function<void()> onReload, std::function<void()> onKeepLocal)
    : m_editor(editor)
{
    setAttribute(Qt::WA_DeleteOnClose);
    const QString name = editor ? editor->currentFileName() : QString();
    setWindowTitle(QStringLiteral("File Changed \u2014 ") + name);
    resize(panelWidth, panelHeight);
    setMinimumSize(600, 400);

    const conflict::SideBySideDiff diff = conflict::computeDiff(diskText, localText);
    m_diskHighlights = diff.removed;  // disk lines the edits lack
    m_localHighlights = diff.added;   // edited lines the disk lacks

    m_message = new QLabel(QStringLiteral("\"%1\" was modified on disk while you have unsaved edits. "
                                          "Choose which version to keep.")
                               .arg(name),
                           this);
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    QFont messageFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    messageFont.setPixelSize(12);
    m_message->setFont(messageFont);
    m_message->setMinimumHeight(30);

    m_diskView = makeVersionView(diskText, m_diskHighlights);
    m_localView = makeVersionView(localText, m_localHighlights);

    m_cancel = button(QStringLiteral("Cancel"), this);
    m_reload = button(QStringLiteral("Reload from Disk"), this);
    m_keep = button(QStringLiteral("Keep My Edits"), this);
    m_keep->setDefault(true);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(16, 10, 16, 14);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->addWidget(m_message, 0, 0, 1, 2);
    grid->addWidget(header(QStringLiteral("On Disk (external changes)"), this), 1, 0);
    grid->addWidget(header(QStringLiteral("Your Edits (unsaved)"), this), 1, 1);
    grid->addWidget(m_diskView, 2, 0);
    grid->addWidget(m_localView, 2, 1);
    grid->setRowStretch(2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_reload);
    buttons->addWidget(m_keep);
    grid->addLayout(buttons, 3, 0, 1, 2);

    connect(m_keep, &QPushButton::clicked, this, [this, onKeepLocal] {
        if (onKeepLocal) {
            onKeepLocal();
        }
        if (!m_editor) {
            accept();
            return;
        }
        // The write goes on in the background; the choice stands open until it has ended.
        setButtonsEnabled(false);
        QPointer<ConflictPanel> self(this);
        m_editor->whenSavesEnd([self] {
            if (!self) {
                return;
            }
            self->setButtonsEnabled(true);
            if (self->m_editor && self->m_editor->hasUnsavedEdits() && self->m_editor->saveError()) {
                // Writing failed: say so here and let the user choose again, rather than close as if saved.
                self->m_message->setText(
                    QStringLiteral("Your edits could not be saved. %1").arg(*self->m_editor->saveError()));
                return;
            }
            self->accept();
        });
    });
    connect(m_reload, &QPushButton::clicked, this, [this, onReload] {
        if (onReload) {
            onReload();
        }
        accept();
    });
    connect(m_cancel, &QPushButton::clicked, this, &ConflictPanel::reject);
}

void ConflictPanel::setButtonsEnabled(bool enabled)
{
    m_keep->setEnabled(enabled);
    m_reload->setEnabled(enabled);
    m_cancel->setEnabled(enabled);
}

QString ConflictPanel::numberedText(const QString &version)
{
    const QStringList lines = version.split(u'\n');
    QString text;
    text.reserve(version.size() + lines.size() * 7);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        text += QStringLiteral("%1  ").arg(i + 1, 4) + lines[i] + u'\n';
    }
    return text;
}

QTextEdit *ConflictPanel::makeVersionView(const QString &version, const QSet<qint64> &highlighted)
{
    auto *view = new QTextEdit(this);
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setLineWrapMode(QTextEdit::NoWrap);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setFrameShape(QFrame::StyledPanel);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(11);
    view->document()->setDefaultFont(font);
    view->document()->setDocumentMargin(4);
    view->setPlainText(numberedText(version));

    QTextCursor all(view->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat spacing;
    spacing.setLineHeight(2, QTextBlockFormat::LineDistanceHeight);
    all.mergeBlockFormat(spacing);

    QList<QTextEdit::ExtraSelection> marks;
    const QColor green = QColor::fromRgbF(0.2f, 0.55f, 0.2f, 0.2f);
    for (const qint64 line : highlighted) {
        const QTextBlock block = view->document()->findBlockByNumber(int(line));
        if (!block.isValid()) {
            continue;
        }
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(block);
        mark.format.setBackground(green);
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks.append(mark);
    }
    view->setExtraSelections(marks);
    return view;
}

void ConflictPanel::reject()
{
    if (m_editor) {
        m_editor->setPendingConflict(false);
    }
    QDialog::reject();
}

void showConflictPanel(EditorViewModel *editor, std::function<void()> onReload, std::function<void()> onKeepLocal)
{
    if (!editor || !editor->currentFilePath()) {
        return;
    }
    const TextFileRead disk = readTextFile(*editor->currentFilePath());
    if (!disk.text) {
        return;
    }
    QWidget *host = QApplication::activeWindow();
    if (ConflictPanel *previous = openPanel()) {
        if (host == previous) {
            host = nullptr;
        }
        if (previous->editor() == editor) {
            // Replaced, not cancelled: the new panel carries the same decision.
            previous->hide();
            previous->deleteLater();
        } else {
            // Another editor's decision is put off, so its next check raises it again.
            previous->reject();
        }
    }
    auto *panel = new ConflictPanel(editor, disk.text->text(), editor->document()->text(), std::move(onReload),
                                    std::move(onKeepLocal));
    const QRect area = host ? host->frameGeometry() : panel->screen()->availableGeometry();
    panel->move(area.center() - QPoint(panelWidth / 2, panelHeight / 2));
    panel->show();
    panel->raise();
    panel->activateWindow();
    openPanel() = panel;
}

ConflictPanel *openConflictPanel()
{
    return openPanel();
}

} // namespace vesk
