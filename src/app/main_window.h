#pragma once

#include <QMainWindow>

namespace vesk {

// The application's one window: for now the welcome screen only.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
};

} // namespace vesk
