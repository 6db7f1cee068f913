#pragma once

#include <QPoint>
#include <QVector>
#include <algorithm>
#include <climits>
#include <cmath>

// Thins a chart curve, the polyline through (int(k * xStep + plotX), row k) for every sample k
// (xStep >= 0), to a few points per pixel column, such that a 1-pixel aliased pen sets exactly the
// same pixels as it would for the full polyline.
//
// Inside one column the full polyline only moves up and down. A pen draws such a zigzag as the
// span between its turning points, plus what the first and the last stroke of the column add at
// their ends, and it leaves the column with a pen state (last pixel and direction) given by the
// last stroke alone. So each column is replaced by its first point, the turning-point extremes
// visited in the same first and last direction, and its last point; monotone runs and repeated
// points collapse. The first and the last column of the curve are kept whole, since the pen
// treats the ends of a polyline (caps, closed outlines) specially.
class CurveDecimator
{
public:
    // The thinned polyline of count samples; valid until the next call. forRows(from, to, visit)
    // calls visit(row) for the rows of samples from ... to - 1 in order.
    template<class ForRows>
    const QVector<QPoint> &thin(int count, double xStep, int plotX, ForRows forRows);

private:
    // The vertical strokes of one column, followed point by point without branches: curve
    // samples jitter up and down at random, which defeats branch prediction.
    struct Zigzag
    {
        static constexpr int kNone = -1; // no stroke yet; strokes are 1 (down) or 0 (up)

        void start(int y)
        {
            *this = Zigzag();
            first = y;
            current = y;
        }

        // Arithmetic instead of conditions, so that the compiler emits no branches.
        void add(int y)
        {
            const int movedMask = -int(y != current);
            const int direction = (int(y > current) & movedMask) | (lastDirection & ~movedMask);
            const int turnMask = -int((direction != lastDirection) & (lastDirection != kNone));
            lowTurn = std::min(lowTurn, (current & turnMask) | (INT_MAX & ~turnMask));
            highTurn = std::max(highTurn, (current & turnMask) | (INT_MIN & ~turnMask));
            turns -= turnMask;
            const int firstMask = -int(lastDirection == kNone);
            firstDirection = (direction & firstMask) | (firstDirection & ~firstMask);
            lastDirection = direction;
            current = y;
        }

        int first = 0;
        int current = 0;
        int turns = 0;
        int firstDirection = kNone;
        int lastDirection = kNone;
        int lowTurn = INT_MAX; // lowest and highest turning point (pixel rows)
        int highTurn = INT_MIN;
    };

    void appendColumn(int x, const Zigzag &zigzag);

    QVector<QPoint> m_out;
};

template<class ForRows>
const QVector<QPoint> &CurveDecimator::thin(int count, double xStep, int plotX, ForRows forRows)
{
    m_out.clear();
    const auto columnOf = [xStep, plotX](int k) { return int(k * xStep + plotX); };
    // First sample right of column x: estimated from the spacing, then settled with the exact
    // column of each sample, so no sample moves to another column.
    const auto columnEnd = [&](int k, int x) {
        const double estimate = std::ceil((x + 1 - plotX) / xStep);
        int end = estimate < count ? qMax(k + 1, int(estimate)) : count;
        while (end > k + 1 && columnOf(end - 1) > x)
            --end;
        while (end < count && columnOf(end) == x)
            ++end;
        return end;
    };
    const int lastX = count > 0 ? columnOf(count - 1) : 0;
    for (int k = 0; k < count;) {
        const int x = columnOf(k);
        const int end = columnEnd(k, x);
        if (k == 0 || x == lastX) {
            forRows(k, end, [this, x](int y) { m_out.append(QPoint(x, y)); });
        } else {
            Zigzag zigzag;
            forRows(k, k + 1, [&zigzag](int y) { zigzag.start(y); });
            forRows(k + 1, end, [&zigzag](int y) { zigzag.add(y); });
            appendColumn(x, zigzag);
        }
        k = end;
    }
    return m_out;
}
