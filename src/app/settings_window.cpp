#include "app/settings_window.h"

#include "editor/ui/bar_style.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"
#include "platform/preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QShortcut>
#include <QVBoxLayout>

namespace vesk {

namespace {

QPointer<SettingsWindow> &theWindow()
{
    static QPointer<SettingsWindow> window;
    return window;
}

} // namespace

SettingsWindow::SettingsWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(QStringLiteral("Settings"));
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(20, 16, 20, 16);
    m_column->setSpacing(6);

    addSection(QStringLiteral("Appearance"), QStringLiteral("paintbrush"), QString());
    addPicker(QStringLiteral("Appearance"), QStringLiteral("Appearance:"),
              {{QStringLiteral("System"), QStringLiteral("system")},
               {QStringLiteral("Light"), QStringLiteral("light")},
               {QStringLiteral("Dark"), QStringLiteral("dark")},
               {QStringLiteral("Opposite"), QStringLiteral("opposite")}},
              QStringLiteral("appearance"));

    addSection(QStringLiteral("Editor"), QStringLiteral("chevron.left.forwardslash.chevron.right"),
               QStringLiteral("Spaces shown as \u00B7 and tabs as \u21E5"));
    addToggle(QStringLiteral("Editor"), QStringLiteral("Show whitespace characters"), QStringLiteral("showWhitespace"));
    addPicker(QStringLiteral("Editor"), QStringLiteral("Tab width:"),
              {{QStringLiteral("2"), 2}, {QStringLiteral("4"), 4}, {QStringLiteral("8"), 8}}, QStringLiteral("tabWidth"));
    addToggle(QStringLiteral("Editor"), QStringLiteral("Syntax highlighting"), QStringLiteral("syntaxHighlighting"));

    addSection(QStringLiteral("Files"), QStringLiteral("folder"),
               QStringLiteral("Show hidden files like .gitignore and .env in the file tree"));
    addToggle(QStringLiteral("Files"), QStringLiteral("Show dot files"), QStringLiteral("showDotFiles"));
    m_column->addStretch(1);

    connect(&Preferences::instance(), &Preferences::changed, this, &SettingsWindow::showStoredValue);
    for (const QKeySequence &keys : {QKeySequence(QKeySequence::Close), QKeySequence(Qt::Key_Escape)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
    }
    setFixedWidth(preferredWidth);
    resize(preferredWidth, std::max(preferredHeight, sizeHint().height()));
}

void SettingsWindow::addSection(const QString &header, const QString &symbol, const QString &footerText)
{
    auto *title = new QWidget(this);
    auto *titleRow = new QHBoxLayout(title);
    titleRow->setContentsMargins(2, m_sections.isEmpty() ? 0 : 10, 0, 0);
    titleRow->setSpacing(6);
    const QIcon icon = symbolIcon(symbol, secondaryLabelColor(palette()));
    if (!icon.isNull()) {
        auto *iconLabel = new QLabel(title);
        iconLabel->setPixmap(icon.pixmap(14, 14));
        titleRow->addWidget(iconLabel);
    }
    auto *text = new QLabel(header, title);
    QFont bold = text->font();
    bold.setBold(true);
    text->setFont(bold);
    titleRow->addWidget(text);
    titleRow->addStretch(1);
    m_column->addWidget(title);

    auto *group = new QFrame(this);
    group->setFrameShape(QFrame::StyledPanel);
    auto *form = new QFormLayout(group);
    form->setContentsMargins(12, 8, 12, 8);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    m_column->addWidget(group);

    QLabel *footer = nullptr;
    if (!footerText.isEmpty()) {
        footer = new QLabel(footerText, this);
        footer->setFont(captionFont());
        footer->setWordWrap(true);
        footer->setForegroundRole(QPalette::PlaceholderText);
        footer->setContentsMargins(2, 0, 0, 0);
        m_column->addWidget(footer);
    }
    m_sections.insert(header, {form, footer});
}

QCheckBox *SettingsWindow::addToggle(const QString &section, const QString &text, const QString &key)
{
    const Section target = m_sections.value(section);
    if (!target.form) {
        return nullptr;
    }
    auto *toggle = new QCheckBox(text, this);
    toggle->setObjectName(key);
    target.form->addRow(toggle);
    m_toggles.insert(key, toggle);
    showStoredValue(key);
    connect(toggle, &QCheckBox::toggled, this, [key](bool on) { Preferences::instance().setValue(key, on); });
    return toggle;
}

QComboBox *SettingsWindow::addPicker(const QString &section, const QString &label, const Choices &choices,
                                     const QString &key)
{
    const Section target = m_sections.value(section);
    if (!target.form) {
        return nullptr;
    }
    auto *picker = new QComboBox(this);
    picker->setObjectName(key);
    for (const auto &[title, value] : choices) {
        picker->addItem(title, value);
    }
    target.form->addRow(label, picker);
    m_pickers.insert(key, picker);
    showStoredValue(key);
    connect(picker, &QComboBox::activated, this, [picker, key](int index) {
        Preferences::instance().setValue(key, picker->itemData(index));
    });
    return picker;
}

QCheckBox *SettingsWindow::toggle(const QString &key) const
{
    return m_toggles.value(key);
}

QComboBox *SettingsWindow::picker(const QString &key) const
{
    return m_pickers.value(key);
}

QLabel *SettingsWindow::footer(const QString &section) const
{
    return m_sections.value(section).footer;
}

void SettingsWindow::showStoredValue(const QString &key)
{
    const Preferences &preferences = Preferences::instance();
    if (QCheckBox *toggle = m_toggles.value(key)) {
        const QSignalBlocker blocker(toggle);
        toggle->setChecked(preferences.boolValue(key));
    }
    if (QComboBox *picker = m_pickers.value(key)) {
        const QSignalBlocker blocker(picker);
        const QVariant stored = preferences.value(key);
        int index = -1;
        for (int i = 0; i < picker->count(); ++i) {
            if (picker->itemData(i).toString() == stored.toString()) {
                index = i;
            }
        }
        // An unknown appearance behaves as "system", so it shows as such.
        picker->setCurrentIndex(index < 0 && key == u"appearance" ? 0 : index);
    }
}

SettingsWindow *showSettingsWindow(QWidget *near)
{
    QPointer<SettingsWindow> &window = theWindow();
    if (!window) {
        window = new SettingsWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setAttribute(Qt::WA_QuitOnClose, false);
        if (near) {
            const QRect frame = near->frameGeometry();
            window->move(frame.center().x() - window->width() / 2, frame.top() + frame.height() / 5);
        }
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

SettingsWindow *settingsWindow()
{
    return theWindow();
}

} // namespace vesk
