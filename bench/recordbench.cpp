#include "bench/recordbench.h"

#include "bench/bench.h"
#include "record/chartpoint.h"
#include "record/columnspec.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "tests/recordsamples.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

constexpr int kRows = 1000000;

// The meter's function tables, for generating recordings.
struct Tables
{
    FunctionTable defaultTable;
    FunctionTable eTable;

    Tables() { buildTables(defaultTable, eTable); }
    ~Tables()
    {
        qDeleteAll(defaultTable);
        qDeleteAll(eTable);
    }
    Tables(const Tables &) = delete;
    Tables &operator=(const Tables &) = delete;
};

const QDateTime kStart(QDate(2026, 12, 6), QTime(8, 0));

void benchCsvExport(Bench &bench)
{
    const Tables tables;
    const QList<ColumnSpec *> columns = createRecordColumns();
    {
        DataModel model(columns);
        recordsamples::generateRecording(
            tables.defaultTable, kRows, kStart,
            [&model](DmmData *reading) { model.appendRecord(reading); });
        QTemporaryDir dir;
        const QString fileName = dir.filePath(QStringLiteral("export.csv"));
        bool written = true;
        const double ms =
            Bench::bestMilliseconds(3, [&] { written = writeCsv(&model, fileName) && written; });
        bench.report(QStringLiteral("csv_export_s_1M"), written ? ms / 1000.0 : -1,
                     QStringLiteral("s"));
        bench.report(QStringLiteral("csv_export_bytes_1M"), double(QFileInfo(fileName).size()),
                     QStringLiteral("bytes"));
    }
    qDeleteAll(columns);
}

// The reference for bytes_per_reading_1M: the straightforward layout, which keeps every reading
// as its object in the table and a chart point with its hover label in the chart.
void benchObjectPerReading(Bench &bench)
{
    const Tables tables;
    QList<DmmData *> readings;
    QList<ChartPoint *> points;
    const qint64 before = Bench::residentBytes();
    recordsamples::generateRecording(tables.defaultTable, kRows, kStart, [&](DmmData *reading) {
        readings.append(reading);
        points.append(
            new ChartPoint(reading->timestamp(), reading->value(), reading->valueText(),
                           ChartPoint::makeLabel(reading->timestamp(), reading->functionName(),
                                                 reading->valueText(), reading->unitText())));
    });
    const qint64 after = Bench::residentBytes();
    bench.report(QStringLiteral("bytes_per_reading_object_layout_1M"),
                 double(after - before) / kRows, QStringLiteral("bytes"));
    qDeleteAll(points);
    qDeleteAll(readings);
}

} // namespace

void runRecordBenchmarks(Bench &bench)
{
    benchCsvExport(bench);
    benchObjectPerReading(bench);
}
