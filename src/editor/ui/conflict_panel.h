#pragma once

#include "editor/editor_view_model.h"

#include <QDialog>
#include <QPointer>
#include <QSet>

#include <functional>

class QLabel;
class QPushButton;
class QTextEdit;

namespace vesk {

// Shown when the open file changed on disk while the editor holds unsaved edits: both versions
// side by side with numbered lines, the lines each lacks from the other highlighted, and the
// choice between "Keep My Edits", "Reload from Disk" and "Cancel". One is open at a time.
class ConflictPanel : public QDialog
{
    Q_OBJECT

public:
    ConflictPanel(EditorViewModel *editor, const QString &diskText, const QString &localText,
                  std::function<void()> onReload, std::function<void()> onKeepLocal);

    EditorViewModel *editor() const { return m_editor; }
    QLabel *message() const { return m_message; }
    QTextEdit *diskView() const { return m_diskView; }
    QTextEdit *localView() const { return m_localView; }
    QPushButton *keepButton() const { return m_keep; }
    QPushButton *reloadButton() const { return m_reload; }
    QPushButton *cancelButton() const { return m_cancel; }
    const QSet<qint64> &diskHighlights() const { return m_diskHighlights; }
    const QSet<qint64> &localHighlights() const { return m_localHighlights; }

    // The text a side shows: each line (split at "\n") after its number in "%4d  ".
    static QString numberedText(const QString &version);

public Q_SLOTS:
    // "Cancel", Escape and the close button: the flag is cleared and the decision put off.
    void reject() override;

private:
    void setButtonsEnabled(bool enabled);
    QTextEdit *makeVersionView(const QString &version, const QSet<qint64> &highlighted);

    QPointer<EditorViewModel> m_editor;
    QSet<qint64> m_diskHighlights;
    QSet<qint64> m_localHighlights;
    QLabel *m_message = nullptr;
    QTextEdit *m_diskView = nullptr;
    QTextEdit *m_localView = nullptr;
    QPushButton *m_keep = nullptr;
    QPushButton *m_reload = nullptr;
    QPushButton *m_cancel = nullptr;
};

// Opens the panel for the editor's open file, replacing one already open. Shows nothing when no
// file is open or the disk version cannot be read. `onReload` and `onKeepLocal` run for the two
// choices (hosts pass forceReloadFromDisk and forceSaveToDisk).
void showConflictPanel(EditorViewModel *editor, std::function<void()> onReload, std::function<void()> onKeepLocal);

// The panel currently open, if any.
ConflictPanel *openConflictPanel();

} // namespace vesk
