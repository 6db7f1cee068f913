#include "record/readingsummary.h"

#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/unitprefix.h"

#include <QtMath>
#include <cmath>

void ReadingSummary::add(double value, bool overload, bool alarm, int resolution)
{
    if (alarm)
        ++m_alarms;
    if (overload) {
        ++m_overloads;
        return;
    }
    m_resolution = qMin(m_resolution, resolution);
    if (m_numeric++ == 0) {
        m_min = m_max = m_mean = value;
        m_squares = 0;
        return;
    }
    m_min = qMin(m_min, value);
    m_max = qMax(m_max, value);
    // Welford's update keeps the spread of a 5 V signal's millivolts exact enough.
    const double delta = value - m_mean;
    m_mean += delta / double(m_numeric);
    m_squares += delta * (value - m_mean);
}

void ReadingSummary::merge(const ReadingSummary &other)
{
    m_alarms += other.m_alarms;
    m_overloads += other.m_overloads;
    m_resolution = qMin(m_resolution, other.m_resolution);
    if (other.m_numeric == 0)
        return;
    if (m_numeric == 0) {
        m_numeric = other.m_numeric;
        m_min = other.m_min;
        m_max = other.m_max;
        m_mean = other.m_mean;
        m_squares = other.m_squares;
        return;
    }
    // Chan's pairwise combination of two means and their sums of squares.
    const double n = double(m_numeric + other.m_numeric);
    const double delta = other.m_mean - m_mean;
    m_mean += delta * double(other.m_numeric) / n;
    m_squares += other.m_squares + delta * delta * double(m_numeric) * double(other.m_numeric) / n;
    m_numeric += other.m_numeric;
    m_min = qMin(m_min, other.m_min);
    m_max = qMax(m_max, other.m_max);
}

double ReadingSummary::standardDeviation() const
{
    return m_numeric < 2 ? 0 : qSqrt(qMax(0.0, m_squares) / double(m_numeric - 1));
}

RecordingUnit RecordingUnit::of(const DmmData &reading)
{
    const FunctionEntry *entry = reading.entry();
    if (entry && isScaledFunction(entry->functionCode()))
        return {entry->unit(), true};
    return {reading.unitText(), false};
}

int readingResolution(const DmmData &reading)
{
    const QString text = reading.valueText();
    const int point = text.indexOf(QLatin1Char('.'));
    int decimals = 0;
    for (int i = point + 1; point >= 0 && i < text.size() && text.at(i).isDigit(); ++i)
        ++decimals;
    int exponent = -decimals;
    const FunctionEntry *entry = reading.entry();
    if (entry && isScaledFunction(entry->functionCode()))
        exponent += qRound(std::log10(prefixFactor(entry->prefix())));
    return exponent;
}

FigureFormat::FigureFormat(const RecordingUnit &unit, int resolution, double largest)
{
    QString prefix;
    if (unit.prefixed)
        scaleToPrefix(largest, m_multiplier, prefix, 0, -1, -1);
    const QString suffix = prefix.trimmed() + unit.unit;
    if (!suffix.isEmpty())
        m_suffix = QLatin1Char(' ') + suffix;
    if (resolution != ReadingSummary::kNoResolution)
        m_decimals = qMax(0, -(resolution + qRound(std::log10(m_multiplier))));
}

QString FigureFormat::operator()(double value) const
{
    double shown = value * m_multiplier;
    if (m_decimals < 0)
        return QString::number(shown, 'g', 10) + m_suffix;
    // A value that rounds to zero is written without a minus sign.
    if (qAbs(shown) < 0.5 * std::pow(10.0, -m_decimals))
        shown = 0;
    return QString::number(shown, 'f', m_decimals) + m_suffix;
}

QString formatDuration(qint64 msecs)
{
    const qint64 seconds = qMax<qint64>(0, msecs) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
