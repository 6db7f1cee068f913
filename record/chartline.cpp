#include "record/chartline.h"

#include "record/dmmchart.h"

#include <QPainter>
#include <QPen>
#include <cmath>

namespace {

// The longest curve drawn with a point for every sample: a few milliseconds' drawing.
constexpr int kFullCurveLimit = 1 << 16;

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

// The rows of visible samples from ... to - 1 (counted from the first visible one), as the
// thinning reads them.
struct VisibleRows
{
    const ReadingStore &store;
    int first;
    RowOf rowOf;

    template<class Visit> void operator()(int from, int to, Visit visit) const
    {
        store.forEachValue(first + from, first + to - 1,
                           [&](double value) { visit(rowOf(value)); });
    }
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

ChartLine::RowsKey ChartLine::rowsKey(int first, const Mapping &mapping) const
{
    return {m_store->generation(), first, mapping.zeroLine, mapping.yScale, mapping.multiplier};
}

CurveDecimator &ChartLine::decimatorFor(const RowsKey &rows) const
{
    if (!(m_thinnings[0].rows == rows)) {
        std::swap(m_thinnings[0], m_thinnings[1]);
        if (!(m_thinnings[0].rows == rows)) {
            m_thinnings[0].decimator.forgetRows();
            m_thinnings[0].rows = rows;
        }
    }
    return m_thinnings[0].decimator;
}

bool ChartLine::prepareCurve(int first, int last, const Mapping &mapping,
                             CurveDecimator::Clock::time_point deadline) const
{
    first = qMax(first, 0);
    return decimatorFor(rowsKey(first, mapping))
        .prepare(visibleCount(first, last), VisibleRows{*m_store, first, RowOf(mapping)}, deadline);
}

QVector<QPoint> ChartLine::curve(int first, int last, const Mapping &mapping) const
{
    first = qMax(first, 0);
    return decimatorFor(rowsKey(first, mapping))
        .thin(visibleCount(first, last), mapping.xStep, mapping.plotX,
              VisibleRows{*m_store, first, RowOf(mapping)});
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
    const QRect image(0, 0, painter.device()->width(), painter.device()->height());
    // With a clip rectangle the painter sets a thin pen's pixels directly instead of blending
    // them one span at a time (many times faster on tall strokes); the pixels are the same.
    painter.setClipRect(mapping.clip.isNull() ? image : mapping.clip);
    // The thinned curve matches the full one pixel for pixel while all of it lies on the image;
    // the painter cuts a stroke that reaches beyond (a narrowed value axis, a plot squeezed below
    // its margins, a value that is not finite) a pixel differently from the strokes it stands
    // for. The full curve is drawn then, unless it is too long to draw within a frame.
    if (curveInside(image, first, last, mapping) || visibleCount(first, last) > kFullCurveLimit)
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
    // of rings drawn over one another. The samples under a ring are passed over, so that the
    // rings of a long recording cost what the plot's width allows, not what its alarms number.
    int previousX = int(mapping.plotX) - 2 * kRadius;
    for (int index = m_store->nextAlarm(first, last); index >= 0;) {
        const int x = int((index - first) * mapping.xStep + mapping.plotX);
        int next = index + 1;
        if (x - previousX >= 2 * kRadius) {
            previousX = x;
            painter.drawEllipse(QPoint(x, rowOf(m_store->value(index))), kRadius, kRadius);
        }
        if (mapping.xStep > 0)
            next = qMax(next,
                        first + int((previousX + 2 * kRadius - mapping.plotX) / mapping.xStep) - 1);
        index = m_store->nextAlarm(next, last);
    }
    painter.restore();
}
