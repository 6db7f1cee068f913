#pragma once

#include "format/readingformatter.h"

// InfluxDB line protocol: measurement "meter", tags model, meter (its name), function and unit, the
// reading's number and flags as fields, the time stamp in nanoseconds.
class InfluxFormatter : public ReadingFormatter
{
public:
    InfluxFormatter(const QString &model, const QString &meter);

    QByteArray reading(qint64 number, const DmmData &data) const override;

    // Tag keys and values escape commas, equals signs, spaces and backslashes with a backslash.
    // Neither a tag nor a string field can hold a line break, which would end the line: it is
    // written as a space.
    static QString escapeTag(const QString &text);
    // String field values are quoted; quotes and backslashes inside are escaped.
    static QString quoteField(const QString &text);

private:
    QString m_model;
    QString m_meter;
};
