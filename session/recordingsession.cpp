#include "session/recordingsession.h"

#include "format/jsonlformatter.h"
#include "meter/dmmdata.h"
#include "meter/mydmm.h"
#include "mqtt/mqttpublisher.h"
#include "record/datamodel.h"
#include "record/journal.h"
#include "session/journalkeeper.h"

RecordingSession::RecordingSession(const MyDmm *driver, DataModel *table, QObject *parent)
    : QObject(parent)
    , m_driver(driver)
    , m_table(table)
    , m_journalQuota(Journal::kDefaultQuota)
{
}

RecordingSession::~RecordingSession() = default;

void RecordingSession::take(const DmmData *reading)
{
    const std::unique_ptr<const DmmData> owned(reading);
    if (!reading)
        return;
    ++m_taken;
    // The limits are checked on every reading, recorded or not: the panel shows them all.
    const bool alarm = checkLimits(*reading);
    if (m_paused || m_importing || m_asking || !startsRecording(*reading))
        return;
    const RecordingAdmission::Limits limits{m_driver->samplePoints(), m_driver->isInfinite(),
                                            m_driver->isSkipRepeat()};
    switch (m_admission.admit(reading->valueText(), rows(), limits)) {
    case RecordingAdmission::Verdict::Record:
        m_tableFull = false;
        record(*reading, alarm);
        break;
    case RecordingAdmission::Verdict::TableFull:
        if (!std::exchange(m_tableFull, true))
            emit tableFull(rows());
        break;
    case RecordingAdmission::Verdict::Repeated:
        break;
    }
}

bool RecordingSession::checkLimits(const DmmData &reading)
{
    bool excursionStarts = false;
    const bool outside = m_limits.update(reading.value(), reading.overload(), &excursionStarts) !=
                         LimitAlarm::Side::Inside;
    if (excursionStarts)
        emit excursionStarted();
    if (outside != std::exchange(m_outside, outside))
        emit alarmChanged(outside);
    return outside;
}

// A reading of another function than the recording's ends that recording and starts a new
// one; false when the reading has to wait for the user's word instead.
bool RecordingSession::startsRecording(const DmmData &reading)
{
    const QString function = RecordingAdmission::functionKey(reading);
    if (function == m_admission.lastFunction())
        return true;
    if (m_keepRestored) {
        m_asking = true;
        emit replacementAsked(function);
        return false;
    }
    const bool hadFunction = !m_admission.lastFunction().isEmpty();
    m_admission.switchFunction(function);
    if (hadFunction)
        emit functionChanged(function, rows(), keptIn());
    clear();
    emit recordingStarted(RecordingAdmission::isDualDisplay(reading));
    return true;
}

void RecordingSession::record(const DmmData &reading, bool alarm)
{
    const QDateTime time = reading.timestamp();
    const int row =
        m_table
            ? m_table->appendReading(
                  reading, time.isValid() ? time.toMSecsSinceEpoch() : DataModel::kNoTime, alarm) -
                  1
            : m_rows++;
    // On disk before anything shows it, should the process die.
    if (m_journal) {
        if (row == 0)
            m_journal->begin(time.isValid() ? time : QDateTime::currentDateTime());
        else if (!m_continuedJournal.isEmpty())
            m_journal->resume(std::exchange(m_continuedJournal, QString()));
        m_journal->append(row + 1, reading);
    }
    publish(reading);
    // A table sums its readings up itself.
    if (!m_table)
        m_stats.add(reading);
    emit recorded(reading, row, alarm);
}

// The JSON line is made on the publisher's thread from a copy: the recording step only queues.
void RecordingSession::publish(const DmmData &reading)
{
    if (!m_publisher)
        return;
    auto copy = std::make_shared<DmmData>();
    copy->copyFrom(reading);
    m_publisher->publish([copy, name = m_meterName, limits = m_limits] {
        return JsonlFormatter(name, limits).reading(0, *copy).chopped(1);
    });
}

void RecordingSession::setPaused(bool paused)
{
    if (std::exchange(m_paused, paused) != paused)
        emit pausedChanged(paused);
}

void RecordingSession::setLimits(const LimitAlarm &limits)
{
    if (limits.low() == m_limits.low() && limits.high() == m_limits.high())
        return;
    // The excursion in progress is kept: a reading still outside does not alarm again.
    m_limits.setLimits(limits.low(), limits.high());
    m_stats.setLimits(m_limits);
    // The readings recorded so far are marked anew, once for the change.
    if (m_table)
        m_table->markAlarms(m_limits);
    emit limitsChanged(m_limits);
}

void RecordingSession::setJournalQuota(qint64 bytes)
{
    m_journalQuota = bytes;
    if (m_journal)
        m_journal->setQuota(bytes);
}

void RecordingSession::useJournal(const QString &directory)
{
    m_journal = std::make_unique<JournalKeeper>(directory, m_journalQuota);
    connect(m_journal.get(), &JournalKeeper::failed, this, &RecordingSession::journalFailed);
    connect(m_journal.get(), &JournalKeeper::removed, this, &RecordingSession::journalsRemoved);
    m_journal->prune();
}

void RecordingSession::setPublisher(MqttPublisher *publisher, const QString &meterName)
{
    m_publisher = publisher;
    m_meterName = meterName;
}

int RecordingSession::rows() const
{
    return m_table ? m_table->rowCount() : m_rows;
}

QString RecordingSession::keptIn() const
{
    return m_journal && rows() > 0 ? m_journal->fileName() : QString();
}

void RecordingSession::clear()
{
    if (m_table)
        m_table->clearRecords();
    forgetRecording();
}

void RecordingSession::forgetRecording()
{
    m_rows = 0;
    m_tableFull = false;
    m_keepRestored = false;
    m_asking = false;
    m_continuedJournal.clear();
}

void RecordingSession::finish()
{
    if (m_journal)
        m_journal->stop();
}

void RecordingSession::replaceRecording(DataModel &readings)
{
    if (m_table)
        m_table->takeRecords(readings);
    forgetRecording();
    // The recording read is closed: the next reading from the meter starts a new one.
    m_admission.forgetFunction();
    finish();
    // Its readings are marked against the limits in force, not those of when they were taken.
    if (m_table)
        m_table->markAlarms(m_limits);
}

void RecordingSession::restoreRecording(DataModel &readings, const QString &function,
                                        const QString &journal)
{
    replaceRecording(readings);
    m_admission.switchFunction(function);
    m_keepRestored = true;
    // Its journal goes on with the first new reading.
    m_continuedJournal = journal;
}

void RecordingSession::answerReplacement(bool replace)
{
    m_asking = false;
    if (replace)
        m_keepRestored = false;
    else
        setPaused(true);
}
