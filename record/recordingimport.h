#pragma once

#include "record/datamodel.h"
#include "record/readingstore.h"
#include "record/recordingreader.h"
#include "record/threadedtask.h"

#include <QObject>

#include <atomic>

// Reads a recording back from its CSV file on a thread of its own, into a table and chart samples
// of its own, so that the window goes on painting meanwhile and its table stays as it is until
// the whole file is read. It reports progress, stops soon after a cancel, and says when it is
// done; the stores are then the caller's to take (DataModel::takeRecords,
// DMMChart::replacePoints).
class RecordingImport : public QObject
{
    Q_OBJECT
public:
    // tables and headers as RecordingReader's; columns: the record table's.
    RecordingImport(const QList<const FunctionTable *> &tables, const QList<QStringList> &headers,
                    const QList<ColumnSpec *> &columns, QObject *parent = nullptr);
    // Cancels a read under way and waits for its thread.
    ~RecordingImport() override;

    // Starts reading the file; one read at a time.
    void start(const QString &fileName);
    bool isRunning() const { return m_task.isRunning(); }

    // What the last read found, once finished() has come: how it went, the function it matched
    // (the reader's entry() and functionKey()), and the readings.
    const RecordingReader::Result &result() const { return m_result; }
    const RecordingReader &reader() const { return m_reader; }
    DataModel &table() { return m_table; }
    ReadingStore &chart() { return m_chart; }
    ReadingStore &secondChart() { return m_secondChart; }

public slots:
    void cancel() { m_cancelled = true; }

signals:
    // Bytes read so far, of the file's size; from the read's thread.
    void progress(qint64 done, qint64 total);
    void finished();

private:
    RecordingReader m_reader;
    DataModel m_table;
    ReadingStore m_chart;
    ReadingStore m_secondChart;
    RecordingReader::Result m_result;
    std::atomic<bool> m_cancelled{false};
    ThreadedTask m_task; // last: it ends before what it reads into
};
