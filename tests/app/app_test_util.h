#pragma once

// Helpers for the application tests: a desktop whose darkness the test decides, a private
// preferences file, and the whole application built around a temporary workspace.

#include "app/desktop_appearance.h"
#include "app/main_window.h"
#include "app/vesk_app.h"
#include "editor/editor_view_model.h"
#include "platform/background.h"
#include "platform/file_time.h"
#include "platform/preferences.h"
#include "test_support.h"
#include "workspace/app_state.h"
#include "workspace/repository_state.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace vesk::test {

class FixedDesktop : public DesktopAppearance
{
public:
    bool dark = false;
    bool isDark() const override { return dark; }
    void switchTo(bool isDark)
    {
        dark = isDark;
        Q_EMIT changed();
    }
};

// A temporary folder holding the preferences file and the repositories of one test.
class Workspace
{
public:
    Workspace() { Preferences::useFile(path(QStringLiteral("prefs.ini"))); }
    ~Workspace()
    {
        waitForBackgroundWork();
        QCoreApplication::sendPostedEvents();
        Preferences::useFile(QString());
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    // A git repository `name` with `files` (name → content) committed.
    QString repo(const QString &name, const QList<QPair<QString, QByteArray>> &files) const
    {
        const QString dir = path(name);
        QDir().mkpath(dir);
        initGitRepo(dir);
        for (const auto &[file, content] : files) {
            writeFile(dir, file, content);
        }
        commitAll(dir);
        return dir;
    }

private:
    QTemporaryDir m_dir;
};

// The application with its window shown and active, once the saved workspace is back.
inline std::unique_ptr<VeskApp> startApp(FixedDesktop *desktop)
{
    auto app = std::make_unique<VeskApp>(desktop);
    MainWindow *window = app->mainWindow();
    window->show();
    QApplication::setActiveWindow(window);
    [&] {
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTRY_VERIFY(app->state().hasRestored());
    }();
    return app;
}

// Rewrites the file as another program would, its modification time `seconds` later.
inline void changeOnDisk(const QString &path, const QByteArray &content, qint64 seconds = 5)
{
    const std::optional<FileTime> before = modificationTime(path);
    QVERIFY(before);
    writeFile(QFileInfo(path).path(), QFileInfo(path).fileName(), content);
    QVERIFY(setModificationTime(path, FileTime{before->nanoseconds + seconds * 1'000'000'000}));
}

// Opening asks git for the repository in the background; waits until every open has finished.
inline void waitForOpens(AppState &app)
{
    QTRY_VERIFY(!app.isOpening());
}

inline EditorViewModel *activeEditor(const VeskApp &app)
{
    RepositoryState *state = app.state().activeTabState();
    return state ? state->editor() : nullptr;
}

// "a *b c": the tab names in order, the active one starred.
inline QString tabLayout(const AppState &app)
{
    QStringList names;
    for (const RepositoryTab &tab : app.tabs()) {
        names.append((tab.id == app.activeTabId() ? QStringLiteral("*") : QString()) + tab.name);
    }
    return names.join(u' ');
}

} // namespace vesk::test
