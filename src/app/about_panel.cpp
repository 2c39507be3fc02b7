#include "app/about_panel.h"

#include "app/version.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>

namespace vesk {

QString applicationVersion()
{
    return QStringLiteral(VESK_VERSION);
}

QMessageBox *showAboutPanel(QWidget *parent)
{
    static QPointer<QMessageBox> panel;
    if (panel) {
        panel->raise();
        panel->activateWindow();
        return panel;
    }
    panel = new QMessageBox(parent);
    panel->setObjectName(QStringLiteral("aboutPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowTitle(QStringLiteral("About Vesk"));
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) {
        panel->setIconPixmap(icon.pixmap(64, 64));
    }
    panel->setTextFormat(Qt::RichText);
    panel->setText(QStringLiteral("<h2>Vesk</h2><p>Version %1</p>").arg(applicationVersion().toHtmlEscaped()));
    panel->setInformativeText(QStringLiteral(
        "<p align=\"center\"><small>A code editor for whole repositories, in tabs.<br>"
        "Exports files for an AI assistant and reviews the patches it sends back.</small></p>"));
    panel->setStandardButtons(QMessageBox::Ok);
    panel->show();
    return panel;
}

} // namespace vesk
