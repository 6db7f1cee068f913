#pragma once

#include <QColor>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>

// Drawing helpers shared by the glyphs. Every glyph is drawn on a 32×32 grid; the painter is
// scaled to the size of the file being written.
namespace ink {
const QColor dark(0x37, 0x47, 0x4f);
const QColor grey(0x78, 0x90, 0x9c);
const QColor light(0xcf, 0xd8, 0xdc);
const QColor paper(0xff, 0xff, 0xff);
const QColor blue(0x1e, 0x88, 0xe5);
const QColor green(0x43, 0xa0, 0x47);
const QColor red(0xe5, 0x39, 0x35);
const QColor orange(0xfb, 0x8c, 0x00);
const QColor yellow(0xfd, 0xd8, 0x35);
const QColor brown(0x8d, 0x6e, 0x63);
} // namespace ink

// Sets a round-capped pen of the colour and width and no brush.
void stroke(QPainter &p, const QColor &color, qreal width = 2.0);
// Sets a fill brush with an outline pen (no outline when outline is invalid).
void fill(QPainter &p, const QColor &color, const QColor &outline = QColor(), qreal width = 1.5);
void polyline(QPainter &p, const QVector<QPointF> &points);
void polygon(QPainter &p, const QVector<QPointF> &points);
// An arrow from `from` to `to` with a filled head of the given length.
void arrow(QPainter &p, QPointF from, QPointF to, const QColor &color, qreal width = 2.5,
           qreal head = 7.0);
// Text drawn as a filled outline, centred in box, as large as pixelSize.
void glyphText(QPainter &p, const QRectF &box, const QString &text, int pixelSize,
               const QColor &color, bool bold = true, bool italic = false);
// A red disc with a white cross in the lower right corner: "leave this mode".
void cancelBadge(QPainter &p);
// The axes of a small chart in the lower left.
void chartAxes(QPainter &p);
// A sheet of paper with a folded upper right corner.
void page(QPainter &p, const QRectF &r);
// A landscape: sky, sun and two green hills inside r.
void landscape(QPainter &p, const QRectF &r);
