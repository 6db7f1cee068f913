#include "bench/recordbench.h"

#include "bench/bench.h"
#include "record/chartpoint.h"
#include "record/columnspec.h"
#include "record/csvformat.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/readingstore.h"
#include "record/recordingreader.h"
#include "tests/recordsamples.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <ctime>
#include <memory>

namespace {

// The object-per-reading reference takes half a kilobyte a reading; beyond this it would fill
// the memory of a usual machine.
constexpr int kMaxObjectLayoutRows = 1000000;

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

// What the machine allows for a file of that size: its bytes written with one call, and read
// back with one.
void benchFileLimits(Bench &bench, const QString &fileName, const QString &n)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    const QString copy = fileName + QStringLiteral(".copy");
    bool done = true;
    const double writeMs = Bench::bestMilliseconds(3, [&] {
        QFile out(copy);
        done = out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) &&
               out.write(bytes) == bytes.size() && done;
    });
    QByteArray back(bytes.size(), Qt::Uninitialized);
    const double readMs = Bench::bestMilliseconds(3, [&] {
        QFile in(copy);
        done = in.open(QIODevice::ReadOnly | QIODevice::Unbuffered) &&
               in.read(back.data(), back.size()) == back.size() && done;
    });
    QFile::remove(copy);
    bench.report("file_write_s_" + n, done ? writeMs / 1000 : -1, QStringLiteral("s"));
    bench.report("file_read_s_" + n, done ? readMs / 1000 : -1, QStringLiteral("s"));
}

void benchCsvExport(Bench &bench, int rows)
{
    const Tables tables;
    const QList<ColumnSpec *> columns = createRecordColumns();
    {
        DataModel model(columns);
        recordsamples::generateRecording(
            tables.defaultTable, rows, kStart,
            [&model](DmmData *reading) { model.appendRecord(reading); });
        QTemporaryDir dir;
        const QString fileName = dir.filePath(QStringLiteral("export.csv"));
        bool written = true;
        const double ms =
            Bench::bestMilliseconds(3, [&] { written = writeCsv(&model, fileName) && written; });
        const QString n = Bench::countName(rows);
        bench.report("csv_export_s_" + n, written ? ms / 1000.0 : -1, QStringLiteral("s"));
        bench.report("csv_export_bytes_" + n, double(QFileInfo(fileName).size()),
                     QStringLiteral("bytes"));
        benchFileLimits(bench, fileName, n);
    }
    qDeleteAll(columns);
}

// The reference for bytes_per_reading_N: the straightforward layout, which keeps every reading
// as its object in the table and a chart point with its hover label in the chart.
void benchObjectPerReading(Bench &bench, int rows)
{
    const Tables tables;
    QList<DmmData *> readings;
    QList<ChartPoint *> points;
    const qint64 before = Bench::heapBytes();
    recordsamples::generateRecording(tables.defaultTable, rows, kStart, [&](DmmData *reading) {
        readings.append(reading);
        points.append(
            new ChartPoint(reading->timestamp(), reading->value(), reading->valueText(),
                           ChartPoint::makeLabel(reading->timestamp(), reading->functionName(),
                                                 reading->valueText(), reading->unitText())));
    });
    const qint64 after = Bench::heapBytes();
    bench.report("bytes_per_reading_object_layout_" + Bench::countName(rows),
                 double(after - before) / rows, QStringLiteral("bytes"));
    qDeleteAll(points);
    qDeleteAll(readings);
}

// A recording of rows DC volt readings as the export writes it, written without a table.
bool writeRecordingFile(const QString &fileName, int rows)
{
    const Tables tables;
    const QList<ColumnSpec *> columns = createRecordColumns();
    DataModel header(columns);
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QString chunk = csvLine(csvHeaderFields(&header));
    const FunctionEntry *row = findEntry(tables.defaultTable, 2, 0x31);
    const qint64 start = kStart.toMSecsSinceEpoch();
    for (int i = 0; i < rows; ++i) {
        const QString time =
            QDateTime::fromMSecsSinceEpoch(start + 1000LL * i).toString(kTimestampLayout);
        const recordsamples::Display &display =
            recordsamples::displays().at(i % recordsamples::displays().size());
        appendCsvLine(chunk, {QString::number(i + 1), time, row->name(), QStringLiteral("60"),
                              QString::fromLatin1(display.text), row->unit()});
        if (chunk.size() > (1 << 20) || i + 1 == rows) {
            file.write(encodeCsv(chunk));
            chunk.clear();
        }
    }
    qDeleteAll(columns);
    return true;
}

// Import of a recording of rows readings into a table and a chart, and the heap it takes per
// reading against the same readings recorded (the table, whose readings the chart draws).
void benchImport(Bench &bench, int rows, const QString &suffix, bool withMemory)
{
    const Tables tables;
    const QList<ColumnSpec *> columns = createRecordColumns();
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("recording.csv"));
    if (!writeRecordingFile(fileName, rows))
        return;
    RecordingReader reader({&tables.defaultTable, &tables.eTable}, {englishRecordColumnTitles()});
    bool read = true;
    int readRows = 0;
    const double ms = Bench::bestMilliseconds(withMemory ? 3 : 1, [&] {
        DataModel model(columns);
        ReadingStore chart;
        ReadingStore second;
        const RecordingReader::Result result = reader.read(fileName, {&model, &chart, &second});
        read = read && result.outcome == RecordingReader::Outcome::Read;
        readRows = model.rowCount();
    });
    bench.report(QStringLiteral("import_s_") + suffix, read && readRows == rows ? ms / 1000 : -1,
                 QStringLiteral("s"));
    // The processor time of one more import: on a busy machine the wall clock counts the waits.
    {
        DataModel model(columns);
        ReadingStore chart;
        ReadingStore second;
        const std::clock_t start = std::clock();
        reader.read(fileName, {&model, &chart, &second});
        bench.report(QStringLiteral("import_cpu_s_") + suffix,
                     double(std::clock() - start) / CLOCKS_PER_SEC, QStringLiteral("s"));
    }
    if (withMemory) {
        qint64 before = Bench::heapBytes();
        auto imported = std::make_unique<DataModel>(columns);
        auto importedChart = std::make_unique<ReadingStore>();
        ReadingStore second;
        reader.read(fileName, {imported.get(), importedChart.get(), &second});
        bench.report(QStringLiteral("bytes_per_imported_reading_") + suffix,
                     double(Bench::heapBytes() - before) / rows, QStringLiteral("bytes"));
        imported.reset();
        importedChart.reset();

        before = Bench::heapBytes();
        DataModel recorded(columns);
        recordsamples::generateRecording(tables.defaultTable, rows, kStart,
                                         [&](DmmData *reading) { recorded.appendRecord(reading); });
        bench.report(QStringLiteral("bytes_per_recorded_reading_") + suffix,
                     double(Bench::heapBytes() - before) / rows, QStringLiteral("bytes"));
    }
    qDeleteAll(columns);
}

} // namespace

void runImportBenchmarks(Bench &bench)
{
    benchImport(bench, bench.scale(), Bench::countName(bench.scale()), true);
    benchImport(bench, 10 * bench.scale(), Bench::countName(10 * bench.scale()), false);
}

void runRecordBenchmarks(Bench &bench)
{
    benchCsvExport(bench, bench.scale());
    benchObjectPerReading(bench, qMin(bench.scale(), kMaxObjectLayoutRows));
}

void runCsvExport(Bench &bench)
{
    benchCsvExport(bench, bench.scale());
}
