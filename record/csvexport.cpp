#include "record/csvexport.h"

#include "record/csvformat.h"
#include "record/csvwriter.h"
#include "record/datamodel.h"

#include <QThread>

CsvExport::CsvExport(QObject *parent)
    : QObject(parent)
{
}

CsvExport::~CsvExport()
{
    cancel();
    if (m_thread)
        m_thread->wait();
}

void CsvExport::start(const DataModel &table, const QString &fileName)
{
    if (m_thread)
        return;
    m_cancelled = false;
    const std::shared_ptr<const ReadingStore> readings = table.readings().snapshot();
    const QStringList header = csvHeaderFields(&table);
    m_thread.reset(QThread::create([this, readings, header, fileName] {
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
    }));
    connect(m_thread.get(), &QThread::finished, this, &CsvExport::threadDone);
    m_thread->start();
}

void CsvExport::threadDone()
{
    // The thread has finished its work and is ending.
    m_thread->wait();
    m_thread.reset();
    emit finished(m_written, m_error);
}
