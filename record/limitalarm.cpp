#include "record/limitalarm.h"

void LimitAlarm::setLimits(std::optional<double> low, std::optional<double> high)
{
    m_low = low;
    m_high = high;
}

LimitAlarm::Side LimitAlarm::check(double value, int overload) const
{
    if (overload > 0)
        return m_high ? Side::High : Side::Inside;
    if (overload < 0)
        return m_low ? Side::Low : Side::Inside;
    if (m_low && value < *m_low)
        return Side::Low;
    if (m_high && value > *m_high)
        return Side::High;
    return Side::Inside;
}

LimitAlarm::Side LimitAlarm::update(double value, int overload, bool *excursionStarts)
{
    const Side side = check(value, overload);
    *excursionStarts = side != Side::Inside && side != m_current;
    m_current = side;
    return side;
}

const char *LimitAlarm::name(Side side)
{
    switch (side) {
    case Side::Low:
        return "low";
    case Side::High:
        return "high";
    case Side::Inside:
        break;
    }
    return "";
}
