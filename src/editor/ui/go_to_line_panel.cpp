#include "editor/ui/go_to_line_panel.h"

#include "editor/ui/bar_style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

namespace vesk {

namespace {

constexpr int panelWidth = 300;
constexpr int panelHeight = 130;
constexpr int raiseAboveCentre = 100;

QPointer<GoToLinePanel> &openPanel()
{
    static QPointer<GoToLinePanel> panel;
    return panel;
}

// Frames are given from the bottom-left corner of the panel's content, as on the Mac.
QRect fromBottom(int x, int y, int width, int height)
{
    return QRect(x, panelHeight - y - height, width, height);
}

} // namespace

GoToLinePanel::GoToLinePanel(EditorViewModel *editor, QWidget *host)
    : m_editor(editor)
    , m_lineCount(editor ? editor->document()->lineCount() : 0)
    , m_host(host)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Go to Line"));
    setFixedSize(panelWidth, panelHeight);

    m_label = new QLabel(QStringLiteral("Line (1\u2013%1):").arg(m_lineCount), this);
    QFont labelFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    labelFont.setPixelSize(12);
    m_label->setFont(labelFont);
    m_label->setGeometry(fromBottom(20, 88, 260, 18));

    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(QStringLiteral("1"));
    m_field->setFont(monospacedBodyFont());
    m_field->setGeometry(fromBottom(20, 58, 260, 24));

    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setGeometry(fromBottom(130, 15, 80, 32));
    m_cancel->setAutoDefault(false);
    m_go = new QPushButton(QStringLiteral("Go"), this);
    m_go->setGeometry(fromBottom(214, 15, 70, 32));
    m_go->setDefault(true);

    connect(m_go, &QPushButton::clicked, this, &GoToLinePanel::go);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_field->setFocus();
}

std::optional<qint64> GoToLinePanel::parseLineNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
    if (!number.match(text).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;  // too large for a number is no number
}

void GoToLinePanel::go()
{
    const QString text = m_field->text();
    if (!text.isEmpty()) {
        const std::optional<qint64> value = parseLineNumber(text);
        if (value && *value >= 1 && m_editor) {
            m_editor->goToLine(std::min(m_lineCount - 1, *value - 1), 0);
        }
    }
    accept();
}

void showGoToLinePanel(EditorViewModel *editor)
{
    if (!editor) {
        return;
    }
    QWidget *host = QApplication::activeWindow();
    if (GoToLinePanel *previous = openPanel()) {
        if (host == previous) {
            host = previous->hostWindow();
        }
        previous->close();
    }
    auto *panel = new GoToLinePanel(editor, host);
    const QRect area = host ? host->frameGeometry() : panel->screen()->availableGeometry();
    const QPoint centre = area.center();
    const int raise = host ? raiseAboveCentre : 0;
    panel->move(centre.x() - panelWidth / 2, centre.y() - panelHeight / 2 - raise);
    panel->show();
    panel->raise();
    panel->activateWindow();
    panel->field()->setFocus();
    openPanel() = panel;
}

GoToLinePanel *openGoToLinePanel()
{
    return openPanel();
}

} // namespace vesk
