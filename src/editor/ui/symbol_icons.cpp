#include "editor/ui/symbol_icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>
#include <functional>

namespace vesk {

namespace {

// Shapes are drawn on a 20 × 20 grid that the painter scales to the requested size.
constexpr double grid = 20.0;

enum class Mark { none, pencil, plus, minus, arrowRight, question, xmark, checkmark };

QPen strokePen(const QColor &color, double width)
{
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void drawMark(QPainter &p, Mark mark, const QColor &color)
{
    p.setPen(strokePen(color, 1.9));
    p.setBrush(Qt::NoBrush);
    switch (mark) {
    case Mark::none:
        break;
    case Mark::pencil: {
        QPainterPath pencil;
        pencil.moveTo(6.0, 14.0);
        pencil.lineTo(6.6, 11.4);
        pencil.lineTo(11.9, 6.1);
        pencil.lineTo(13.9, 8.1);
        pencil.lineTo(8.6, 13.4);
        pencil.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawPath(pencil);
        p.drawEllipse(QPointF(13.3, 6.7), 1.2, 1.2);
        break;
    }
    case Mark::plus:
        p.drawLine(QPointF(10, 6), QPointF(10, 14));
        p.drawLine(QPointF(6, 10), QPointF(14, 10));
        break;
    case Mark::minus:
        p.drawLine(QPointF(6, 10), QPointF(14, 10));
        break;
    case Mark::arrowRight:
        p.drawLine(QPointF(5.8, 10), QPointF(14, 10));
        p.drawPolyline(QPolygonF({QPointF(10.8, 6.8), QPointF(14, 10), QPointF(10.8, 13.2)}));
        break;
    case Mark::question: {
        QPainterPath hook;
        hook.moveTo(7.6, 8.0);
        hook.cubicTo(7.6, 5.2, 12.6, 5.2, 12.6, 8.0);
        hook.cubicTo(12.6, 9.8, 10.0, 9.9, 10.0, 11.8);
        p.drawPath(hook);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QPointF(10.0, 14.4), 1.1, 1.1);
        break;
    }
    case Mark::xmark:
        p.drawLine(QPointF(7, 7), QPointF(13, 13));
        p.drawLine(QPointF(13, 7), QPointF(7, 13));
        break;
    case Mark::checkmark:
        p.drawPolyline(QPolygonF({QPointF(6.2, 10.4), QPointF(8.9, 13.1), QPointF(13.8, 7.2)}));
        break;
    }
}

void circled(QPainter &p, const QColor &color, Mark mark, bool filled)
{
    const QRectF disc(2, 2, 16, 16);
    if (filled) {
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(disc);
        drawMark(p, mark, Qt::white);
    } else {
        p.setPen(strokePen(color, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(disc.adjusted(0.75, 0.75, -0.75, -0.75));
        drawMark(p, mark, color);
    }
}

void triangleExclamation(QPainter &p, const QColor &color)
{
    QPainterPath triangle;
    triangle.moveTo(10, 2.2);
    triangle.lineTo(18.6, 17.2);
    triangle.lineTo(1.4, 17.2);
    triangle.closeSubpath();
    p.setPen(strokePen(color, 1.4));
    p.setBrush(color);
    p.drawPath(triangle);
    p.setPen(strokePen(Qt::white, 1.9));
    p.drawLine(QPointF(10, 7.4), QPointF(10, 11.6));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(10, 14.4), 1.1, 1.1);
}

void folder(QPainter &p, const QColor &color, bool filled)
{
    QPainterPath path;
    path.moveTo(2, 5.5);
    path.lineTo(7.8, 5.5);
    path.lineTo(9.4, 7);
    path.lineTo(18, 7);
    path.lineTo(18, 16);
    path.lineTo(2, 16);
    path.closeSubpath();
    p.setPen(strokePen(color, 1.4));
    p.setBrush(filled ? QBrush(color) : QBrush());
    p.drawPath(path);
}

QPainterPath page()
{
    QPainterPath path;
    path.moveTo(4.5, 2.2);
    path.lineTo(11.8, 2.2);
    path.lineTo(15.5, 5.9);
    path.lineTo(15.5, 17.8);
    path.lineTo(4.5, 17.8);
    path.closeSubpath();
    return path;
}

void document(QPainter &p, const QColor &color, bool filled)
{
    p.setPen(strokePen(color, 1.3));
    p.setBrush(filled ? QBrush(color) : QBrush());
    p.drawPath(page());
}

void documentMagnifier(QPainter &p, const QColor &color)
{
    document(p, color, false);
    p.setPen(strokePen(color, 1.1));
    p.drawLine(QPointF(6.8, 7), QPointF(11.5, 7));
    p.drawLine(QPointF(6.8, 9.4), QPointF(10, 9.4));
    p.setPen(strokePen(color, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(11.8, 12.6), 2.6, 2.6);
    p.drawLine(QPointF(13.8, 14.6), QPointF(16.6, 17.4));
}

void branch(QPainter &p, const QColor &color)
{
    p.setPen(strokePen(color, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(6, 5.8), QPointF(6, 14.2));
    QPainterPath curve;
    curve.moveTo(14, 7.8);
    curve.cubicTo(14, 11, 6, 10, 6, 13.5);
    p.drawPath(curve);
    p.drawEllipse(QPointF(6, 4), 1.8, 1.8);
    p.drawEllipse(QPointF(6, 16), 1.8, 1.8);
    p.drawEllipse(QPointF(14, 6), 1.8, 1.8);
}

void chevron(QPainter &p, const QColor &color, bool down)
{
    p.setPen(strokePen(color, 1.8));
    p.setBrush(Qt::NoBrush);
    if (down) {
        p.drawPolyline(QPolygonF({QPointF(5.5, 7.8), QPointF(10, 12.3), QPointF(14.5, 7.8)}));
    } else {
        p.drawPolyline(QPolygonF({QPointF(7.8, 5.5), QPointF(12.3, 10), QPointF(7.8, 14.5)}));
    }
}

void star(QPainter &p, const QColor &color, bool filled)
{
    QPolygonF points;
    for (int i = 0; i < 10; ++i) {
        const double radius = i % 2 == 0 ? 8.2 : 3.6;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        points.append(QPointF(10 + radius * std::cos(angle), 10.6 + radius * std::sin(angle)));
    }
    p.setPen(strokePen(color, 1.2));
    p.setBrush(filled ? QBrush(color) : QBrush());
    p.drawPolygon(points);
}

// A small "+" badge at the lower right, on a cut-out disc so it reads over the base shape.
void plusBadge(QPainter &p, const QColor &color)
{
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(15, 15), 5, 5);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setBrush(color);
    p.drawEllipse(QPointF(15, 15), 4, 4);
    p.setPen(strokePen(Qt::white, 1.4));
    p.drawLine(QPointF(15, 12.8), QPointF(15, 17.2));
    p.drawLine(QPointF(12.8, 15), QPointF(17.2, 15));
}

void window(QPainter &p, const QColor &color)
{
    p.setPen(strokePen(color, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2, 3.5, 15, 12), 2, 2);
    p.drawLine(QPointF(2, 6.8), QPointF(17, 6.8));
}

void pencil(QPainter &p, const QColor &color)
{
    QPainterPath body;
    body.moveTo(3.5, 16.5);
    body.lineTo(4.5, 12.5);
    body.lineTo(13.5, 3.5);
    body.lineTo(16.5, 6.5);
    body.lineTo(7.5, 15.5);
    body.closeSubpath();
    p.setPen(strokePen(color, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(body);
    p.drawLine(QPointF(11.8, 5.2), QPointF(14.8, 8.2));
}

void trash(QPainter &p, const QColor &color)
{
    p.setPen(strokePen(color, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(3.5, 5), QPointF(16.5, 5));
    p.drawPolyline(QPolygonF({QPointF(7.5, 5), QPointF(8, 2.8), QPointF(12, 2.8), QPointF(12.5, 5)}));
    p.drawPolyline(QPolygonF({QPointF(5, 5), QPointF(6, 17.5), QPointF(14, 17.5), QPointF(15, 5)}));
    p.drawLine(QPointF(8.5, 8), QPointF(8.7, 14.5));
    p.drawLine(QPointF(11.5, 8), QPointF(11.3, 14.5));
}

void magnifier(QPainter &p, const QColor &color)
{
    p.setPen(strokePen(color, 1.7));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8.5, 8.5), 5.2, 5.2);
    p.drawLine(QPointF(12.3, 12.3), QPointF(16.8, 16.8));
}

void clockArrow(QPainter &p, const QColor &color)
{
    p.setPen(strokePen(color, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3, 3, 14, 14), 200 * 16, -310 * 16);
    p.drawPolyline(QPolygonF({QPointF(2.2, 7.6), QPointF(3.6, 10.6), QPointF(6.4, 8.8)}));
    p.drawPolyline(QPolygonF({QPointF(10, 6.2), QPointF(10, 10), QPointF(12.8, 11.6)}));
}

// A brush held at a slant: the handle up right, the ferrule, and the bristles' tip down left.
void paintbrush(QPainter &p, const QColor &color)
{
    p.setPen(strokePen(color, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(16.8, 3.2), QPointF(10.6, 9.4));
    QPainterPath bristles;
    bristles.moveTo(10.9, 9.1);
    bristles.cubicTo(QPointF(12.6, 10.8), QPointF(11.4, 13.9), QPointF(8.6, 14.4));
    bristles.cubicTo(QPointF(6.6, 14.8), QPointF(5.0, 15.4), QPointF(3.2, 17.0));
    bristles.cubicTo(QPointF(3.6, 14.6), QPointF(4.4, 12.8), QPointF(5.6, 11.6));
    bristles.cubicTo(QPointF(6.9, 9.3), QPointF(9.3, 7.5), QPointF(10.9, 9.1));
    p.setBrush(color);
    p.setPen(strokePen(color, 0.8));
    p.drawPath(bristles);
}

// "</>": two chevrons with a slash between them.
void codeBrackets(QPainter &p, const QColor &color)
{
    p.setPen(strokePen(color, 1.7));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(6.2, 5.6), QPointF(1.8, 10), QPointF(6.2, 14.4)}));
    p.drawPolyline(QPolygonF({QPointF(13.8, 5.6), QPointF(18.2, 10), QPointF(13.8, 14.4)}));
    p.drawLine(QPointF(11.6, 4.2), QPointF(8.4, 15.8));
}

using Painter = std::function<void(QPainter &, const QColor &)>;

const QList<std::pair<QString, Painter>> &painters()
{
    static const QList<std::pair<QString, Painter>> table = {
        {QStringLiteral("circle"), [](QPainter &p, const QColor &c) { circled(p, c, Mark::none, false); }},
        {QStringLiteral("pencil.circle"), [](QPainter &p, const QColor &c) { circled(p, c, Mark::pencil, false); }},
        {QStringLiteral("pencil.circle.fill"), [](QPainter &p, const QColor &c) { circled(p, c, Mark::pencil, true); }},
        {QStringLiteral("plus.circle.fill"), [](QPainter &p, const QColor &c) { circled(p, c, Mark::plus, true); }},
        {QStringLiteral("minus.circle.fill"), [](QPainter &p, const QColor &c) { circled(p, c, Mark::minus, true); }},
        {QStringLiteral("arrow.right.circle.fill"),
         [](QPainter &p, const QColor &c) { circled(p, c, Mark::arrowRight, true); }},
        {QStringLiteral("questionmark.circle.fill"),
         [](QPainter &p, const QColor &c) { circled(p, c, Mark::question, true); }},
        {QStringLiteral("xmark.circle.fill"), [](QPainter &p, const QColor &c) { circled(p, c, Mark::xmark, true); }},
        {QStringLiteral("checkmark.circle.fill"),
         [](QPainter &p, const QColor &c) { circled(p, c, Mark::checkmark, true); }},
        {QStringLiteral("exclamationmark.triangle.fill"), triangleExclamation},
        {QStringLiteral("xmark"), [](QPainter &p, const QColor &c) { drawMark(p, Mark::xmark, c); }},
        {QStringLiteral("plus"), [](QPainter &p, const QColor &c) { drawMark(p, Mark::plus, c); }},
        {QStringLiteral("folder"), [](QPainter &p, const QColor &c) { folder(p, c, false); }},
        {QStringLiteral("folder.fill"), [](QPainter &p, const QColor &c) { folder(p, c, true); }},
        {QStringLiteral("doc.fill"), [](QPainter &p, const QColor &c) { document(p, c, true); }},
        {QStringLiteral("doc.text.magnifyingglass"), documentMagnifier},
        {QStringLiteral("arrow.triangle.branch"), branch},
        {QStringLiteral("checkmark.circle"), [](QPainter &p, const QColor &c) { circled(p, c, Mark::checkmark, false); }},
        {QStringLiteral("chevron.down"), [](QPainter &p, const QColor &c) { chevron(p, c, true); }},
        {QStringLiteral("chevron.right"), [](QPainter &p, const QColor &c) { chevron(p, c, false); }},
        {QStringLiteral("star"), [](QPainter &p, const QColor &c) { star(p, c, false); }},
        {QStringLiteral("star.fill"), [](QPainter &p, const QColor &c) { star(p, c, true); }},
        {QStringLiteral("doc.badge.plus"),
         [](QPainter &p, const QColor &c) {
             document(p, c, false);
             plusBadge(p, c);
         }},
        {QStringLiteral("folder.badge.plus"),
         [](QPainter &p, const QColor &c) {
             folder(p, c, false);
             plusBadge(p, c);
         }},
        {QStringLiteral("macwindow.badge.plus"),
         [](QPainter &p, const QColor &c) {
             window(p, c);
             plusBadge(p, c);
         }},
        {QStringLiteral("pencil"), pencil},
        {QStringLiteral("trash"), trash},
        {QStringLiteral("magnifyingglass"), magnifier},
        {QStringLiteral("clock.arrow.circlepath"), clockArrow},
        {QStringLiteral("paintbrush"), paintbrush},
        {QStringLiteral("chevron.left.forwardslash.chevron.right"), codeBrackets},
    };
    return table;
}

const Painter *painterFor(const QString &name)
{
    for (const auto &[known, painter] : painters()) {
        if (known == name) {
            return &painter;
        }
    }
    return nullptr;
}

class SymbolIconEngine : public QIconEngine
{
public:
    SymbolIconEngine(const Painter &painter, const QColor &color)
        : m_painter(painter)
        , m_color(color)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const double side = std::min(rect.width(), rect.height());
        painter->translate(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2);
        painter->scale(side / grid, side / grid);
        if (mode == QIcon::Disabled) {
            painter->setOpacity(0.4);
        }
        m_painter(*painter, m_color);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` is in device pixels already; `scale` is the pixel density it is meant for.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        pixmap.setDevicePixelRatio(scale);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), (QSizeF(size) / scale).toSize()), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new SymbolIconEngine(m_painter, m_color); }

private:
    Painter m_painter;
    QColor m_color;
};

} // namespace

QIcon symbolIcon(const QString &name, const QColor &color)
{
    const Painter *painter = painterFor(name);
    return painter ? QIcon(new SymbolIconEngine(*painter, color)) : QIcon();
}

QStringList symbolNames()
{
    QStringList names;
    for (const auto &entry : painters()) {
        names.append(entry.first);
    }
    return names;
}

} // namespace vesk
