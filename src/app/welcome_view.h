#pragma once

#include <QWidget>

class QPushButton;

namespace vesk {

// Shown when no repository is open: title, hint and the open button.
class WelcomeView : public QWidget
{
    Q_OBJECT

public:
    explicit WelcomeView(QWidget *parent = nullptr);

    QPushButton *openButton() const { return m_openButton; }

Q_SIGNALS:
    void openRequested();

private:
    QPushButton *m_openButton = nullptr;
};

} // namespace vesk
