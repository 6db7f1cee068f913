#include "format/csvformatter.h"

#include "meter/dmmdata.h"
#include "record/columnspec.h"
#include "record/csvformat.h"

CsvFormatter::CsvFormatter()
    : m_titles(headerFields())
{
}

QStringList CsvFormatter::headerFields()
{
    const QList<ColumnSpec *> columns = createRecordColumns();
    QStringList titles;
    for (const ColumnSpec *column : columns)
        titles << column->title();
    qDeleteAll(columns);
    return titles;
}

QStringList CsvFormatter::rowFields(qint64 number, const DmmData &data, TimestampFormatter &time)
{
    // In the record table's column order: number, time, function, range, value, unit.
    return {QString::number(number), time.text(data.timestamp().toMSecsSinceEpoch()),
            data.functionName(),     data.rangeText(),
            data.valueText(),        data.unitText()};
}

QByteArray CsvFormatter::header() const
{
    return encodeCsv(csvLine(m_titles));
}

QByteArray CsvFormatter::reading(qint64 number, const DmmData &data) const
{
    return encodeCsv(csvLine(rowFields(number, data, m_time)));
}
