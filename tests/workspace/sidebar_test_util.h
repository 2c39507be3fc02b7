#pragma once

// A sidebar over a real repository in a temporary folder, with the workspace around it, for the
// sidebar tests.

#include "editor/editor_view_model.h"
#include "platform/background.h"
#include "platform/preferences.h"
#include "test_support.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"
#include "workspace/ui/file_tree_model.h"
#include "workspace/ui/sidebar_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

namespace vesk::test {

// Lets background work finish and hands its results, and the views' deferred refreshes, over.
inline void settle()
{
    for (int i = 0; i < 4; ++i) {
        waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

struct SidebarFixture
{
    QTemporaryDir dir;
    QString repo;
    std::unique_ptr<AppState> app;
    std::unique_ptr<RepositoryState> state;
    std::unique_ptr<SidebarView> sidebar;

    // Runs `script` with sh in a fresh repository (a git repository unless `git` is false),
    // then shows the sidebar with the first refresh done.
    explicit SidebarFixture(const QString &script, bool git = true)
    {
        Preferences::useFile(dir.filePath(QStringLiteral("prefs.ini")));
        repo = dir.filePath(QStringLiteral("repo"));
        git ? initGitRepo(repo) : void(QDir().mkpath(repo));
        bool ok = false;
        run(QStringLiteral("/bin/sh"), {QStringLiteral("-ec"), script}, repo, &ok);
        QVERIFY2(ok, qPrintable(script));
        app = std::make_unique<AppState>();
        state = std::make_unique<RepositoryState>(RepositoryTab::forPath(repo));
        sidebar = std::make_unique<SidebarView>(*app, *state);
        sidebar->resize(320, 560);
        sidebar->show();
        QVERIFY(QTest::qWaitForWindowExposed(sidebar.get()));
        refresh();
    }
    ~SidebarFixture()
    {
        sidebar.reset();
        settle();
    }

    QString path(const QString &relative) const { return repo + u'/' + relative; }
    void refresh()
    {
        state->refresh();
        settle();
    }
    QString openFile() const
    {
        const auto file = state->editor()->currentFilePath();
        return file ? QString(*file).remove(repo + u'/') : QString();
    }
};

// The rows a tree view shows, top to bottom, two spaces of indent per level, folders with "/".
inline QStringList visibleRows(const QTreeView &view)
{
    QStringList rows;
    for (QModelIndex index = view.model()->index(0, 0); index.isValid(); index = view.indexBelow(index)) {
        int depth = 0;
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) {
            ++depth;
        }
        const bool folder = index.data(FileTreeModel::IsDirectoryRole).toBool();
        rows.append(QString(depth * 2, u' ') + index.data().toString() + (folder ? "/" : ""));
    }
    return rows;
}

// Triggers the entry of `menu` titled `text`; false when there is none.
inline bool trigger(QMenu *menu, const QString &text)
{
    std::unique_ptr<QMenu> owner(menu);
    for (QAction *action : menu->actions()) {
        if (action->text() == text) {
            action->trigger();
            return true;
        }
    }
    return false;
}

inline QStringList entryTexts(QMenu *menu)
{
    std::unique_ptr<QMenu> owner(menu);
    QStringList texts;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator()) {
            texts.append(action->text());
        }
    }
    return texts;
}

// The button of `dialog` titled `text`.
inline QAbstractButton *button(QWidget *dialog, const QString &text)
{
    for (QAbstractButton *candidate : dialog->findChildren<QAbstractButton *>()) {
        if (candidate->text() == text) {
            return candidate;
        }
    }
    return nullptr;
}

} // namespace vesk::test
