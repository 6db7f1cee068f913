#include "record/chartline.h"

#include "record/dmmchart.h"

#include <QPainter>
#include <QPen>
#include <cmath>

namespace {

// Pixel row of a value. Rows far outside any image (a value that is not finite) are pinned, so
// the conversion to int stays defined.
int pixelRow(double row)
{
    constexpr double kLimit = 1 << 24;
    if (!(row > -kLimit))
        return int(-kLimit);
    if (!(row < kLimit))
        return int(kLimit);
    return int(row);
}

} // namespace

ChartLine::ChartLine(DMMChart *chart)
    : QObject(chart)
    , m_chart(chart)
{
}

void ChartLine::append(ChartPoint *point)
{
    m_store.append(*point);
    delete point;
}

void ChartLine::clear()
{
    m_store.clear();
}

void ChartLine::updateRange(int first, int last)
{
    const ChartPointStore::Range range = m_store.valueRange(first, last);
    m_min = range.min;
    m_max = range.max;
}

void ChartLine::setSteps(double xStep, double yScale, int visibleCount)
{
    m_xStep = xStep;
    m_yScale = yScale;
    m_positions = ScreenPositions(xStep, visibleCount);
}

template<class Sink>
void ChartLine::mapSamples(int first, int last, const Mapping &mapping, Sink sink) const
{
    int k = 0;
    const double zero = mapping.zeroLine;
    m_store.forEachValue(first, last, [&](double value) {
        sink(int(k * mapping.xStep + mapping.plotX),
             pixelRow(zero - mapping.yScale * value * mapping.multiplier));
        ++k;
    });
}

QVector<QPoint> ChartLine::curve(int first, int last, const Mapping &mapping) const
{
    m_decimator.reset();
    mapSamples(first, last, mapping, [this](int x, int y) { m_decimator.add(x, y); });
    return m_decimator.finish();
}

QVector<QPoint> ChartLine::fullCurve(int first, int last, const Mapping &mapping) const
{
    QVector<QPoint> points;
    points.reserve(qMax(0, qMin(last, pointCount() - 1) - qMax(first, 0) + 1));
    mapSamples(first, last, mapping, [&points](int x, int y) { points.append(QPoint(x, y)); });
    return points;
}

bool ChartLine::curveInside(const QRect &area, int first, int last, const Mapping &mapping) const
{
    const int count = qMin(last, pointCount() - 1) - qMax(first, 0) + 1;
    const double zero = mapping.zeroLine;
    const auto row = [&](double value) {
        return pixelRow(zero - mapping.yScale * value * mapping.multiplier);
    };
    return mapping.xStep >= 0 && area.contains(mapping.plotX, row(m_min)) &&
           area.contains(int((count - 1) * mapping.xStep + mapping.plotX), row(m_max));
}

void ChartLine::draw(QPainter &painter, int first, int last, const Mapping &mapping) const
{
    if (first > last || first >= pointCount())
        return;
    painter.setPen(QPen(m_colour));
    // The thinned curve matches the full one pixel for pixel as long as the pen is not clipped,
    // which only a plot squeezed below its margins can cause.
    const QRect device(0, 0, painter.device()->width(), painter.device()->height());
    if (curveInside(device, first, last, mapping))
        painter.drawPolyline(curve(first, last, mapping));
    else
        painter.drawPolyline(fullCurve(first, last, mapping));
}
