#include "session/readingstats.h"

#include "meter/dmmdata.h"
#include "record/recordingadmission.h"
#include "record/timestampformatter.h"

ReadingStats::ReadingStats(const LimitAlarm &limits)
    : m_limits(limits)
{
}

void ReadingStats::add(const DmmData &data)
{
    if (m_readings++ == 0)
        m_first = data.timestamp();
    m_last = data.timestamp();
    const QString function = RecordingAdmission::functionKey(data);
    if (function != m_function || m_readings == 1) {
        m_function = function;
        m_unit = RecordingUnit::of(data);
        m_figures = ReadingSummary();
    }
    const bool alarm = m_limits.check(data.value(), data.overload()) != LimitAlarm::Side::Inside;
    m_figures.add(data.value(), data.overload() != 0, alarm, readingResolution(data));
}

QString ReadingStats::summary() const
{
    const QString timeFormat = kTimestampLayout + QStringLiteral(".zzz");
    QString text = QStringLiteral("readings: %1\n").arg(m_readings);
    if (m_readings == 0)
        return text;
    text += QStringLiteral("first: %1\nlast: %2\n")
                .arg(m_first.toString(timeFormat), m_last.toString(timeFormat));
    text += QStringLiteral("function: %1 (%2 numeric, %3 overload)\n")
                .arg(m_function)
                .arg(m_figures.numeric())
                .arg(m_figures.overloads());
    if (m_limits.isActive())
        text += QStringLiteral("alarms: %1\n").arg(m_figures.alarms());
    if (m_figures.numeric() == 0)
        return text;
    const FigureFormat figure(m_unit, m_figures.resolution(),
                              qMax(qAbs(m_figures.min()), qAbs(m_figures.max())));
    text += QStringLiteral("min: %1\nmax: %2\nmean: %3\nstddev: %4\n")
                .arg(figure(m_figures.min()), figure(m_figures.max()), figure(m_figures.mean()),
                     figure(m_figures.standardDeviation()));
    return text;
}
