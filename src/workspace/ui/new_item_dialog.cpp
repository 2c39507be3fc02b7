#include "workspace/ui/new_item_dialog.h"

#include "editor/ui/editor_colors.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesk {

NewItemDialog::NewItemDialog(bool folder, Create create, QWidget *parent)
    : QDialog(parent)
    , m_create(std::move(create))
    , m_name(new QLineEdit(this))
    , m_problem(new QLabel(this))
{
    setObjectName(QStringLiteral("newItemDialog"));
    setWindowTitle(folder ? QStringLiteral("New Folder") : QStringLiteral("New File"));
    auto *message = new QLabel(folder ? QStringLiteral("Enter a name for the new folder:")
                                      : QStringLiteral("Enter a name for the new file:"),
                               this);
    message->setObjectName(QStringLiteral("message"));
    m_name->setPlaceholderText(folder ? QStringLiteral("Folder name") : QStringLiteral("Filename"));
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    QPalette palette = m_problem->palette();
    palette.setColor(QPalette::WindowText, systemColor(SystemColor::red, palette));
    m_problem->setPalette(palette);
    m_problem->hide();

    auto *buttons = new QDialogButtonBox(this);
    m_createButton = buttons->addButton(QStringLiteral("Create"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_createButton->setDefault(true);
    m_createButton->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &NewItemDialog::tryCreate);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_name, &QLineEdit::textChanged, this, &NewItemDialog::nameEdited);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(message);
    layout->addWidget(m_name);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

void NewItemDialog::nameEdited()
{
    m_createButton->setEnabled(!FileOperations::trimmedName(m_name->text()).isEmpty());
    m_problem->hide();
}

void NewItemDialog::tryCreate()
{
    if (FileOperations::trimmedName(m_name->text()).isEmpty()) {
        return;
    }
    const FileOperationResult result = m_create(m_name->text());
    if (result.ok) {
        accept();
        return;
    }
    m_problem->setText(result.message);
    m_problem->setVisible(!result.message.isEmpty());
    m_name->setFocus();
    m_name->selectAll();
}

} // namespace vesk
