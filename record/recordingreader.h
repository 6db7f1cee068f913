#pragma once

#include "meter/functionentry.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class ReadingStore;
class DataModel;
class QIODevice;

// Reads a recording back from a CSV file in the layout the export and the journal write: the
// header line, then one line per reading. Function, range and unit are matched back to the
// function tables, so each reading gets its table row, its value and its chart sample as if it
// had just been recorded. The readings go into stores the caller hands over and shows only once
// the whole file has been read; a file that is refused or a read that is cancelled leaves them
// partly filled, to be thrown away.
class RecordingReader
{
    Q_DECLARE_TR_FUNCTIONS(RecordingReader)
public:
    enum class Outcome
    {
        Read,
        Cancelled,
        Refused
    };

    struct Result
    {
        Outcome outcome = Outcome::Refused;
        // For a refusal: the line it concerns (1 is the header) and what was wrong there.
        int line = 0;
        QString reason;
        int rows = 0;
        // A last line without line end (a journal cut short) is left out; its number, or 0.
        int skippedLine = 0;
    };

    // Where the readings go: the table, and for the AC+DC function the samples of the first and
    // the second chart (the AC and the DC half); the chart of any other function draws the
    // table's readings.
    struct Stores
    {
        DataModel *table = nullptr;
        ReadingStore *chart = nullptr;
        ReadingStore *secondChart = nullptr;
    };

    // tables: the function tables to match readings in, in order of preference; headers: the
    // header lines that mark a recording (one per language).
    RecordingReader(const QList<const FunctionTable *> &tables, const QList<QStringList> &headers);

    // Called after each chunk read with the bytes read so far and the file's size.
    void setProgress(std::function<void(qint64 done, qint64 total)> progress);
    void setChunkSize(int bytes) { m_chunkSize = bytes; }
    // Asks a running read to stop after its current chunk; may be called from any thread.
    void cancel() { m_cancelled = true; }

    Result read(const QString &fileName, const Stores &stores);
    Result read(QIODevice &device, qint64 size, const Stores &stores);

    // The row of the function tables the last read matched its first reading to (null when the
    // file held no reading), and whether that is the dual AC+DC display.
    const FunctionEntry *entry() const { return m_entry; }
    // What tells the recording's function from another, as the recording step compares it.
    QString functionKey() const { return m_functionKey; }

private:
    class Parser;

    QList<const FunctionTable *> m_tables;
    QList<QStringList> m_headers;
    std::function<void(qint64, qint64)> m_progress;
    int m_chunkSize = 1 << 20;
    std::atomic<bool> m_cancelled{false};
    const FunctionEntry *m_entry = nullptr;
    QString m_functionKey;
};
