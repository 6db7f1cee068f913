#pragma once

// Readings filled the way the meter's decoder fills them, for the recording's tests and
// benchmarks. Built from the function tables alone, without the recording code.

#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "record/columnspec.h"

#include <QDateTime>

namespace recordsamples {

// The six record columns and both function tables, made and released together.
struct RecordSetup
{
    RecordSetup() { buildTables(defaultTable, eTable); }
    ~RecordSetup() { qDeleteAll(columns), qDeleteAll(defaultTable + eTable); }
    Q_DISABLE_COPY(RecordSetup)

    QList<ColumnSpec *> columns = createRecordColumns();
    FunctionTable defaultTable, eTable;
};

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
        {"  0.000", 0, 0},     {" ----  ", 0, 0},       {"1000.0 ", 1000, 0}};
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
    // The decoder shows no range for some functions, a limit for two, else the full scale.
    const int code = row->functionCode();
    data->setRangeText(
        QList<int>{5, 18, 19, 20, 23}.contains(code)
            ? QStringLiteral("-")
            : QString::number(code == 10 || code == 11 ? row->upper().toInt() : row->fullScale()));
    data->setFunctionName(coupling.isEmpty() ? row->name()
                                             : QStringLiteral("%1: %2").arg(row->name(), coupling));
    data->setCouplingText(coupling);
    data->setMaxMinText(QStringList({"", "MAX", "MIN"}).at(number % 3));
    data->setPeakText(QStringList({"", "P-MAX", "P-MIN"}).at(number / 9 % 3));
    const auto setters = {&DmmData::setHold,       &DmmData::setRelative,
                          &DmmData::setStatusBit3, &DmmData::setManualRange,
                          &DmmData::setLowBattery, &DmmData::setStatusBit0};
    for (auto set = setters.begin(); set != setters.end(); ++set)
        (data->**set)(number >> (set - setters.begin()) & 1);
    return data;
}

// One reading for every row of both tables (two for the AC+DC rows, one per coupling), the
// display texts taken in turn, 1.5 s apart from start.
inline QList<DmmData *> everyRowReadings(const FunctionTable &defaultTable,
                                         const FunctionTable &eTable, const QDateTime &start)
{
    QList<DmmData *> readings;
    for (const FunctionEntry *row : defaultTable + eTable) {
        for (const char *coupling : {"AC", "DC", ""}) {
            if (!*coupling == (row->functionCode() == functions::kAcPlusDc)) // no such coupling
                continue;
            const int number = readings.size();
            readings.append(makeReading(row, displays().at(number % displays().size()), number,
                                        start.addMSecs(1500LL * number), coupling));
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
    for (int i = 0; i < count; ++i)
        sink(makeReading(row, displays().at(i % displays().size()), i,
                         QDateTime::fromMSecsSinceEpoch(startMsecs + 1000LL * i)));
}

} // namespace recordsamples
