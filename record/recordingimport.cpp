#include "record/recordingimport.h"

RecordingImport::RecordingImport(const QList<const FunctionTable *> &tables,
                                 const QList<QStringList> &headers,
                                 const QList<ColumnSpec *> &columns, QObject *parent)
    : QObject(parent)
    , m_reader(tables, headers)
    , m_table(columns)
{
    // The reader looks for a cancel after each chunk; a cancel that comes before the read has
    // begun is kept here, so that the read's start does not forget it.
    m_reader.setProgress([this](qint64 done, qint64 total) {
        emit progress(done, total);
        if (m_cancelled)
            m_reader.cancel();
    });
    connect(&m_task, &ThreadedTask::done, this, &RecordingImport::finished);
}

RecordingImport::~RecordingImport()
{
    cancel();
}

void RecordingImport::start(const QString &fileName)
{
    if (m_task.isRunning())
        return;
    m_cancelled = false;
    m_table.clearRecords();
    m_chart.clear();
    m_secondChart.clear();
    m_task.start([this, fileName] {
        m_result = m_reader.read(fileName, {&m_table, &m_chart, &m_secondChart});
    });
}
