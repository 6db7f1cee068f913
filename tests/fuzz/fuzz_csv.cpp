// Fuzz target: the CSV lines and the CSV writer on tables of arbitrary texts. Whatever a text
// holds (commas, quotes, line breaks, any Unicode), the written lines must read back to the same
// fields with the strict reader of the tests. The input gives the column count, whether the rows
// repeat (so that the writer's output crosses its chunk size), and the header and cell texts.

#include "record/csvformat.h"
#include "record/csvwriter.h"
#include "tests/fuzz/fuzzsupport.h"
#include "tests/strictcsv.h"

#include <QAbstractTableModel>
#include <QBuffer>
#include <QTextCodec>
#include <fuzzer/FuzzedDataProvider.h>

namespace {

// A table whose rows repeat a few texts many times, cheaply: the header first, then the rows.
struct TextTable : QAbstractTableModel
{
    QList<QStringList> records;
    int copies = 1;

    int rowCount(const QModelIndex & = {}) const override { return (records.size() - 1) * copies; }
    int columnCount(const QModelIndex & = {}) const override { return records[0].size(); }
    QVariant data(const QModelIndex &index, int role) const override
    {
        return role == Qt::DisplayRole ? row(index.row()).at(index.column()) : QVariant();
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        const bool title = orientation == Qt::Horizontal && role == Qt::DisplayRole;
        return title ? records[0].at(section) : QVariant();
    }
    const QStringList &row(int row) const { return records[1 + row % (records.size() - 1)]; }
};

QList<QStringList> readBack(const QString &text)
{
    QList<QStringList> records;
    check(readCsvStrictly(text, records), "the text is not strict CSV");
    return records;
}

// One line per record, each reading back to its own fields, and all of them in order.
void checkLines(const QList<QStringList> &records)
{
    QString all;
    for (const QStringList &fields : records) {
        check(readBack(csvLine(fields)) == QList<QStringList>{fields}, "a line did not read back");
        appendCsvLine(all, fields);
    }
    check(readBack(all) == records, "appended lines did not read back in order");
}

// The writer's output: the header line, then every row, and nothing else.
void checkWriter(const QList<QStringList> &records, int copies)
{
    TextTable table;
    table.records = records;
    table.copies = copies;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    check(writeCsv(&table, buffer), "the writer failed on a buffer");
    // The whole buffer: the QByteArray overload would stop at the first NUL character.
    const QList<QStringList> written =
        readBack(QString::fromUtf8(buffer.data().constData(), buffer.data().size()));
    check(written.size() == table.rowCount() + 1 && written[0] == records[0], "header or size");
    for (int row = 0; row < table.rowCount(); ++row)
        check(written[row + 1] == table.row(row), "a row did not read back");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Every text must survive the file's encoding for the read-back to compare.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const int columns = input.ConsumeIntegralInRange(1, 8);
    // Most tables are written once; long ones, which cost far more, now and then.
    const bool repeated = input.ConsumeIntegralInRange(0, 31) == 0;
    QList<QStringList> records; // the header, then the rows
    int chars = 0;
    do {
        records.append(QStringList());
        for (int column = 0; column < columns; ++column) {
            records.last().append(QString::fromStdString(input.ConsumeRandomLengthString(40)));
            chars += records.last().last().size() + 1;
        }
    } while (input.remaining_bytes() > 0 && records.size() <= 64);
    checkLines(records);
    // Enough copies to cross the writer's chunk size, not so many that a run slows.
    checkWriter(records, repeated ? qBound(1, 80 * 1024 / chars, 512) : 1);
    return 0;
}
