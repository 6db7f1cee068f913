#pragma once

#include "record/limitalarm.h"
#include "record/recordingadmission.h"
#include "session/readingstats.h"

#include <QObject>
#include <QString>
#include <memory>

class DataModel;
class DmmData;
class JournalKeeper;
class MqttPublisher;
class MyDmm;

// What becomes of a reading once the driver has delivered it, the same for the window and the
// logger: the limit alarms, pause, the admission rules (a new measuring function starts a new
// recording; a full table and, on request, a repeated value keep a reading out), the table that
// keeps the recording, its journal on disk, its figures, and the readings handed to an MQTT
// broker. A recording read from a file is swapped in here too; while one is read, no reading is
// recorded.
class RecordingSession : public QObject
{
    Q_OBJECT
public:
    // driver: its sampling settings bound the recording. table: where the readings are kept
    // (the window's record table); without one none are kept, and the logger writes them out.
    RecordingSession(const MyDmm *driver, DataModel *table, QObject *parent = nullptr);
    ~RecordingSession() override;

    // The path of one reading from the driver, which the session owns from here.
    void take(const DmmData *reading);

    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    void setLimits(const LimitAlarm &limits);
    const LimitAlarm &limits() const { return m_limits; }

    // Keeps every recorded reading in a journal in directory as well. The oldest journals
    // beyond the quota are removed now.
    void useJournal(const QString &directory);
    JournalKeeper *journal() const { return m_journal.get(); }
    // The bytes the journals of the folder may take together.
    void setJournalQuota(qint64 bytes);
    qint64 journalQuota() const { return m_journalQuota; }
    // Hands every recorded reading to the publisher as its JSON line, with the meter's name;
    // null: none. Not owned.
    void setPublisher(MqttPublisher *publisher, const QString &meterName);

    // Readings delivered so far, recorded or not.
    qint64 readingsTaken() const { return m_taken; }
    // Readings of the recording in hand.
    int rows() const;
    bool isTableFull() const { return m_tableFull; }
    // The figures of the recording, kept here when there is no table (the logger's run); a table
    // keeps its own (DataModel::readings()).
    const ReadingStats &stats() const { return m_stats; }
    // Where the recording in hand is kept once it is cleared: its journal; empty when none.
    QString keptIn() const;
    // Empties the recording (Delete): the next reading starts again at row 1, in a new journal.
    void clear();
    // Ends the recording in order (a clean close): its journal is complete.
    void finish();

    // While a recording is read from a file, no reading is recorded.
    void setImporting(bool importing) { m_importing = importing; }
    // Takes over the rows of readings, a recording read from a file; the next reading from the
    // meter starts a new recording.
    void replaceRecording(DataModel &readings);
    // Takes over the recording of a journal that was not closed; new readings of its function
    // (key as RecordingAdmission tells functions apart) continue it, in that journal. A reading
    // of another function asks first (replacementAsked).
    void restoreRecording(DataModel &readings, const QString &function, const QString &journal);
    // The answer to replacementAsked: replace the restored recording, or keep it and pause.
    void answerReplacement(bool replace);

signals:
    // The latest reading lies inside or outside the limits, now otherwise than the one before.
    void alarmChanged(bool outside);
    // A reading leaves the limits (readings that stay outside do not repeat this).
    void excursionStarted();
    // New limits; the table's readings are being marked against them.
    void limitsChanged(const LimitAlarm &limits);
    // The function changed: the recording of the old one (rows readings, kept in keptIn when
    // its journal holds them) is about to be cleared.
    void functionChanged(const QString &function, int rows, const QString &keptIn);
    // A new recording begins with an empty table; dual: of the AC+DC function.
    void recordingStarted(bool dual);
    // A reading joined the recording as row (from 0); alarm: outside the limits.
    void recorded(const DmmData &reading, int row, bool alarm);
    // A full table keeps readings out (said once, until it has room again).
    void tableFull(int rows);
    // A reading of another function would replace a restored recording.
    void replacementAsked(const QString &function);
    void pausedChanged(bool paused);
    // The journal could not be made or written; the recording goes on without one.
    void journalFailed(const QString &message);
    // Old journals were removed to keep the folder within the quota.
    void journalsRemoved(const QString &summary);

private:
    bool checkLimits(const DmmData &reading);
    bool startsRecording(const DmmData &reading);
    void record(const DmmData &reading, bool alarm);
    void publish(const DmmData &reading);
    // What the session knows of the recording in hand goes with it.
    void forgetRecording();

    const MyDmm *m_driver;
    DataModel *m_table;
    RecordingAdmission m_admission;
    LimitAlarm m_limits;
    ReadingStats m_stats;
    std::unique_ptr<JournalKeeper> m_journal;
    qint64 m_journalQuota;
    MqttPublisher *m_publisher = nullptr;
    QString m_meterName;
    qint64 m_taken = 0;
    int m_rows = 0; // without a table
    bool m_paused = false;
    bool m_importing = false;
    bool m_outside = false;
    bool m_tableFull = false;
    // A restored recording that a reading of another function would replace, and whether the
    // user is being asked about it.
    bool m_keepRestored = false;
    bool m_asking = false;
    // The journal of a restored recording, which its next reading continues.
    QString m_continuedJournal;
};
