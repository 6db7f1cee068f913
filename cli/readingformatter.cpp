#include "cli/readingformatter.h"

#include "cli/csvformatter.h"
#include "cli/influxformatter.h"
#include "cli/jsonlformatter.h"

QByteArray ReadingFormatter::event(const QString &name, const QDateTime &time) const
{
    Q_UNUSED(name)
    Q_UNUSED(time)
    return QByteArray();
}

std::unique_ptr<ReadingFormatter>
ReadingFormatter::create(CliOptions::Format format, const QString &model, const QString &meter)
{
    switch (format) {
    case CliOptions::Format::Jsonl:
        return std::make_unique<JsonlFormatter>(meter);
    case CliOptions::Format::Influx:
        return std::make_unique<InfluxFormatter>(model, meter);
    case CliOptions::Format::Csv:
        break;
    }
    return std::make_unique<CsvFormatter>();
}
