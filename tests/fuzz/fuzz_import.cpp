// Fuzz target: the recording reader on any bytes. Whatever the file holds, the reader ends with
// the file read or refused at a line of the file; the outcome does not depend on how the file is
// cut into chunks; and a file it reads, written out again by the export and read once more,
// gives the same table and chart samples.

#include "record/csvwriter.h"
#include "record/datamodel.h"
#include "record/readingstore.h"
#include "record/recordingreader.h"
#include "tests/fuzz/fuzzsupport.h"
#include "tests/recordsamples.h"

#include <QBuffer>
#include <QTextCodec>

namespace {

// A file read into a table and chart samples of its own, in chunks of the given size.
struct Read
{
    static const recordsamples::RecordSetup &setup()
    {
        static const recordsamples::RecordSetup instance;
        return instance;
    }
    Read(const QByteArray &bytes, int chunk)
        : table(setup().columns)
    {
        RecordingReader reader({&setup().defaultTable, &setup().eTable},
                               {englishRecordColumnTitles()});
        reader.setChunkSize(chunk);
        QBuffer buffer(const_cast<QByteArray *>(&bytes));
        buffer.open(QIODevice::ReadOnly);
        result = reader.read(buffer, bytes.size(), {&table, &chart, &second});
    }

    // Every cell, and every sample with its hover label, as text.
    QStringList shown() const
    {
        QStringList list;
        for (int row = 0; row < table.rowCount(); ++row)
            for (int column = 0; column < table.columnCount(); ++column)
                list << table.cellText(row, column);
        for (const ReadingStore *store : {&table.readings(), &chart, &second}) {
            list << QStringLiteral("chart");
            for (int i = 0; i < store->count(); ++i) {
                const ChartPoint point = store->point(i);
                list << point.time().toString(Qt::ISODateWithMs) +
                            QString::number(point.value(), 'g', 17) + point.valueText() +
                            point.label().toString();
            }
        }
        return list;
    }

    DataModel table;
    ReadingStore chart;
    ReadingStore second;
    RecordingReader::Result result;
};

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
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    const Read small(bytes, 1 + data[0] % 64);
    const Read whole(bytes, bytes.size() + 1);
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
    // The charts of AC+DC keep every reading between them; any other chart draws the table's.
    const int charted = whole.chart.count() + whole.second.count();
    check(whole.table.rowCount() == result.rows && (charted == 0 || charted == result.rows),
          "rows lost between table and charts");
    check(small.shown() == whole.shown(), "the chunk size changed the readings");

    QBuffer exported;
    exported.open(QIODevice::WriteOnly);
    check(writeCsv(&whole.table, exported), "the export failed");
    const Read again(exported.data(), 4096);
    check(again.result.outcome == RecordingReader::Outcome::Read && again.result.skippedLine == 0,
          "an exported recording was refused");
    check(again.shown() == whole.shown(), "the readings changed through the export");
    return 0;
}
