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

std::unique_ptr<ReadingFormatter> ReadingFormatter::create(const CliOptions &options)
{
    switch (options.format) {
    case CliOptions::Format::Jsonl:
        return std::make_unique<JsonlFormatter>(options.name, options.limits);
    case CliOptions::Format::Influx:
        return std::make_unique<InfluxFormatter>(options.model, options.name);
    case CliOptions::Format::Csv:
        break;
    }
    return std::make_unique<CsvFormatter>();
}
