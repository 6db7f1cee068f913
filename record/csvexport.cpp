#include "record/csvexport.h"

#include "record/csvformat.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"

CsvExport::CsvExport(QObject *parent)
    : QObject(parent)
{
    connect(&m_task, &ThreadedTask::done, this, [this] { emit finished(m_written, m_error); });
}

CsvExport::~CsvExport()
{
    cancel();
}

void CsvExport::start(const DataModel &table, const QString &fileName)
{
    if (m_task.isRunning())
        return;
    m_cancelled = false;
    const std::shared_ptr<const ReadingStore> readings = table.readings().snapshot();
    const QStringList header = csvHeaderFields(&table);
    m_task.start([this, readings, header, fileName] {
        const int total = readings->count();
        QString error;
        m_written = writeFileSafely(
            fileName,
            // A cancel before the last byte keeps the file from being replaced.
            [&](QIODevice &device) {
                const auto goOn = [&](int rows) {
                    emit progress(rows, total);
                    return !m_cancelled;
                };
                return goOn(0) && writeRecordCsv(*readings, header, device, goOn) && goOn(total);
            },
            &error);
        m_error = m_cancelled ? QString() : error;
    });
}
