#pragma once

#include <QPoint>
#include <QVector>
#include <vector>

// Thins a polyline whose x never decreases (a chart curve: many samples share one pixel column)
// to a few points per column, such that a 1-pixel aliased pen sets exactly the same pixels as it
// would for the full polyline.
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
    void reset();
    void reserve(int points) { m_out.reserve(points); }

    void add(int x, int y)
    {
        if (!m_started || x != m_x) {
            startColumn(x, y);
            return;
        }
        m_column.push_back(y);
        if (y != m_current)
            move(y);
    }

    // The thinned polyline; valid until the next reset.
    const QVector<QPoint> &finish();

private:
    enum Direction
    {
        Down,
        Up
    };

    void startColumn(int x, int y);
    void move(int y);
    void flushColumn(bool whole);

    QVector<QPoint> m_out;
    std::vector<int> m_column; // every y of the current column, for the last column
    bool m_started = false;
    bool m_inFirstColumn = false;
    int m_x = 0;
    int m_first = 0;
    int m_current = 0;
    int m_strokes = 0; // vertical strokes after collapsing runs, counted up to 3
    Direction m_firstDirection = Down;
    Direction m_lastDirection = Down;
    int m_lowTurn = 0; // lowest and highest turning point (pixel rows)
    int m_highTurn = 0;
};
