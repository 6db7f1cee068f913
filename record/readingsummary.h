#pragma once

#include <QString>
#include <QtGlobal>

class DmmData;

// Figures of a stretch of readings: overloads and limit alarms counted apart, and of the numeric
// readings their number, extremes, mean and spread, and the finest step the meter showed. Two
// summaries of neighbouring stretches merge in constant time, so a long recording keeps one per
// block of readings and answers for any stretch from those.
class ReadingSummary
{
public:
    // Decimal exponent of a step that no reading has shown.
    static constexpr int kNoResolution = 127;

    // A reading in the recording's unit. resolution is the decimal exponent of the step of the
    // meter's display for it (-3 for a volt reading with three decimals).
    void add(double value, bool overload, bool alarm, int resolution);
    void merge(const ReadingSummary &other);
    // Counts more (or, negative, fewer) of the readings summed up as alarms: they were marked
    // anew against other limits.
    void addAlarms(qint64 count) { m_alarms += count; }

    qint64 numeric() const { return m_numeric; }
    qint64 overloads() const { return m_overloads; }
    qint64 alarms() const { return m_alarms; }
    double min() const { return m_min; }
    double max() const { return m_max; }
    double mean() const { return m_mean; }
    // Sample standard deviation (n - 1); 0 for fewer than two readings.
    double standardDeviation() const;
    int resolution() const { return m_resolution; }

private:
    qint64 m_numeric = 0;
    qint64 m_overloads = 0;
    qint64 m_alarms = 0;
    double m_min = 0;
    double m_max = 0;
    double m_mean = 0;
    double m_squares = 0; // sum of squared differences from the mean
    int m_resolution = kNoResolution;
};

// The unit the figures of a recording are given in: that of the readings' numbers, without the
// prefix for the self-scaling functions (whose numbers are in ohms, hertz, farads), which then
// get a prefix of their own.
struct RecordingUnit
{
    QString unit;
    bool prefixed = false;

    static RecordingUnit of(const DmmData &reading);
};

// Decimal exponent of the display step of a reading, in its recording unit.
int readingResolution(const DmmData &reading);

// Writes figures of a recording in its unit, with one SI prefix chosen for the largest of them
// and as many decimals as the meter's finest step shows: "5.0123 V", "12.34 kΩ".
class FigureFormat
{
public:
    FigureFormat(const RecordingUnit &unit, int resolution, double largest);

    QString operator()(double value) const;

private:
    QString m_suffix;
    double m_multiplier = 1.0;
    int m_decimals = -1; // -1: the step is not known
};

// A span of time as hours, minutes and seconds: "0:00:05", "49:59:59".
QString formatDuration(qint64 msecs);
