#pragma once

#include "editor/editor_view_model.h"

#include <QDialog>
#include <QPointer>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vesk {

// The small "Go to Line" panel: the user types a 1-based line number; "Go" (Return) moves the
// editor's caret there, "Cancel" (Escape) does nothing. At most one is open in the application.
class GoToLinePanel : public QDialog
{
    Q_OBJECT

public:
    // `host` is the window the panel belongs to (the key window when it opened).
    explicit GoToLinePanel(EditorViewModel *editor, QWidget *host = nullptr);

    QLabel *label() const { return m_label; }
    QLineEdit *field() const { return m_field; }
    QPushButton *goButton() const { return m_go; }
    QPushButton *cancelButton() const { return m_cancel; }
    // The window that was key when the panel opened.
    QWidget *hostWindow() const { return m_host; }

    // The number typed: an optional sign and decimal digits only, else nothing.
    static std::optional<qint64> parseLineNumber(const QString &text);

private:
    void go();

    QPointer<EditorViewModel> m_editor;
    qint64 m_lineCount = 0;
    QPointer<QWidget> m_host;
    QLabel *m_label = nullptr;
    QLineEdit *m_field = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_go = nullptr;
};

// Opens the panel for `editor` (nothing without one), replacing a panel already open, centred
// above the key window.
void showGoToLinePanel(EditorViewModel *editor);

// The panel currently open, if any.
GoToLinePanel *openGoToLinePanel();

} // namespace vesk
