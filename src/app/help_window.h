#pragma once

#include <QString>

namespace vesk {

// Shows the help window at `page` (a file name of the help book, such as "index.html").
void showHelpPage(const QString &page);

} // namespace vesk
