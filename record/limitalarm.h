#pragma once

#include <QString>
#include <optional>

// A low and a high limit on the readings, either of which may be absent, in the unit of the
// readings' numbers. It tells which side a reading lies outside, and whether that reading starts
// an excursion: readings that stay outside sound one alarm, not one each.
class LimitAlarm
{
public:
    enum class Side
    {
        Inside,
        Low,
        High
    };

    void setLimits(std::optional<double> low, std::optional<double> high);
    std::optional<double> low() const { return m_low; }
    std::optional<double> high() const { return m_high; }
    bool isActive() const { return m_low || m_high; }

    // The side of the limits a reading lies on. An overload lies beyond its range, so a positive
    // one is above any high limit and a negative one below any low limit.
    Side check(double value, int overload) const;
    // Checks the reading and reports whether it begins an excursion (from inside, or straight
    // across to the other side).
    Side update(double value, int overload, bool *excursionStarts);
    // The next reading outside begins a new excursion.
    void rearm() { m_current = Side::Inside; }

    // The name of a side as written in records: "low", "high", empty for inside.
    static const char *name(Side side);
    // A limit as typed: a plain number with a decimal point, whatever the locale; anything else,
    // empty text included, means no limit.
    static std::optional<double> parse(const QString &text);

private:
    std::optional<double> m_low;
    std::optional<double> m_high;
    Side m_current = Side::Inside;
};
