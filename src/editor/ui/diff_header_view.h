#pragma once

#include "editor/editor_view_model.h"
#include "workspace/git_manager.h"

#include <QPointer>
#include <QWidget>

class QLabel;

namespace vesk {

class DeferredRefresh;
class ElidedLabel;

// The row above the editor: the open file's git status icon and path relative to the
// repository, and how many lines are modified and how many there are.
class DiffHeaderView : public QWidget
{
    Q_OBJECT

public:
    DiffHeaderView(EditorViewModel *editor, const QString &repoPath, GitManager *git, QWidget *parent = nullptr);

    void setEditor(EditorViewModel *editor);
    void setRepository(const QString &repoPath, GitManager *git);

    // The open file's path as shown: relative when it lies inside the repository, else absolute.
    static QString relativePath(const QString &filePath, const QString &repoPath);

protected:
    void changeEvent(QEvent *event) override;

private:
    void refresh();

    QPointer<EditorViewModel> m_editor;
    QPointer<GitManager> m_git;
    QString m_repoPath;
    QMetaObject::Connection m_editorConnection;
    QMetaObject::Connection m_gitConnection;
    DeferredRefresh *m_refresh = nullptr;

    QLabel *m_statusIcon = nullptr;
    ElidedLabel *m_path = nullptr;
    QLabel *m_modified = nullptr;
    QLabel *m_lineCount = nullptr;
};

} // namespace vesk
