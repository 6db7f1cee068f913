#pragma once

#include "record/journal.h"
#include "record/timestampformatter.h"

#include <QObject>
#include <QString>

class DmmData;

// The journal of the recording on disk and the housekeeping of its folder: a new file with each
// recording, named after its first reading, every recorded reading on disk before the next one
// is taken, and the oldest files removed beyond the quota. For the window it also notes in the
// folder which journal a running recording writes, so that a recording cut short by a crash can
// be offered at the next start and continued.
class JournalKeeper : public QObject
{
    Q_OBJECT
public:
    JournalKeeper(const QString &directory, qint64 quota, QObject *parent = nullptr);

    QString directory() const { return m_journal.directory(); }
    qint64 quota() const { return m_quota; }
    void setQuota(qint64 bytes) { m_quota = bytes; }
    // Keeps the note of the running recording's journal (the window does, the logger does not).
    void setNotesRunningRecording(bool on) { m_notesRunning = on; }

    // Begins the journal of a new recording with its first reading's time; a journal that
    // cannot be made is reported and the recording goes on without it.
    void begin(const QDateTime &start);
    // Appends the reading as row number (from 1) of the running journal, if one runs.
    void append(qint64 number, const DmmData &reading);
    // Continues the journal of a recording restored after a crash; a line cut short at its end
    // is taken away first. False, reported, when the file cannot be written.
    bool resume(const QString &fileName);
    // The recording has ended in order: its journal is complete.
    void stop();
    bool isActive() const { return m_journal.isActive(); }
    QString fileName() const { return m_journal.fileName(); }
    QString errorString() const { return m_journal.errorString(); }

    // Removes the oldest journals beyond the quota, never the running one.
    void prune();
    // The journal that the note names: a recording that was not closed; empty when none.
    QString unclosedJournal() const;
    // Forgets the note of a recording that was not closed.
    void forgetUnclosed();

signals:
    // A journal could not be made or written; the recording runs without one until the next.
    void failed(const QString &message);
    // Journals were removed to keep the folder within the quota, as one sentence.
    void removed(const QString &summary);

private:
    QString notePath() const;
    void note(const QString &fileName);

    Journal m_journal;
    qint64 m_quota;
    bool m_notesRunning = false;
    TimestampFormatter m_time;
};
