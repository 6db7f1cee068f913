#pragma once

#include "record/threadedtask.h"

#include <QObject>
#include <QString>

#include <atomic>

class DataModel;

// Exports the record table to a CSV file on a thread of its own, so that the window goes on
// recording and painting meanwhile. It writes the readings the table holds when it starts (a
// snapshot, which rows appended or cleared later leave as it is), reports its progress, stops
// soon after a cancel (the file then left as it was), and says how it ended.
class CsvExport : public QObject
{
    Q_OBJECT
public:
    explicit CsvExport(QObject *parent = nullptr);
    // Cancels an export under way and waits for its thread.
    ~CsvExport() override;

    // Starts writing the table to the file; one export at a time.
    void start(const DataModel &table, const QString &fileName);
    bool isRunning() const { return m_task.isRunning(); }

public slots:
    void cancel() { m_cancelled = true; }

signals:
    // Rows written so far, of total; from the export's thread.
    void progress(int rows, int total);
    // Once the thread is done: written when the file holds the table, otherwise the reason in
    // error, which is empty when the export was cancelled.
    void finished(bool written, const QString &error);

private:
    std::atomic<bool> m_cancelled{false};
    // What the thread found, read once it is done.
    bool m_written = false;
    QString m_error;
    ThreadedTask m_task; // last: it ends before what it writes to
};
