#include "record/curvedecimator.h"

#include <QtGlobal>

void CurveDecimator::reset()
{
    m_out.clear();
    m_column.clear();
    m_started = false;
}

const QVector<QPoint> &CurveDecimator::finish()
{
    if (m_started)
        flushColumn(true);
    m_started = false;
    return m_out;
}

void CurveDecimator::startColumn(int x, int y)
{
    if (m_started)
        flushColumn(m_inFirstColumn);
    m_inFirstColumn = !m_started;
    m_started = true;
    m_x = x;
    m_column.clear();
    m_column.push_back(y);
    m_first = y;
    m_current = y;
    m_strokes = 0;
}

void CurveDecimator::move(int y)
{
    const Direction direction = y > m_current ? Down : Up;
    if (m_strokes == 0) {
        m_strokes = 1;
        m_firstDirection = direction;
        m_lastDirection = direction;
    } else if (direction != m_lastDirection) {
        // m_current is a turning point.
        if (m_strokes == 1) {
            m_lowTurn = m_current;
            m_highTurn = m_current;
        } else {
            m_lowTurn = qMin(m_lowTurn, m_current);
            m_highTurn = qMax(m_highTurn, m_current);
        }
        if (m_strokes < 3)
            ++m_strokes;
        m_lastDirection = direction;
    }
    m_current = y;
}

void CurveDecimator::flushColumn(bool whole)
{
    if (whole) {
        for (int y : m_column)
            m_out.append(QPoint(m_x, y));
        return;
    }
    m_out.append(QPoint(m_x, m_first));
    if (m_strokes == 2) {
        m_out.append(QPoint(m_x, m_lowTurn));
    } else if (m_strokes == 3) {
        // Sweep the turning points' span in the first direction, and come back once more when
        // the column's last stroke runs the other way.
        const int near = m_firstDirection == Down ? m_highTurn : m_lowTurn;
        const int far = m_firstDirection == Down ? m_lowTurn : m_highTurn;
        m_out.append(QPoint(m_x, near));
        m_out.append(QPoint(m_x, far));
        if (m_lastDirection != m_firstDirection)
            m_out.append(QPoint(m_x, near));
    }
    if (m_strokes > 0)
        m_out.append(QPoint(m_x, m_current));
}
