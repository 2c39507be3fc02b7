#pragma once

#include "editor/editor_view_model.h"
#include "workspace/git_manager.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;

namespace vesk {

class DeferredRefresh;
class ElidedLabel;

// The row below the editor: where the user is (the repository, or in a standalone window the
// open file), the first caret's "Ln 3, Col 7", the number of carets when there are several, the
// git summary, why the last open or save failed when it did (or why the committed version
// could not be compared), and that a file is too large to be coloured by its syntax.
//
// Re-reads everything a moment after the editor or the git manager announces a change.
class StatusBarView : public QWidget
{
    Q_OBJECT

public:
    // The workspace's status bar: the repository's path, and with a repository the number of
    // changed paths and the branch.
    StatusBarView(EditorViewModel *editor, const QString &repoPath, GitManager *git, QWidget *parent = nullptr);
    // A standalone window's status row: the open file's path and the branch found at opening.
    StatusBarView(EditorViewModel *editor, std::optional<QString> branch, QWidget *parent = nullptr);

    void setEditor(EditorViewModel *editor);
    void setRepository(const QString &repoPath, GitManager *git);
    // A standalone window's branch, once git has named it.
    void setBranch(std::optional<QString> branch);

protected:
    void changeEvent(QEvent *event) override;

private:
    enum class Kind { repository, file };
    StatusBarView(Kind kind, EditorViewModel *editor, QWidget *parent);
    void refresh();

    Kind m_kind;
    QPointer<EditorViewModel> m_editor;
    QPointer<GitManager> m_git;
    QString m_repoPath;
    std::optional<QString> m_branch;
    QMetaObject::Connection m_editorConnection;
    QMetaObject::Connection m_gitConnection;
    QMetaObject::Connection m_syntaxConnection;
    DeferredRefresh *m_refresh = nullptr;

    QLabel *m_placeIcon = nullptr;
    ElidedLabel *m_place = nullptr;
    ElidedLabel *m_error = nullptr;
    QLabel *m_syntaxNote = nullptr;
    QLabel *m_position = nullptr;
    QLabel *m_cursors = nullptr;
    QLabel *m_separator = nullptr;
    QLabel *m_changesIcon = nullptr;
    QLabel *m_changes = nullptr;
    QLabel *m_branchLabel = nullptr;
};

} // namespace vesk
