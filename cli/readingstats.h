#pragma once

#include <QDateTime>
#include <QString>

class DmmData;

// Running summary of a logging run: how many readings, over which time, and for the numeric
// readings of the latest function their minimum, maximum, mean and standard deviation.
class ReadingStats
{
public:
    void add(const DmmData &data);

    qint64 readings() const { return m_readings; }
    QDateTime first() const { return m_first; }
    QDateTime last() const { return m_last; }
    QString function() const { return m_function; }
    QString unit() const { return m_unit; }
    qint64 numeric() const { return m_numeric; }
    qint64 overloads() const { return m_overloads; }
    double min() const { return m_min; }
    double max() const { return m_max; }
    double mean() const { return m_mean; }
    // Sample standard deviation (n - 1); 0 for fewer than two readings.
    double standardDeviation() const;

    // The summary as printed at the end of a run.
    QString summary() const;

private:
    void restartFunction(const DmmData &data);

    qint64 m_readings = 0;
    QDateTime m_first;
    QDateTime m_last;
    QString m_function;
    QString m_unit;
    qint64 m_numeric = 0;
    qint64 m_overloads = 0;
    double m_min = 0;
    double m_max = 0;
    double m_mean = 0;
    double m_sumSquares = 0; // Welford's running sum of squared differences from the mean
};
