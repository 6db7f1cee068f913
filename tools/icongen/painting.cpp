#include "painting.h"

#include <QFont>
#include <QLineF>
#include <QPainterPath>
#include <QtMath>

void stroke(QPainter &p, const QColor &color, qreal width)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
}

void fill(QPainter &p, const QColor &color, const QColor &outline, qreal width)
{
    if (outline.isValid())
        p.setPen(QPen(outline, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        p.setPen(Qt::NoPen);
    p.setBrush(color);
}

void polyline(QPainter &p, const QVector<QPointF> &points)
{
    p.drawPolyline(points.constData(), points.size());
}

void polygon(QPainter &p, const QVector<QPointF> &points)
{
    p.drawPolygon(points.constData(), points.size());
}

void arrow(QPainter &p, QPointF from, QPointF to, const QColor &color, qreal width, qreal head)
{
    const QLineF shaft(from, to);
    const qreal angle = qDegreesToRadians(shaft.angle());
    // Stop the shaft inside the head so that its round cap does not poke through the tip.
    const QPointF back(to.x() - head * std::cos(angle), to.y() + head * std::sin(angle));
    stroke(p, color, width);
    p.drawLine(from, back);
    const QPointF side(head * 0.6 * std::sin(angle), head * 0.6 * std::cos(angle));
    fill(p, color);
    polygon(p, {to, back + side, back - side});
}

void glyphText(QPainter &p, const QRectF &box, const QString &text, int pixelSize,
               const QColor &color, bool bold, bool italic)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF bounds = path.boundingRect();
    path.translate(box.center() - bounds.center());
    p.fillPath(path, color);
}

void cancelBadge(QPainter &p)
{
    fill(p, ink::red, ink::paper, 1.5);
    p.drawEllipse(QPointF(24, 24), 7, 7);
    stroke(p, ink::paper, 2.2);
    p.drawLine(QPointF(21, 21), QPointF(27, 27));
    p.drawLine(QPointF(27, 21), QPointF(21, 27));
}

void chartAxes(QPainter &p)
{
    stroke(p, ink::dark, 2);
    polyline(p, {{4, 3}, {4, 28}, {29, 28}});
}

void page(QPainter &p, const QRectF &r)
{
    const qreal fold = r.width() * 0.35;
    fill(p, ink::paper, ink::dark, 1.6);
    polygon(p, {r.topLeft(),
                {r.right() - fold, r.top()},
                {r.right(), r.top() + fold},
                r.bottomRight(),
                r.bottomLeft()});
    fill(p, ink::light, ink::dark, 1.2);
    polygon(p, {{r.right() - fold, r.top()},
                {r.right() - fold, r.top() + fold},
                {r.right(), r.top() + fold}});
}

void landscape(QPainter &p, const QRectF &r)
{
    p.save();
    p.setClipRect(r);
    fill(p, QColor(0xbb, 0xde, 0xfb));
    p.drawRect(r);
    fill(p, ink::yellow);
    p.drawEllipse(QPointF(r.left() + r.width() * 0.72, r.top() + r.height() * 0.3),
                  r.height() * 0.15, r.height() * 0.15);
    fill(p, ink::green);
    const qreal base = r.bottom();
    polygon(p, {{r.left(), base},
                {r.left() + r.width() * 0.35, r.top() + r.height() * 0.35},
                {r.left() + r.width() * 0.7, base}});
    fill(p, QColor(0x2e, 0x7d, 0x32));
    polygon(p, {{r.left() + r.width() * 0.4, base},
                {r.left() + r.width() * 0.7, r.top() + r.height() * 0.55},
                {r.right(), base}});
    p.restore();
}
