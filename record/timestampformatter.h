#pragma once

#include <QByteArray>
#include <QString>

// How a reading's time stamp is written: in the table, the CSV files, print and the chart's labels.
inline const QString kTimestampLayout = QStringLiteral("yyyy-MM-dd hh:mm:ss");

// Turns an instant (milliseconds since the epoch) into local "yyyy-MM-dd hh:mm:ss" text.
// Readings arrive in time order, so the local date of the last day seen is kept and only the
// time of day is worked out per call; a day with a clock change takes the full conversion.
class TimestampFormatter
{
public:
    QString text(qint64 msecsSinceEpoch);
    // Appends the same text to out as Latin-1 bytes.
    void appendTo(QByteArray &out, qint64 msecsSinceEpoch);

private:
    // Writes the text of an instant of the cached day (the day is cached first when needed) into
    // out; false when its day cannot be cached and it takes the full conversion.
    bool putCached(QChar *out, qint64 msecsSinceEpoch);
    bool cacheDayOf(qint64 msecsSinceEpoch);
    static QString fullConversion(qint64 msecsSinceEpoch);

    qint64 m_dayBegin = 0; // local midnight as an instant
    qint64 m_dayEnd = 0;   // the next local midnight; equal to m_dayBegin when nothing is cached
    QChar m_date[10];      // "yyyy-MM-dd" of the cached day
};
