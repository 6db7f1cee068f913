#pragma once

#include "record/limitalarm.h"
#include "record/readingsummary.h"

#include <QDateTime>
#include <QString>

class DmmData;

// Running summary of a logging run: how many readings, over which time, and the figures of the
// readings of the latest function, written as the window's statistics line writes them.
class ReadingStats
{
public:
    // Readings outside the limits count as alarms; without limits there is no alarm count.
    explicit ReadingStats(const LimitAlarm &limits = LimitAlarm());

    void add(const DmmData &data);
    // Readings added from now on are checked against these limits.
    void setLimits(const LimitAlarm &limits) { m_limits = limits; }

    qint64 readings() const { return m_readings; }
    const ReadingSummary &figures() const { return m_figures; }

    // The summary as printed at the end of a run.
    QString summary() const;

private:
    LimitAlarm m_limits;
    qint64 m_readings = 0;
    QDateTime m_first;
    QDateTime m_last;
    QString m_function;
    RecordingUnit m_unit;
    ReadingSummary m_figures;
};
