#pragma once

#include "format/readingformatter.h"
#include "record/limitalarm.h"

// One JSON object per line with every field of a reading, plus its function and range codes, and
// for a reading outside the limits, which one it passed.
class JsonlFormatter : public ReadingFormatter
{
public:
    // Every line names its meter, so that the lines of several meters can be told apart.
    explicit JsonlFormatter(const QString &meter, const LimitAlarm &limits = LimitAlarm());

    QByteArray reading(qint64 number, const DmmData &data) const override;
    QByteArray event(const QString &name, const QDateTime &time,
                     const QString &reason = QString()) const override;

    // ISO 8601 local time with milliseconds and the UTC offset.
    static QString isoTimestamp(const QDateTime &time);

private:
    QString m_meter;
    LimitAlarm m_limits;
};
