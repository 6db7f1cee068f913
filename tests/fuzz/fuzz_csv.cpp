// Fuzz target: the CSV lines and the CSV writer on tables of arbitrary texts. Whatever a text
// holds (commas, quotes, line breaks, any Unicode), the written lines must read back to the
// same fields with a strict RFC 4180 reader (line feeds end the records).
//
// The input gives the column count, whether the rows repeat (so that the writer's output
// crosses its chunk size), and the header and cell texts.

#include "record/csvformat.h"
#include "record/csvwriter.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QAbstractTableModel>
#include <QBuffer>
#include <QTextCodec>
#include <QVector>
#include <fuzzer/FuzzedDataProvider.h>

#include <optional>

namespace {

const QChar kQuote = QLatin1Char('"');
const QChar kComma = QLatin1Char(',');
const QChar kLineFeed = QLatin1Char('\n');
const QChar kReturn = QLatin1Char('\r');

// A strict reader: a field is either plain (no comma, quote, carriage return or line feed) or
// enclosed in quotes with every inner quote doubled, and a quoted field ends at a comma or at
// the end of the record; every record ends with a line feed. Anything else is refused.
class StrictCsvReader
{
public:
    explicit StrictCsvReader(const QString &text)
        : m_text(text)
    {
    }

    bool atEnd() const { return m_pos == m_text.size(); }

    std::optional<QStringList> nextRecord()
    {
        QStringList fields;
        for (;;) {
            std::optional<QString> field = peek() == kQuote ? quotedField() : plainField();
            if (!field)
                return std::nullopt;
            fields.append(*field);
            if (atEnd())
                return std::nullopt; // the record's line feed is missing
            const QChar separator = m_text.at(m_pos++);
            if (separator == kLineFeed)
                return fields;
            if (separator != kComma)
                return std::nullopt;
        }
    }

private:
    QChar peek() const { return atEnd() ? QChar() : m_text.at(m_pos); }

    std::optional<QString> plainField()
    {
        QString field;
        while (!atEnd() && peek() != kComma && peek() != kLineFeed) {
            if (peek() == kQuote || peek() == kReturn)
                return std::nullopt;
            field.append(m_text.at(m_pos++));
        }
        return field;
    }

    std::optional<QString> quotedField()
    {
        QString field;
        ++m_pos; // opening quote
        for (;;) {
            if (atEnd())
                return std::nullopt;
            const QChar c = m_text.at(m_pos++);
            if (c != kQuote) {
                field.append(c);
            } else if (peek() == kQuote) {
                field.append(kQuote);
                ++m_pos;
            } else {
                return field; // the closing quote; a comma or line feed must follow
            }
        }
    }

    const QString &m_text;
    int m_pos = 0;
};

// A table whose rows repeat a few texts many times, cheaply.
class TextTable : public QAbstractTableModel
{
public:
    TextTable(QStringList header, QVector<QStringList> rows, int copies)
        : m_header(std::move(header))
        , m_rows(std::move(rows))
        , m_copies(copies)
    {
    }

    int rowCount(const QModelIndex & = QModelIndex()) const override
    {
        return m_rows.size() * m_copies;
    }
    int columnCount(const QModelIndex & = QModelIndex()) const override { return m_header.size(); }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        return m_rows.at(index.row() % m_rows.size()).at(index.column());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return m_header.at(section);
    }

    const QStringList &header() const { return m_header; }
    const QStringList &row(int row) const { return m_rows.at(row % m_rows.size()); }

private:
    QStringList m_header;
    QVector<QStringList> m_rows;
    int m_copies;
};

QStringList textsFrom(FuzzedDataProvider &input, int count)
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts.append(QString::fromStdString(input.ConsumeRandomLengthString(40)));
    return texts;
}

// One line per record, each reading back to its own fields.
void checkLines(const QVector<QStringList> &records)
{
    QString all;
    for (const QStringList &fields : records) {
        const QString line = csvLine(fields);
        StrictCsvReader reader(line);
        check(reader.nextRecord() == fields, "a line did not read back to its fields");
        check(reader.atEnd(), "a line holds more than one record");
        appendCsvLine(all, fields);
    }
    StrictCsvReader reader(all);
    for (const QStringList &fields : records)
        check(reader.nextRecord() == fields, "appended lines did not read back in order");
    check(reader.atEnd(), "appended lines hold more records");
}

// The writer's output: the header line, then every row, and nothing else.
void checkWriter(const TextTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    check(writeCsv(&table, buffer), "the writer failed on a buffer");
    // The whole buffer: the QByteArray overload would stop at the first NUL character.
    const QByteArray bytes = buffer.data();
    const QString text = QString::fromUtf8(bytes.constData(), bytes.size());
    StrictCsvReader reader(text);
    check(reader.nextRecord() == table.header(), "header did not read back");
    for (int row = 0; row < table.rowCount(); ++row)
        check(reader.nextRecord() == table.row(row), "a row did not read back");
    check(reader.atEnd(), "the file holds more than the table");
}

// Enough repeats to cross the writer's chunk size, not so many that a run slows.
int repeatsWithinLimit(const QVector<QStringList> &rows, int wanted)
{
    constexpr int kMaxChars = 80 * 1024;
    int chars = 1;
    for (const QStringList &row : rows) {
        for (const QString &text : row)
            chars += text.size() + 1;
    }
    return qBound(1, kMaxChars / chars, wanted);
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
    const int copies = input.ConsumeIntegralInRange(0, 31) == 0 ? 512 : 1;
    QStringList header = textsFrom(input, columns);
    QVector<QStringList> rows;
    while (input.remaining_bytes() > 0 && rows.size() < 64)
        rows.append(textsFrom(input, columns));

    checkLines(QVector<QStringList>{header} + rows);
    const int repeats = repeatsWithinLimit(rows, copies);
    checkWriter(TextTable(std::move(header), std::move(rows), repeats));
    return 0;
}
