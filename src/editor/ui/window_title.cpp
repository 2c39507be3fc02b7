#include "editor/ui/window_title.h"

#include <QWidget>

namespace vesk {

void setFileWindowTitle(QWidget &window, const QString &title, bool unsaved)
{
#ifdef Q_OS_MACOS
    // "[*]" is where other platforms would put the mark; a literal one in a name is doubled.
    QString escaped = title;
    escaped.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    window.setWindowTitle(escaped + QStringLiteral("[*]"));
    window.setWindowModified(unsaved);
#else
    window.setWindowTitle(unsaved ? QStringLiteral("\u25CF ") + title : title);
#endif
}

} // namespace vesk
