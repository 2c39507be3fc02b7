#pragma once

#include <QString>

class QWidget;

namespace vesk {

// Sets `title` on a window that shows a file, marked while the file has unsaved edits: a "●"
// before the title, or on the Mac its own dot in the close button.
void setFileWindowTitle(QWidget &window, const QString &title, bool unsaved);

} // namespace vesk
