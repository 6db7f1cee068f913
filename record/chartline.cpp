#include "record/chartline.h"

#include "record/dmmchart.h"

#include <QPainter>
#include <QPen>
#include <cmath>

namespace {

// Pixel row of a value: (int)(zeroLine - yScale * value * multiplier). Rows far outside any
// image (a value that is not finite) are pinned, so the conversion to int stays defined.
class RowOf
{
public:
    explicit RowOf(const ChartLine::Mapping &mapping)
        : m_zero(mapping.zeroLine)
        , m_scale(mapping.yScale)
        , m_multiplier(mapping.multiplier)
    {
    }

    int operator()(double value) const
    {
        constexpr double kLimit = 1 << 24;
        const double row = m_zero - m_scale * value * m_multiplier;
        if (!(row > -kLimit))
            return int(-kLimit);
        if (!(row < kLimit))
            return int(kLimit);
        return int(row);
    }

private:
    double m_zero;
    double m_scale;
    double m_multiplier;
};

} // namespace

ChartLine::ChartLine(DMMChart *chart)
    : QObject(chart)
    , m_chart(chart)
{
}

void ChartLine::append(ChartPoint *point)
{
    m_store = &m_own;
    m_own.append(*point);
    delete point;
}

void ChartLine::clear()
{
    m_own.clear();
}

void ChartLine::takePoints(ReadingStore &points)
{
    m_own.swap(points);
    points.clear();
    m_store = &m_own;
}

void ChartLine::showReadings(const ReadingStore *readings)
{
    m_store = readings ? readings : &m_own;
}

void ChartLine::updateRange(int first, int last)
{
    const ReadingStore::Range range = m_store->valueRange(first, last);
    m_min = range.min;
    m_max = range.max;
}

void ChartLine::setSteps(double xStep, double yScale, int visibleCount)
{
    m_xStep = xStep;
    m_yScale = yScale;
    m_positions = ScreenPositions(xStep, visibleCount);
}

bool ChartLine::RowsKey::operator==(const RowsKey &other) const
{
    return generation == other.generation && first == other.first && zeroLine == other.zeroLine &&
           yScale == other.yScale && multiplier == other.multiplier;
}

int ChartLine::visibleCount(int first, int last) const
{
    return qMax(0, qMin(last, pointCount() - 1) - qMax(first, 0) + 1);
}

QVector<QPoint> ChartLine::curve(int first, int last, const Mapping &mapping) const
{
    const RowOf rowOf(mapping);
    first = qMax(first, 0);
    const RowsKey rows{m_store->generation(), first, mapping.zeroLine, mapping.yScale,
                       mapping.multiplier};
    if (!(rows == m_thinnedRows)) {
        m_decimator.forgetRows();
        m_thinnedRows = rows;
    }
    const auto forRows = [&](int from, int to, auto visit) {
        m_store->forEachValue(first + from, first + to - 1,
                              [&](double value) { visit(rowOf(value)); });
    };
    return m_decimator.thin(visibleCount(first, last), mapping.xStep, mapping.plotX, forRows);
}

QVector<QPoint> ChartLine::fullCurve(int first, int last, const Mapping &mapping) const
{
    const RowOf rowOf(mapping);
    first = qMax(first, 0);
    const int count = visibleCount(first, last);
    QVector<QPoint> points;
    points.reserve(count);
    for (int k = 0; k < count; ++k)
        points.append(
            QPoint(int(k * mapping.xStep + mapping.plotX), rowOf(m_store->value(first + k))));
    return points;
}

bool ChartLine::curveInside(const QRect &area, int first, int last, const Mapping &mapping) const
{
    const RowOf rowOf(mapping);
    const int lastX = int((visibleCount(first, last) - 1) * mapping.xStep + mapping.plotX);
    return mapping.xStep >= 0 && area.contains(mapping.plotX, rowOf(m_min)) &&
           area.contains(lastX, rowOf(m_max));
}

void ChartLine::draw(QPainter &painter, int first, int last, const Mapping &mapping) const
{
    if (first > last || first >= pointCount())
        return;
    painter.setPen(QPen(m_colour));
    // The thinned curve matches the full one pixel for pixel as long as the pen is not clipped,
    // which only a plot squeezed below its margins (or a value that is not finite) can cause.
    const QRect device = mapping.clip.isNull()
                             ? QRect(0, 0, painter.device()->width(), painter.device()->height())
                             : mapping.clip;
    // With a clip rectangle the painter sets a thin pen's pixels directly instead of blending
    // them one span at a time (many times faster on tall strokes); the pixels are the same.
    painter.setClipRect(device);
    if (curveInside(device, first, last, mapping))
        painter.drawPolyline(curve(first, last, mapping));
    else
        painter.drawPolyline(fullCurve(first, last, mapping));
}

void ChartLine::drawAlarms(QPainter &painter, int first, int last, const Mapping &mapping) const
{
    constexpr int kRadius = 3;
    first = qMax(first, 0);
    const RowOf rowOf(mapping);
    painter.save();
    painter.setPen(QPen(Qt::red));
    painter.setBrush(Qt::NoBrush);
    // One ring a ring's width: a long excursion on a crowded plot is a red band, not thousands
    // of rings drawn over one another.
    int previousX = int(mapping.plotX) - 2 * kRadius;
    m_store->forEachAlarm(first, last, [&](int index) {
        const int x = int((index - first) * mapping.xStep + mapping.plotX);
        if (x - previousX < 2 * kRadius)
            return;
        previousX = x;
        painter.drawEllipse(QPoint(x, rowOf(m_store->value(index))), kRadius, kRadius);
    });
    painter.restore();
}
