#include "cli/clijournal.h"

#include "cli/csvformatter.h"
#include "meter/dmmdata.h"
#include "record/recordingadmission.h"

CliJournal::CliJournal(const QString &directory, qint64 quota)
    : m_journal(directory)
    , m_quota(quota)
{
}

void CliJournal::prune()
{
    m_journal.prune(m_quota);
}

void CliJournal::follow(const DmmData &data)
{
    const QString function = RecordingAdmission::functionKey(data);
    if (m_hasFunction && function == m_function)
        return;
    m_function = function;
    m_hasFunction = true;
    m_rows = 0;
    // The file is named after the first reading of the function.
    const QDateTime start =
        data.timestamp().isValid() ? data.timestamp() : QDateTime::currentDateTime();
    if (m_journal.start(CsvFormatter::headerFields(), start))
        prune();
}

void CliJournal::append(const DmmData &data)
{
    if (m_journal.isActive())
        m_journal.append(CsvFormatter::rowFields(++m_rows, data, m_time));
}

void CliJournal::stop()
{
    m_journal.stop();
}
