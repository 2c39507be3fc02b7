#include "export/ui/export_outcome.h"

#include "platform/ui/file_manager.h"

#include <QMessageBox>
#include <QStringList>

namespace vesk {

namespace {

constexpr int leftOutShown = 20;

QMessageBox *sheet(QMessageBox::Icon icon, const QString &text, const QString &detail, QWidget *parent)
{
    auto *box = new QMessageBox(icon, text, text, QMessageBox::Ok, parent);
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::NonModal);
    return box;
}

} // namespace

void presentExportedArchive(const ZipResult &result, QWidget *parent)
{
    revealInFileManager(result.archivePath);
    if (result.skipped.isEmpty()) {
        return;
    }
    QStringList lines;
    for (const ZipSkippedFile &file : result.skipped.mid(0, leftOutShown)) {
        lines.append(file.relativePath + QStringLiteral(" \u2014 ") + file.reason);
    }
    if (result.skipped.size() > leftOutShown) {
        lines.append(QStringLiteral("and %1 more").arg(result.skipped.size() - leftOutShown));
    }
    const QString count = result.skipped.size() == 1 ? QStringLiteral("1 file was")
                                                     : QStringLiteral("%1 files were").arg(result.skipped.size());
    QMessageBox *box = sheet(QMessageBox::Information, count + QStringLiteral(" left out of the archive"),
                             lines.join(QLatin1Char('\n')), parent);
    box->setObjectName(QStringLiteral("leftOutNotice"));
    box->open();
}

QMessageBox *showExportFailedAlert(QWidget *parent)
{
    QMessageBox *alert = sheet(QMessageBox::Warning, QStringLiteral("Export Failed"),
                               QStringLiteral("Could not create ZIP archive."), parent ? parent->window() : nullptr);
    alert->setObjectName(QStringLiteral("exportFailedAlert"));
    alert->open();
    return alert;
}

} // namespace vesk
