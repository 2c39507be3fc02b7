#include "app/welcome_view.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace vesk {

WelcomeView::WelcomeView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(24);
    layout->addStretch(1);

    auto *icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(64, 64));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);

    auto *title = new QLabel(QStringLiteral("Vesk"), this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2.2);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto *hint = new QLabel(QStringLiteral("Open a repository to get started"), this);
    hint->setAlignment(Qt::AlignCenter);
    hint->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(hint);

    m_openButton = new QPushButton(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                   QStringLiteral("Open Repo/Directory"), this);
    m_openButton->setObjectName(QStringLiteral("openRepoButton"));
    connect(m_openButton, &QPushButton::clicked, this, &WelcomeView::openRequested);
    layout->addWidget(m_openButton, 0, Qt::AlignHCenter);

    layout->addStretch(1);
}

} // namespace vesk
