#pragma once

// Readings filled the way the meter's decoder fills them, for the recording's tests and
// benchmarks. Built from the function tables alone, without the recording code.

#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "record/columnspec.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace recordsamples {

// The six record columns and both function tables, made and released together.
struct RecordSetup
{
    RecordSetup()
        : columns(createRecordColumns())
    {
        buildTables(defaultTable, eTable);
    }
    ~RecordSetup()
    {
        qDeleteAll(columns);
        qDeleteAll(defaultTable);
        qDeleteAll(eTable);
    }
    Q_DISABLE_COPY(RecordSetup)

    QList<ColumnSpec *> columns;
    FunctionTable defaultTable;
    FunctionTable eTable;
};

// The range text the decoder shows for a table row.
inline QString rangeTextOf(const FunctionEntry &row)
{
    const int code = row.functionCode();
    if (code == 5 || code == 18 || code == 19 || code == 20 || code == 23)
        return QStringLiteral("-");
    return QString::number(code == 10 || code == 11 ? row.upper().toInt() : row.fullScale());
}

// Display texts as the meter sends them, with the number and overload they decode to.
struct Display
{
    const char *text;
    double value;
    int overload;
};

inline const QList<Display> &displays()
{
    static const QList<Display> list = {
        {" 1.234 ", 1.234, 0}, {"-0.0123", -0.0123, 0}, {"  O.L  ", 0, 1},
        {" -O.L  ", 0, -1},    {"12.34  ", 12.34, 0},   {"-12.345", -12.345, 0},
        {"  0.000", 0, 0},     {" ----  ", 0, 0},       {"1000.0 ", 1000, 0},
    };
    return list;
}

// A reading of a table row; number is mixed into the annunciators and the time.
inline DmmData *makeReading(const FunctionEntry *row, const Display &display, int number,
                            const QDateTime &time, const QString &coupling = QString())
{
    auto *data = new DmmData;
    data->setEntry(row);
    data->setTimestamp(time);
    data->setValueText(QString::fromLatin1(display.text));
    data->setValue(display.overload == 0 ? display.value : display.overload * row->fullScale());
    data->setOverload(display.overload);
    data->setUnitText(row->prefix() + row->unit());
    data->setRangeText(rangeTextOf(*row));
    data->setFunctionName(coupling.isEmpty() ? row->name()
                                             : QStringLiteral("%1: %2").arg(row->name(), coupling));
    data->setCouplingText(coupling);
    static const QStringList maxMin = {QString(), QStringLiteral("MAX"), QStringLiteral("MIN")};
    static const QStringList peak = {QString(), QStringLiteral("P-MAX"), QStringLiteral("P-MIN")};
    data->setMaxMinText(maxMin.at(number % 3));
    data->setPeakText(peak.at(number / 9 % 3));
    data->setHold(number & 1);
    data->setRelative(number & 2);
    data->setStatusBit3(number & 4);
    data->setManualRange(number & 8);
    data->setLowBattery(number & 16);
    data->setStatusBit0(number & 32);
    return data;
}

// One reading for every row of both tables (two for the AC+DC rows, one per coupling), the
// display texts taken in turn, 1.5 s apart from start.
inline QList<DmmData *> everyRowReadings(const FunctionTable &defaultTable,
                                         const FunctionTable &eTable, const QDateTime &start)
{
    QList<DmmData *> readings;
    auto add = [&](const FunctionEntry *row, const QString &coupling) {
        const int number = readings.size();
        const Display &display = displays().at(number % displays().size());
        readings.append(
            makeReading(row, display, number, start.addMSecs(1500LL * number), coupling));
    };
    for (const FunctionTable *table : {&defaultTable, &eTable}) {
        for (const FunctionEntry *row : *table) {
            if (row->functionCode() == functions::kAcPlusDc) {
                add(row, QStringLiteral("AC"));
                add(row, QStringLiteral("DC"));
            } else {
                add(row, QString());
            }
        }
    }
    return readings;
}

// Calls sink with count readings of a DC voltage recording, one per second from start; sink takes
// ownership. Used to fill large tables for timing and memory figures.
template<typename Sink>
void generateRecording(const FunctionTable &table, int count, const QDateTime &start, Sink sink)
{
    const FunctionEntry *row = findEntry(table, 2, 0x31);
    const qint64 startMsecs = start.toMSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(startMsecs + 1000LL * i);
        sink(makeReading(row, displays().at(i % displays().size()), i, time));
    }
}

} // namespace recordsamples
