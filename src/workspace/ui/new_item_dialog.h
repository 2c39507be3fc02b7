#pragma once

#include "workspace/file_operations.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vesk {

// The "New File" and "New Folder" dialogs: a message, a name field and "Create" / "Cancel".
// "Create" hands the typed name to `create`; when that refuses, the dialog stays open and says
// why, so the user can pick another name.
class NewItemDialog : public QDialog
{
    Q_OBJECT

public:
    using Create = std::function<FileOperationResult(const QString &name)>;

    NewItemDialog(bool folder, Create create, QWidget *parent = nullptr);

    QLineEdit *nameField() const { return m_name; }
    QPushButton *createButton() const { return m_createButton; }
    QLabel *problemLabel() const { return m_problem; }

private:
    void tryCreate();
    void nameEdited();

    Create m_create;
    QLineEdit *m_name;
    QLabel *m_problem;
    QPushButton *m_createButton;
};

} // namespace vesk
