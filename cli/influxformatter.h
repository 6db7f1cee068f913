#pragma once

#include "cli/readingformatter.h"

// InfluxDB line protocol: measurement "meter", tags model, function and unit, the reading's
// number and flags as fields, the time stamp in nanoseconds.
class InfluxFormatter : public ReadingFormatter
{
public:
    explicit InfluxFormatter(const QString &model);

    QByteArray reading(qint64 number, const DmmData &data) const override;

    // Tag keys and values escape commas, equals signs and spaces with a backslash.
    static QString escapeTag(const QString &text);
    // String field values are quoted; quotes and backslashes inside are escaped.
    static QString quoteField(const QString &text);

private:
    QString m_model;
};
