#include "patch/ui/patch_result_strip.h"

#include "editor/ui/bar_style.h"
#include "editor/ui/editor_colors.h"
#include "editor/ui/symbol_icons.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vesk {

namespace {

constexpr int iconSize = 14;

QString count(qsizetype n, const char *what)
{
    return QString::asprintf("%lld ", static_cast<long long>(n)) + QLatin1String(what);
}

} // namespace

PatchResultStrip::PatchResultStrip(QWidget *parent)
    : QWidget(parent)
    , m_appliedIcon(new QLabel(this))
    , m_applied(new QLabel(this))
    , m_skippedIcon(new QLabel(this))
    , m_skipped(new QLabel(this))
    , m_errors(new QToolButton(this))
    , m_hide(new QToolButton(this))
{
    setObjectName(QStringLiteral("patchResultStrip"));
    m_errors->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_errors->setAutoRaise(true);
    m_errors->setIconSize(QSize(iconSize, iconSize));
    m_hide->setAutoRaise(true);
    m_hide->setToolTip(QStringLiteral("Hide"));
    m_hide->setIconSize(QSize(10, 10));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_appliedIcon);
    layout->addWidget(m_applied);
    layout->addSpacing(6);
    layout->addWidget(m_skippedIcon);
    layout->addWidget(m_skipped);
    layout->addSpacing(2);
    layout->addWidget(m_errors);
    layout->addWidget(m_hide);

    connect(m_hide, &QToolButton::clicked, this, &QWidget::hide);
    connect(m_errors, &QToolButton::clicked, this, &PatchResultStrip::showErrorList);
    restyle();
    setResult({});
}

void PatchResultStrip::setResult(const PatchApplyResult &result)
{
    m_result = result;
    m_applied->setText(count(result.applied.size(), "applied"));
    m_skipped->setText(count(result.skipped.size(), "skipped"));
    m_errors->setText(count(result.errors.size(), "errors"));
    m_errors->setEnabled(!result.errors.isEmpty());
    m_errors->setToolTip(result.errors.join(u'\n'));
    m_applied->setToolTip(result.applied.join(u'\n'));
    m_skipped->setToolTip(result.skipped.join(u'\n'));
    if (m_errorList) {
        m_errorList->close();
    }
}

QWidget *PatchResultStrip::errorList() const
{
    return m_errorList;
}

void PatchResultStrip::showErrorList()
{
    if (m_result.errors.isEmpty()) {
        return;
    }
    auto *popup = new QFrame(this, Qt::Popup);
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setFrameShape(QFrame::StyledPanel);
    popup->setObjectName(QStringLiteral("patchErrorList"));
    auto *text = new QPlainTextEdit(popup);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text->setPlainText(m_result.errors.join(u'\n'));
    auto *layout = new QVBoxLayout(popup);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(text);
    popup->resize(480, std::min(320, 40 + 18 * int(m_result.errors.size())));
    popup->move(m_errors->mapToGlobal(QPoint(0, m_errors->height())));
    popup->show();
    m_errorList = popup;
}

void PatchResultStrip::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        restyle();
    }
}

void PatchResultStrip::restyle()
{
    const QPalette &pal = palette();
    setSymbol(m_appliedIcon, QStringLiteral("checkmark.circle.fill"), systemColor(SystemColor::green, pal), iconSize);
    setSymbol(m_skippedIcon, QStringLiteral("minus.circle.fill"), secondaryLabelColor(pal), iconSize);
    m_errors->setIcon(symbolIcon(QStringLiteral("xmark.circle.fill"), systemColor(SystemColor::red, pal)));
    m_hide->setIcon(symbolIcon(QStringLiteral("xmark"), secondaryLabelColor(pal)));
}

} // namespace vesk
