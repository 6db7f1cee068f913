#include "record/limitalarm.h"

#include <QLocale>
#include <cmath>

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

std::optional<double> LimitAlarm::parse(const QString &text)
{
    // "5,005" is a mistyped 5.005, not 5005: the C locale would take the comma for a thousands
    // separator.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}
