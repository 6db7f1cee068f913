#pragma once

#include "format/readingformatter.h"
#include "record/timestampformatter.h"

#include <QStringList>

// The window's CSV export layout: the record table's header, then one row per reading with the
// same texts the table shows, written by the same line code as the export.
class CsvFormatter : public ReadingFormatter
{
public:
    CsvFormatter();

    QByteArray header() const override;
    QByteArray reading(qint64 number, const DmmData &data) const override;

    // The record table's column titles.
    static QStringList headerFields();
    // The record table's cells for a reading that is row number (from 1).
    static QStringList rowFields(qint64 number, const DmmData &data, TimestampFormatter &time);

private:
    QStringList m_titles;
    mutable TimestampFormatter m_time;
};
