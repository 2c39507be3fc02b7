#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QVBoxLayout;

namespace vesk {

// The settings window: sections of controls, each bound to a key of the preferences store. A
// change is written to the store at once (and every view reading that key follows); a change
// made elsewhere shows in the controls.
//
// Sections "Appearance", "Editor" and "Files" are built in; more controls are added to a section
// with addToggle or addPicker, above the section's footer.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int preferredWidth = 380;
    static constexpr int preferredHeight = 300;

    explicit SettingsWindow(QWidget *parent = nullptr);

    // A picker's choices: (title shown, value stored).
    using Choices = QList<QPair<QString, QVariant>>;

    QCheckBox *addToggle(const QString &section, const QString &text, const QString &key);
    QComboBox *addPicker(const QString &section, const QString &label, const Choices &choices, const QString &key);

    QCheckBox *toggle(const QString &key) const;
    QComboBox *picker(const QString &key) const;
    // The footer text of a section, or null when it has none.
    QLabel *footer(const QString &section) const;

private:
    struct Section
    {
        QFormLayout *form = nullptr;
        QLabel *footer = nullptr;
    };

    void addSection(const QString &header, const QString &symbol, const QString &footer);
    void showStoredValue(const QString &key);

    QVBoxLayout *m_column = nullptr;
    QHash<QString, Section> m_sections;
    QHash<QString, QCheckBox *> m_toggles;
    QHash<QString, QComboBox *> m_pickers;
};

// Shows the one settings window, making it the first time (centred over `near` when given).
SettingsWindow *showSettingsWindow(QWidget *near = nullptr);
// The settings window when one exists.
SettingsWindow *settingsWindow();

} // namespace vesk
