#include "glyphs.h"

#include "painting.h"

#include <QLineF>
#include <QPainterPath>
#include <QtMath>

namespace {

// --- connection and window ------------------------------------------------------------------

void plugBody(QPainter &p, qreal right)
{
    stroke(p, ink::dark, 3);
    p.drawLine(QPointF(1, 16), QPointF(right - 9, 16));
    fill(p, ink::green, ink::dark);
    p.drawRoundedRect(QRectF(right - 10, 9, 8, 14), 2, 2);
    stroke(p, ink::dark, 2.5);
    p.drawLine(QPointF(right - 2, 12.5), QPointF(right + 4, 12.5));
    p.drawLine(QPointF(right - 2, 19.5), QPointF(right + 4, 19.5));
}

void socketBody(QPainter &p, qreal left)
{
    fill(p, ink::grey, ink::dark);
    p.drawRoundedRect(QRectF(left, 8, 8, 16), 2, 2);
    stroke(p, ink::dark, 3);
    p.drawLine(QPointF(left + 8, 16), QPointF(31, 16));
}

void drawConnect(QPainter &p)
{
    plugBody(p, 15);
    socketBody(p, 19);
}

void drawDisconnect(QPainter &p)
{
    plugBody(p, 12);
    socketBody(p, 22);
    fill(p, ink::red);
    polygon(p, {{18, 5}, {14, 15}, {18, 15}, {15, 27}, {21, 13}, {17, 13}, {20, 5}});
}

void drawOptions(QPainter &p)
{
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal radius = (i % 4 < 2) ? 14.0 : 10.5;
        const qreal angle = 2 * M_PI * (i - 0.5) / (teeth * 4);
        const QPointF point(16 + radius * std::cos(angle), 16 + radius * std::sin(angle));
        if (i == 0)
            gear.moveTo(point);
        else
            gear.lineTo(point);
    }
    gear.closeSubpath();
    gear.addEllipse(QPointF(16, 16), 4.5, 4.5);
    p.setPen(QPen(ink::dark, 1.5));
    p.setBrush(ink::grey);
    p.drawPath(gear);
}

void drawExit(QPainter &p)
{
    stroke(p, ink::dark, 2);
    p.drawRect(QRectF(4, 3, 14, 26));
    fill(p, ink::brown, ink::dark, 1.5);
    polygon(p, {{4, 3}, {13, 6}, {13, 31}, {4, 29}});
    fill(p, ink::yellow);
    p.drawEllipse(QPointF(11, 17), 1.3, 1.3);
    arrow(p, {16, 16}, {31, 16}, ink::red, 3, 7);
}

void drawClose(QPainter &p)
{
    fill(p, ink::red, QColor(0xb7, 0x1c, 0x1c));
    p.drawEllipse(QPointF(16, 16), 13, 13);
    stroke(p, ink::paper, 3.5);
    p.drawLine(QPointF(11, 11), QPointF(21, 21));
    p.drawLine(QPointF(21, 11), QPointF(11, 21));
}

void roundBadge(QPainter &p, const QString &text)
{
    fill(p, ink::blue, QColor(0x15, 0x65, 0xc0));
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
    glyphText(p, QRectF(3, 3, 26, 26), text, 22, ink::paper);
}

void drawHelp(QPainter &p)
{
    roundBadge(p, QStringLiteral("?"));
}

void drawAbout(QPainter &p)
{
    roundBadge(p, QStringLiteral("i"));
}

void drawDocumentation(QPainter &p)
{
    fill(p, ink::paper, ink::dark, 1.5);
    p.drawRect(QRectF(8, 6, 19, 23));
    fill(p, ink::blue, QColor(0x15, 0x65, 0xc0), 1.5);
    p.drawRoundedRect(QRectF(5, 3, 19, 23), 2, 2);
    stroke(p, ink::paper, 2);
    p.drawLine(QPointF(10, 10), QPointF(20, 10));
    p.drawLine(QPointF(10, 15), QPointF(17, 15));
}

// --- recording and output -------------------------------------------------------------------

void trashCan(QPainter &p)
{
    fill(p, ink::light, ink::dark, 1.8);
    polygon(p, {{8, 9}, {24, 9}, {22, 29}, {10, 29}});
    stroke(p, ink::dark, 1.8);
    for (qreal x : {12.5, 16.0, 19.5})
        p.drawLine(QPointF(x, 13), QPointF(x, 25));
    stroke(p, ink::dark, 2.5);
    p.drawLine(QPointF(5, 7), QPointF(27, 7));
    stroke(p, ink::dark, 2);
    polyline(p, {{12, 7}, {13, 3}, {19, 3}, {20, 7}});
}

void drawDeleteAll(QPainter &p)
{
    trashCan(p);
    cancelBadge(p);
}

void drawPrint(QPainter &p)
{
    fill(p, ink::paper, ink::dark, 1.5);
    p.drawRect(QRectF(9, 3, 14, 10));
    fill(p, ink::grey, ink::dark, 1.5);
    p.drawRoundedRect(QRectF(3, 11, 26, 12), 2.5, 2.5);
    fill(p, ink::green);
    p.drawEllipse(QPointF(25, 15), 1.5, 1.5);
    fill(p, ink::paper, ink::dark, 1.5);
    p.drawRect(QRectF(9, 19, 14, 10));
    stroke(p, ink::grey, 1.5);
    p.drawLine(QPointF(12, 23), QPointF(20, 23));
    p.drawLine(QPointF(12, 26), QPointF(18, 26));
}

void drawSave(QPainter &p)
{
    fill(p, ink::blue, QColor(0x0d, 0x47, 0xa1), 1.5);
    polygon(p, {{4, 4}, {24, 4}, {28, 8}, {28, 28}, {4, 28}});
    fill(p, ink::light);
    p.drawRect(QRectF(9, 4.8, 13, 8));
    fill(p, ink::dark);
    p.drawRect(QRectF(17, 6, 3, 5.5));
    fill(p, ink::paper);
    p.drawRect(QRectF(8, 17, 16, 10));
    stroke(p, ink::light, 1.5);
    p.drawLine(QPointF(10, 21), QPointF(22, 21));
    p.drawLine(QPointF(10, 24), QPointF(22, 24));
}

void drawPlay(QPainter &p)
{
    fill(p, ink::green, QColor(0x1b, 0x5e, 0x20));
    polygon(p, {{9, 5}, {26, 16}, {9, 27}});
}

void drawStop(QPainter &p)
{
    fill(p, ink::red, QColor(0xb7, 0x1c, 0x1c));
    p.drawRoundedRect(QRectF(7, 7, 18, 18), 2.5, 2.5);
}

void drawPicture(QPainter &p)
{
    fill(p, ink::paper, ink::dark, 1.5);
    p.drawRect(QRectF(2, 4, 26, 21));
    landscape(p, QRectF(4.5, 6.5, 21, 16));
    fill(p, ink::blue, ink::paper, 1.2);
    p.drawEllipse(QPointF(25, 25), 6.5, 6.5);
    arrow(p, {25, 20}, {25, 30}, ink::paper, 2, 4.5);
}

void drawImage(QPainter &p)
{
    landscape(p, QRectF(3, 5, 26, 22));
    stroke(p, ink::dark, 1.5);
    p.drawRect(QRectF(3, 5, 26, 22));
}

void drawChart(QPainter &p)
{
    const QColor colors[] = {ink::blue, ink::green, ink::orange};
    const qreal heights[] = {12, 21, 16};
    for (int i = 0; i < 3; ++i) {
        fill(p, colors[i]);
        p.drawRect(QRectF(8 + i * 7, 27 - heights[i], 5, heights[i]));
    }
    chartAxes(p);
}

void drawQuxian(QPainter &p)
{
    chartAxes(p);
    QPainterPath wave;
    wave.moveTo(5, 16);
    for (int x = 5; x <= 29; ++x)
        wave.lineTo(x, 16 - 9 * std::sin((x - 5) * 2 * M_PI / 16));
    stroke(p, ink::blue, 2.2);
    p.drawPath(wave);
}

void drawLine(QPainter &p)
{
    chartAxes(p);
    const QVector<QPointF> points{{7, 22}, {12, 14}, {17, 18}, {22, 8}, {27, 12}};
    stroke(p, ink::red, 2);
    polyline(p, points);
    fill(p, ink::paper, ink::red, 1.5);
    for (const QPointF &point : points)
        p.drawEllipse(point, 2, 2);
}

void drawTable(QPainter &p)
{
    fill(p, ink::paper, ink::dark, 1.5);
    p.drawRect(QRectF(3, 5, 26, 22));
    fill(p, ink::blue);
    p.drawRect(QRectF(3.75, 5.75, 24.5, 5.5));
    stroke(p, ink::dark, 1.2);
    for (qreal y : {11.5, 16.5, 21.5})
        p.drawLine(QPointF(3, y), QPointF(29, y));
    for (qreal x : {11.5, 20.5})
        p.drawLine(QPointF(x, 5), QPointF(x, 27));
}

void drawText(QPainter &p)
{
    page(p, QRectF(6, 3, 20, 26));
    stroke(p, ink::grey, 1.8);
    for (qreal y : {10.0, 14.5, 19.0, 23.5})
        p.drawLine(QPointF(9.5, y), QPointF(y < 11 ? 17 : 22.5, y));
}

void drawExport(QPainter &p)
{
    stroke(p, ink::dark, 2.5);
    polyline(p, {{4, 18}, {4, 28}, {28, 28}, {28, 18}});
    arrow(p, {16, 24}, {16, 3}, ink::blue, 3, 8);
}

void drawImport(QPainter &p)
{
    stroke(p, ink::dark, 2.5);
    polyline(p, {{4, 18}, {4, 28}, {28, 28}, {28, 18}});
    arrow(p, {16, 3}, {16, 24}, ink::green, 3, 8);
}

// --- meter keys -----------------------------------------------------------------------------

void drawRangeAuto(QPainter &p)
{
    glyphText(p, QRectF(2, 2, 28, 28), QStringLiteral("A"), 22, ink::blue);
    stroke(p, ink::green, 2.2);
    p.drawArc(QRectF(3, 3, 26, 26), 30 * 16, 300 * 16);
    fill(p, ink::green);
    polygon(p, {{24.5, 3.5}, {28.5, 11.5}, {20.5, 11}});
}

void drawRangeManual(QPainter &p)
{
    glyphText(p, QRectF(1, 4, 22, 24), QStringLiteral("M"), 20, ink::orange);
    arrow(p, {27, 15}, {27, 3}, ink::dark, 2, 5);
    arrow(p, {27, 17}, {27, 29}, ink::dark, 2, 5);
}

void drawRel(QPainter &p)
{
    fill(p, QColor(0xe3, 0xf2, 0xfd), ink::blue, 3);
    polygon(p, {{16, 4}, {29, 27}, {3, 27}});
}

void drawFreq(QPainter &p)
{
    glyphText(p, QRectF(1, 1, 30, 15), QStringLiteral("Hz"), 15, ink::dark);
    stroke(p, ink::blue, 2);
    polyline(p, {{2, 29},
                 {7, 29},
                 {7, 20},
                 {13, 20},
                 {13, 29},
                 {19, 29},
                 {19, 20},
                 {25, 20},
                 {25, 29},
                 {30, 29}});
}

void drawHold(QPainter &p)
{
    const QColor skin(0xff, 0xcc, 0x80);
    fill(p, skin, ink::brown, 1.5);
    const qreal tops[] = {7, 4, 5, 8};
    for (int i = 0; i < 4; ++i)
        p.drawRoundedRect(QRectF(8.5 + i * 4.5, tops[i], 4.5, 16), 2.2, 2.2);
    p.save();
    p.translate(8, 20);
    p.rotate(-40);
    p.drawRoundedRect(QRectF(-2.5, -9, 5, 12), 2.4, 2.4);
    p.restore();
    p.drawRoundedRect(QRectF(8, 14, 18, 15), 5, 5);
    fill(p, skin);
    p.drawRect(QRectF(9, 13, 16, 4));
}

void drawLight(QPainter &p)
{
    stroke(p, ink::orange, 2);
    p.drawLine(QPointF(16, 1), QPointF(16, 3.5));
    p.drawLine(QPointF(4, 6), QPointF(6.5, 8));
    p.drawLine(QPointF(28, 6), QPointF(25.5, 8));
    fill(p, ink::yellow, ink::dark, 1.5);
    QPainterPath bulb;
    bulb.moveTo(12, 23);
    bulb.cubicTo(12, 19, 7, 17, 7, 13);
    bulb.cubicTo(7, 2.5, 25, 2.5, 25, 13);
    bulb.cubicTo(25, 17, 20, 19, 20, 23);
    bulb.closeSubpath();
    p.drawPath(bulb);
    fill(p, ink::grey, ink::dark, 1.2);
    p.drawRect(QRectF(12, 23, 8, 5));
    stroke(p, ink::dark, 1.2);
    p.drawLine(QPointF(12, 25.5), QPointF(20, 25.5));
    p.drawLine(QPointF(14, 30), QPointF(18, 30));
}

void peakWave(QPainter &p, const QColor &color)
{
    stroke(p, ink::red, 1.5);
    p.setPen(QPen(ink::red, 1.5, Qt::DashLine));
    p.drawLine(QPointF(2, 5), QPointF(30, 5));
    stroke(p, color, 2.2);
    polyline(p, {{2, 25}, {7, 22}, {11, 25}, {16, 5}, {20, 25}, {25, 21}, {30, 25}});
}

void drawPeak(QPainter &p)
{
    peakWave(p, ink::blue);
}

void drawExitPeak(QPainter &p)
{
    peakWave(p, ink::grey);
    cancelBadge(p);
}

void maxMinArrows(QPainter &p)
{
    stroke(p, ink::dark, 2.5);
    p.drawLine(QPointF(3, 3), QPointF(29, 3));
    p.drawLine(QPointF(3, 29), QPointF(29, 29));
    arrow(p, {10, 26}, {10, 6}, ink::red, 3, 7);
    arrow(p, {22, 6}, {22, 26}, ink::blue, 3, 7);
}

void drawExitMaxMin(QPainter &p)
{
    maxMinArrows(p);
    cancelBadge(p);
}

void drawSelect(QPainter &p)
{
    stroke(p, ink::dark, 2);
    for (int i = 0; i < 8; ++i) {
        const qreal angle = 2 * M_PI * i / 8;
        const QPointF direction(std::cos(angle), std::sin(angle));
        p.drawLine(QPointF(16, 16) + direction * 12.5, QPointF(16, 16) + direction * 15);
    }
    fill(p, ink::grey, ink::dark, 1.5);
    p.drawEllipse(QPointF(16, 16), 10, 10);
    stroke(p, ink::paper, 3);
    p.drawLine(QPointF(16, 16), QPointF(21.5, 8));
    fill(p, ink::orange);
    p.drawEllipse(QPointF(16, 16), 2.5, 2.5);
}

// --- the panel's annunciators (16 px: strokes sit on pixel centres) -------------------------

void drawBattery(QPainter &p)
{
    stroke(p, ink::dark, 2);
    p.drawRect(QRectF(3, 9, 24, 14));
    fill(p, ink::dark);
    p.drawRect(QRectF(28, 12, 3, 8));
    fill(p, ink::red);
    p.drawRect(QRectF(6, 12, 4, 8));
}

void drawContinuity(QPainter &p)
{
    fill(p, ink::dark);
    polygon(p, {{2, 13}, {8, 13}, {15, 6}, {15, 28}, {8, 21}, {2, 21}});
    stroke(p, ink::dark, 2);
    p.drawArc(QRectF(11, 11, 12, 12), -50 * 16, 100 * 16);
    p.drawArc(QRectF(7, 5, 24, 24), -50 * 16, 100 * 16);
}

void drawDiode(QPainter &p)
{
    stroke(p, ink::dark, 2);
    p.drawLine(QPointF(1, 17), QPointF(9, 17));
    p.drawLine(QPointF(23, 17), QPointF(31, 17));
    p.drawLine(QPointF(23, 7), QPointF(23, 27));
    fill(p, ink::dark);
    polygon(p, {{9, 7}, {23, 17}, {9, 27}});
}

// --- the rest of the bundle -----------------------------------------------------------------

void sevenSegmentEight(QPainter &p, qreal x)
{
    const qreal top = 9, middle = 16, bottom = 23, right = x + 8;
    const QLineF segments[] = {
        {x + 1.5, top, right - 1.5, top},           {x + 1.5, middle, right - 1.5, middle},
        {x + 1.5, bottom, right - 1.5, bottom},     {x, top + 1.5, x, middle - 1.5},
        {right, top + 1.5, right, middle - 1.5},    {x, middle + 1.5, x, bottom - 1.5},
        {right, middle + 1.5, right, bottom - 1.5},
    };
    p.setPen(QPen(ink::dark, 2.2, Qt::SolidLine, Qt::FlatCap));
    for (const QLineF &segment : segments)
        p.drawLine(segment);
}

void drawNumber(QPainter &p)
{
    fill(p, QColor(0xc5, 0xe1, 0xa5), ink::dark, 1.5);
    p.drawRoundedRect(QRectF(1.5, 5, 29, 22), 3, 3);
    sevenSegmentEight(p, 5.5);
    sevenSegmentEight(p, 18.5);
    fill(p, ink::dark);
    p.drawEllipse(QPointF(15.5, 23), 1.3, 1.3);
}

void drawList(QPainter &p)
{
    for (qreal y : {8.0, 16.0, 24.0}) {
        fill(p, ink::blue);
        p.drawEllipse(QPointF(6, y), 2.5, 2.5);
        stroke(p, ink::dark, 2.2);
        p.drawLine(QPointF(12, y), QPointF(28, y));
    }
}

void drawList2(QPainter &p)
{
    for (qreal y : {8.0, 16.0, 24.0}) {
        stroke(p, ink::dark, 1.5);
        p.drawRect(QRectF(3, y - 3, 6, 6));
        stroke(p, ink::green, 2);
        polyline(p, {{4, y}, {6, y + 2}, {10, y - 4}});
        stroke(p, ink::dark, 2.2);
        p.drawLine(QPointF(13, y), QPointF(29, y));
    }
}

void drawLive(QPainter &p)
{
    stroke(p, ink::green, 2.2);
    polyline(p, {{1, 18}, {8, 18}, {11, 10}, {15, 26}, {19, 6}, {22, 18}, {27, 18}});
    fill(p, ink::red);
    p.drawEllipse(QPointF(27, 6), 3.5, 3.5);
}

void drawActive(QPainter &p)
{
    fill(p, ink::green, QColor(0x1b, 0x5e, 0x20));
    p.drawEllipse(QPointF(16, 16), 13, 13);
    stroke(p, ink::paper, 3.5);
    polyline(p, {{9.5, 16.5}, {14, 21}, {22.5, 11}});
}

void drawStar(QPainter &p, QPointF centre, qreal outer, qreal inner)
{
    QVector<QPointF> points;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = i % 2 ? inner : outer;
        const qreal angle = -M_PI / 2 + i * M_PI / 5;
        points << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    polygon(p, points);
}

void drawNew(QPainter &p)
{
    page(p, QRectF(8, 4, 19, 25));
    fill(p, ink::yellow, ink::orange, 1.2);
    drawStar(p, {9, 9}, 8, 3.5);
}

void drawIcon(QPainter &p)
{
    fill(p, ink::yellow, ink::orange, 1.5);
    drawStar(p, {16, 17}, 14, 6);
}

void drawFunction(QPainter &p)
{
    glyphText(p, QRectF(0, 2, 32, 28), QStringLiteral("f(x)"), 16, ink::dark, true, true);
}

void drawPcDownload(QPainter &p)
{
    fill(p, ink::light, ink::dark, 1.8);
    p.drawRoundedRect(QRectF(2, 3, 28, 19), 1.5, 1.5);
    fill(p, ink::dark);
    polygon(p, {{13, 22}, {19, 22}, {21, 28}, {11, 28}});
    p.drawRect(QRectF(8, 27.5, 16, 2.5));
    arrow(p, {16, 5}, {16, 20}, ink::green, 3, 7);
}

void drawRename(QPainter &p)
{
    fill(p, ink::paper, ink::dark, 1.5);
    p.drawRect(QRectF(2, 9, 28, 14));
    glyphText(p, QRectF(3, 9, 17, 14), QStringLiteral("ab"), 12, ink::dark);
    stroke(p, ink::blue, 2);
    p.drawLine(QPointF(23, 6), QPointF(23, 26));
    p.drawLine(QPointF(20.5, 6), QPointF(25.5, 6));
    p.drawLine(QPointF(20.5, 26), QPointF(25.5, 26));
}

void drawSdCard(QPainter &p)
{
    fill(p, ink::blue, QColor(0x0d, 0x47, 0xa1), 1.5);
    polygon(p, {{7, 2}, {21, 2}, {26, 7}, {26, 30}, {7, 30}});
    fill(p, QColor(0xff, 0xc1, 0x07));
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(9.5 + i * 3.5, 4, 2, 6));
    glyphText(p, QRectF(7, 16, 19, 12), QStringLiteral("SD"), 10, ink::paper);
}

void drawRom(QPainter &p)
{
    stroke(p, ink::grey, 2);
    for (qreal y : {8.0, 13.0, 18.0, 23.0}) {
        p.drawLine(QPointF(3, y), QPointF(8, y));
        p.drawLine(QPointF(24, y), QPointF(29, y));
    }
    fill(p, ink::dark);
    p.drawRoundedRect(QRectF(7, 4, 18, 24), 1.5, 1.5);
    fill(p, ink::grey);
    p.drawEllipse(QPointF(11, 8), 1.5, 1.5);
    p.drawPie(QRectF(13, 1, 6, 6), 180 * 16, 180 * 16);
}

void drawEraser(QPainter &p)
{
    p.save();
    p.translate(16, 14);
    p.rotate(-35);
    fill(p, QColor(0xf4, 0x8f, 0xb1), ink::dark, 1.5);
    p.drawRect(QRectF(-4, -6, 16, 12));
    fill(p, ink::blue, ink::dark, 1.5);
    p.drawRect(QRectF(-12, -6, 8, 12));
    p.restore();
    stroke(p, ink::dark, 1.5);
    p.drawLine(QPointF(4, 29), QPointF(28, 29));
}

void drawCircle(QPainter &p)
{
    stroke(p, ink::blue, 2.5);
    p.drawEllipse(QPointF(16, 16), 12, 12);
}

void drawRectangle(QPainter &p)
{
    stroke(p, ink::blue, 2.5);
    p.drawRect(QRectF(4, 8, 24, 16));
}

void drawDot(QPainter &p)
{
    fill(p, ink::dark);
    p.drawEllipse(QPointF(16, 16), 6, 6);
}

void drawCursor(QPainter &p)
{
    fill(p, ink::paper, ink::dark, 1.8);
    polygon(p, {{8, 3}, {8, 26}, {13.5, 20.5}, {17.5, 29}, {21, 27.5}, {17, 19.5}, {24.5, 19}});
}

void drawItem(QPainter &p)
{
    fill(p, ink::orange, QColor(0xe6, 0x51, 0x00), 1.5);
    polygon(p, {{3, 9}, {21, 9}, {29, 16}, {21, 23}, {3, 23}});
    fill(p, ink::paper);
    p.drawEllipse(QPointF(21, 16), 2.2, 2.2);
}

void drawArrow2(QPainter &p)
{
    arrow(p, {16, 16}, {30, 16}, ink::dark, 2.5, 7);
    arrow(p, {16, 16}, {2, 16}, ink::dark, 2.5, 7);
}

void drawDir(QPainter &p)
{
    fill(p, QColor(0xff, 0xb3, 0x00), QColor(0xe6, 0x7e, 0x00), 1.5);
    polygon(p, {{2, 6}, {11, 6}, {14, 9}, {30, 9}, {30, 27}, {2, 27}});
    fill(p, ink::yellow, QColor(0xe6, 0x7e, 0x00), 1.5);
    polygon(p, {{2, 27}, {5, 13}, {31, 13}, {30, 27}});
}

void drawPalette(QPainter &p)
{
    QPainterPath board;
    board.addEllipse(QRectF(2, 4, 28, 24));
    board.addEllipse(QPointF(20, 21), 3, 3);
    p.setPen(QPen(ink::brown, 1.5));
    p.setBrush(QColor(0xff, 0xe0, 0xb2));
    p.drawPath(board);
    const std::pair<QPointF, QColor> paints[] = {
        {{9, 11}, ink::red}, {{16, 9}, ink::yellow}, {{23, 11}, ink::blue}, {{9, 19}, ink::green}};
    for (const auto &[centre, color] : paints) {
        fill(p, color);
        p.drawEllipse(centre, 2.8, 2.8);
    }
}

void drawCalculate(QPainter &p)
{
    fill(p, ink::grey, ink::dark, 1.5);
    p.drawRoundedRect(QRectF(5, 2, 22, 28), 2.5, 2.5);
    fill(p, QColor(0xc5, 0xe1, 0xa5), ink::dark, 1);
    p.drawRect(QRectF(8, 5, 16, 6));
    fill(p, ink::paper);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            p.drawRect(QRectF(8 + column * 6, 14 + row * 5, 4, 3.5));
}

void drawMeasure(QPainter &p)
{
    p.save();
    p.translate(16, 16);
    p.rotate(-30);
    fill(p, ink::yellow, ink::dark, 1.5);
    p.drawRect(QRectF(-15, -5.5, 30, 11));
    stroke(p, ink::dark, 1.3);
    for (int i = 0; i < 7; ++i) {
        const qreal x = -12 + i * 4;
        p.drawLine(QPointF(x, -5.5), QPointF(x, i % 2 ? -2.5 : 0));
    }
    p.restore();
}

void drawView(QPainter &p)
{
    QPainterPath eye;
    eye.moveTo(2, 16);
    eye.quadTo(16, 2, 30, 16);
    eye.quadTo(16, 30, 2, 16);
    p.setPen(QPen(ink::dark, 1.8));
    p.setBrush(ink::paper);
    p.drawPath(eye);
    fill(p, ink::blue);
    p.drawEllipse(QPointF(16, 16), 6, 6);
    fill(p, ink::dark);
    p.drawEllipse(QPointF(16, 16), 2.5, 2.5);
}

} // namespace

void drawMeter(QPainter &p)
{
    fill(p, QColor(0xff, 0xb3, 0x00), QColor(0xbf, 0x6f, 0x00), 1.5);
    p.drawRoundedRect(QRectF(5, 1, 22, 30), 4, 4);
    fill(p, QColor(0xc5, 0xe1, 0xa5), ink::dark, 1.2);
    p.drawRect(QRectF(8, 4, 16, 8));
    glyphText(p, QRectF(8, 4, 16, 8), QStringLiteral("8.8"), 8, ink::dark);
    fill(p, ink::dark);
    p.drawEllipse(QPointF(16, 19), 5, 5);
    stroke(p, ink::paper, 1.8);
    p.drawLine(QPointF(16, 19), QPointF(18.5, 15));
    fill(p, ink::red);
    p.drawEllipse(QPointF(11, 27.5), 1.8, 1.8);
    fill(p, ink::dark);
    p.drawEllipse(QPointF(21, 27.5), 1.8, 1.8);
}

const QVector<Glyph> &glyphs()
{
    static const QVector<Glyph> all{
        {QStringLiteral("line.png"), 32, drawLine},
        {QStringLiteral("print.png"), 32, drawPrint},
        {QStringLiteral("exit2.png"), 32, drawExitPeak},
        {QStringLiteral("exit3.png"), 32, drawExitMaxMin},
        {QStringLiteral("list.png"), 32, drawList},
        {QStringLiteral("live.png"), 32, drawLive},
        {QStringLiteral("active.png"), 32, drawActive},
        {QStringLiteral("play.png"), 32, drawPlay},
        {QStringLiteral("max.png"), 32, maxMinArrows},
        {QStringLiteral("new.png"), 32, drawNew},
        {QStringLiteral("deleteAll.png"), 32, drawDeleteAll},
        {QStringLiteral("function.png"), 32, drawFunction},
        {QStringLiteral("pcdownload.png"), 32, drawPcDownload},
        {QStringLiteral("hold.png"), 32, drawHold},
        {QStringLiteral("close.png"), 32, drawClose},
        {QStringLiteral("import.png"), 32, drawImport},
        {QStringLiteral("export.png"), 32, drawExport},
        {QStringLiteral("xudianchi.png"), 16, drawBattery},
        {QStringLiteral("options.png"), 32, drawOptions},
        {QStringLiteral("about.png"), 32, drawAbout},
        {QStringLiteral("sc.png"), 16, drawContinuity},
        {QStringLiteral("image.png"), 32, drawImage},
        {QStringLiteral("rename.png"), 32, drawRename},
        {QStringLiteral("SDCard.png"), 32, drawSdCard},
        {QStringLiteral("chart.png"), 32, drawChart},
        {QStringLiteral("rel.png"), 32, drawRel},
        {QStringLiteral("freq.png"), 32, drawFreq},
        {QStringLiteral("save.png"), 32, drawSave},
        {QStringLiteral("number.png"), 32, drawNumber},
        {QStringLiteral("table.png"), 32, drawTable},
        {QStringLiteral("rom.png"), 32, drawRom},
        {QStringLiteral("eraser.png"), 32, drawEraser},
        {QStringLiteral("circle.png"), 32, drawCircle},
        {QStringLiteral("icon.png"), 32, drawIcon},
        {QStringLiteral("cursor.png"), 32, drawCursor},
        {QStringLiteral("list2.png"), 32, drawList2},
        {QStringLiteral("diode2.png"), 16, drawDiode},
        {QStringLiteral("disconnect.png"), 32, drawDisconnect},
        {QStringLiteral("item.png"), 32, drawItem},
        {QStringLiteral("arrow-2.png"), 32, drawArrow2},
        {QStringLiteral("dir.png"), 32, drawDir},
        {QStringLiteral("palette.png"), 32, drawPalette},
        {QStringLiteral("stop.png"), 32, drawStop},
        {QStringLiteral("dot.png"), 32, drawDot},
        {QStringLiteral("manual.png"), 32, drawRangeManual},
        {QStringLiteral("connect.png"), 32, drawConnect},
        {QStringLiteral("peak.png"), 32, drawPeak},
        {QStringLiteral("documentation.png"), 32, drawDocumentation},
        {QStringLiteral("calculate.png"), 32, drawCalculate},
        {QStringLiteral("select.png"), 32, drawSelect},
        {QStringLiteral("help.png"), 32, drawHelp},
        {QStringLiteral("measure.png"), 32, drawMeasure},
        {QStringLiteral("picture.png"), 32, drawPicture},
        {QStringLiteral("delete.png"), 32, trashCan},
        {QStringLiteral("auto.png"), 32, drawRangeAuto},
        {QStringLiteral("text.png"), 32, drawText},
        {QStringLiteral("VIEW.png"), 32, drawView},
        {QStringLiteral("light.png"), 32, drawLight},
        {QStringLiteral("exit.png"), 32, drawExit},
        {QStringLiteral("rectangle.png"), 32, drawRectangle},
        {QStringLiteral("quxian.png"), 32, drawQuxian},
    };
    return all;
}
