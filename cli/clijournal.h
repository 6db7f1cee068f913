#pragma once

#include "record/journal.h"
#include "record/timestampformatter.h"

#include <QString>

class DmmData;

// The recording journal of a command-line run: every reading written is on disk before the
// next one arrives, in the export's CSV layout, in one file per stretch of one measuring
// function, numbered from 1 as the window's table would number it. A journal that fails is
// reported (once per failure, by the journal itself) and left off until the function changes.
class CliJournal
{
public:
    CliJournal(const QString &directory, qint64 quota);

    // Removes the oldest journals of the folder beyond the quota, naming each on standard error.
    void prune();
    // Notes a reading the meter delivered, written or not: a change of function begins a new
    // file, at the moment the window's table would start again at row 1.
    void follow(const DmmData &data);
    // Appends a reading that is being written.
    void append(const DmmData &data);
    void stop();

private:
    Journal m_journal;
    qint64 m_quota;
    QString m_function;
    bool m_hasFunction = false;
    qint64 m_rows = 0;
    TimestampFormatter m_time;
};
