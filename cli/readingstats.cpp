#include "cli/readingstats.h"

#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "record/recordingadmission.h"

#include <QtMath>

void ReadingStats::add(const DmmData &data)
{
    if (m_readings++ == 0)
        m_first = data.timestamp();
    m_last = data.timestamp();
    if (RecordingAdmission::functionKey(data) != m_function || m_readings == 1)
        restartFunction(data);
    if (data.overload() != 0) {
        ++m_overloads;
        return;
    }
    const double value = data.value();
    ++m_numeric;
    if (m_numeric == 1) {
        m_min = m_max = m_mean = value;
        m_sumSquares = 0;
        return;
    }
    m_min = qMin(m_min, value);
    m_max = qMax(m_max, value);
    const double delta = value - m_mean;
    m_mean += delta / double(m_numeric);
    m_sumSquares += delta * (value - m_mean);
}

void ReadingStats::restartFunction(const DmmData &data)
{
    m_function = RecordingAdmission::functionKey(data);
    // Values of the self-scaling functions are in the unit without its prefix.
    const FunctionEntry *entry = data.entry();
    m_unit = entry && isScaledFunction(entry->functionCode()) ? entry->unit() : data.unitText();
    m_numeric = 0;
    m_overloads = 0;
    m_min = m_max = m_mean = m_sumSquares = 0;
}

double ReadingStats::standardDeviation() const
{
    return m_numeric < 2 ? 0 : qSqrt(m_sumSquares / double(m_numeric - 1));
}

QString ReadingStats::summary() const
{
    const QString timeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");
    QString text = QStringLiteral("readings: %1\n").arg(m_readings);
    if (m_readings == 0)
        return text;
    text += QStringLiteral("first: %1\nlast: %2\n")
                .arg(m_first.toString(timeFormat), m_last.toString(timeFormat));
    text += QStringLiteral("function: %1 (%2 numeric, %3 overload)\n")
                .arg(m_function)
                .arg(m_numeric)
                .arg(m_overloads);
    if (m_numeric == 0)
        return text;
    const auto number = [](double v) { return QString::number(v, 'g', 10); };
    const QString unit = m_unit.isEmpty() ? QString() : QStringLiteral(" ") + m_unit;
    text +=
        QStringLiteral("min: %1%2\nmax: %3%2\nmean: %4%2\nstddev: %5%2\n")
            .arg(number(m_min), unit, number(m_max), number(m_mean), number(standardDeviation()));
    return text;
}
