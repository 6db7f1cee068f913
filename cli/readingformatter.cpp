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

std::unique_ptr<ReadingFormatter> ReadingFormatter::create(CliOptions::Format format,
                                                           const QString &model)
{
    switch (format) {
    case CliOptions::Format::Jsonl:
        return std::make_unique<JsonlFormatter>();
    case CliOptions::Format::Influx:
        return std::make_unique<InfluxFormatter>(model);
    case CliOptions::Format::Csv:
        break;
    }
    return std::make_unique<CsvFormatter>();
}
