// Fuzz target: the recording reader on any bytes. Whatever the file holds, the reader ends with
// the file read or refused at a line of the file; the outcome does not depend on how the file is
// cut into chunks; and a file it reads, written out again by the export and read once more,
// gives the same table and chart samples.

#include "record/chartpointstore.h"
#include "record/columnspec.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/recordingreader.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QBuffer>
#include <QTextCodec>

namespace {

// The function tables and the record columns, for the whole run.
struct Setup
{
    Setup()
        : columns(createRecordColumns())
    {
        buildTables(defaultTable, eTable);
    }
    ~Setup()
    {
        qDeleteAll(defaultTable);
        qDeleteAll(eTable);
        qDeleteAll(columns);
    }
    FunctionTable defaultTable;
    FunctionTable eTable;
    QList<ColumnSpec *> columns;
};

const Setup &setup()
{
    static const Setup instance;
    return instance;
}

struct Read
{
    explicit Read(const QList<ColumnSpec *> &columns)
        : table(columns)
    {
    }
    DataModel table;
    ChartPointStore chart;
    ChartPointStore second;
    RecordingReader::Result result;
};

const QList<ColumnSpec *> &columns()
{
    return setup().columns;
}

void read(const QByteArray &bytes, int chunk, Read &into)
{
    RecordingReader reader({&setup().defaultTable, &setup().eTable}, {englishRecordColumnTitles()});
    reader.setChunkSize(chunk);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    into.result = reader.read(buffer, bytes.size(), {&into.table, &into.chart, &into.second});
}

QStringList samples(const ChartPointStore &store)
{
    QStringList list;
    for (int i = 0; i < store.count(); ++i) {
        const ChartPoint point = store.point(i);
        list << point.time().toString(Qt::ISODateWithMs) + QString::number(point.value(), 'g', 17) +
                    point.valueText() + point.label().toString();
    }
    return list;
}

QStringList cells(const DataModel &table)
{
    QStringList list;
    for (int row = 0; row < table.rowCount(); ++row)
        for (int column = 0; column < table.columnCount(); ++column)
            list << table.cellText(row, column);
    return list;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Every text read must survive being written again.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks a small chunk size, so that records and characters straddle chunks.
    const int chunk = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    Read small(columns());
    Read whole(columns());
    read(bytes, chunk, small);
    read(bytes, bytes.size() + 1, whole);

    const RecordingReader::Result &result = whole.result;
    check(result.outcome != RecordingReader::Outcome::Cancelled, "cancelled unasked");
    check(small.result.outcome == result.outcome && small.result.line == result.line &&
              small.result.reason == result.reason && small.result.rows == result.rows &&
              small.result.skippedLine == result.skippedLine,
          "the chunk size changed the outcome");
    if (result.outcome == RecordingReader::Outcome::Refused) {
        check(!result.reason.isEmpty(), "a refusal without reason");
        check(result.line >= 1 && result.line <= bytes.count('\n') + 1, "refused off the file");
        return 0;
    }
    check(whole.table.rowCount() == result.rows &&
              whole.chart.count() + whole.second.count() == result.rows,
          "rows lost between table and charts");
    check(cells(small.table) == cells(whole.table), "the chunk size changed the table");

    QBuffer exported;
    exported.open(QIODevice::WriteOnly);
    check(writeCsv(&whole.table, exported), "the export failed");
    Read again(columns());
    read(exported.data(), 4096, again);
    check(again.result.outcome == RecordingReader::Outcome::Read && again.result.skippedLine == 0,
          "an exported recording was refused");
    check(cells(again.table) == cells(whole.table), "the table changed through the export");
    check(samples(again.chart) == samples(whole.chart) &&
              samples(again.second) == samples(whole.second),
          "the chart changed through the export");
    return 0;
}
