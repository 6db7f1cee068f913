#include "bench/recordbench.h"

#include "bench/bench.h"
#include "record/columnspec.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "tests/recordsamples.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

constexpr int kRows = 1000000;

void benchCsvExport(Bench &bench)
{
    FunctionTable defaultTable;
    FunctionTable eTable;
    buildTables(defaultTable, eTable);
    const QList<ColumnSpec *> columns = createRecordColumns();
    {
        DataModel model(columns);
        recordsamples::generateRecording(
            defaultTable, kRows, QDateTime(QDate(2026, 12, 6), QTime(8, 0)),
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
    qDeleteAll(defaultTable);
    qDeleteAll(eTable);
}

} // namespace

void runRecordBenchmarks(Bench &bench)
{
    benchCsvExport(bench);
}
