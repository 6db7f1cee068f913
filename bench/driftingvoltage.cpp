#include "bench/driftingvoltage.h"

#include <cmath>

double DriftingVoltage::next()
{
    double value =
        5 + 0.5 * std::sin(double(m_count++) * 2 * M_PI / 200000) + m_random.bounded(0.02) - 0.01;
    if (m_random.bounded(1000) == 0)
        value += m_random.bounded(2.0) - 1;
    return value;
}
