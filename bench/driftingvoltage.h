#pragma once

#include <QRandomGenerator>

// The readings of a long recording: a DC voltage drifting slowly around 5 V (one swing of
// +-0.5 V in 200000 readings), with a little noise and, once in a thousand readings, a spike of
// up to +-1 V. The same seed gives the same readings.
class DriftingVoltage
{
public:
    // The value of the next reading.
    double next();

private:
    QRandomGenerator m_random{704};
    qint64 m_count = 0;
};
