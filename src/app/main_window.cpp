#include "app/main_window.h"

#include "app/welcome_view.h"

namespace vesk {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Vesk"));
    setCentralWidget(new WelcomeView(this));
    resize(1100, 720);
}

} // namespace vesk
