#include "app/help_window.h"

namespace vesk {

void showHelpPage(const QString &page)
{
    Q_UNUSED(page);
}

} // namespace vesk
