#pragma once

#include <QByteArray>
#include <QDateTime>

class DmmData;

// Turns readings into the lines of one output format. Every line ends with a line feed.
class ReadingFormatter
{
public:
    virtual ~ReadingFormatter() = default;

    // Written once before the first reading; empty for formats without a header.
    virtual QByteArray header() const { return QByteArray(); }
    // One reading; number counts the readings written, from 1.
    virtual QByteArray reading(qint64 number, const DmmData &data) const = 0;
    // A link event ("connected", "disconnected"), with why it happened when a reason is given,
    // for formats that record them; else empty.
    virtual QByteArray event(const QString &name, const QDateTime &time,
                             const QString &reason = QString()) const;
};
