#pragma once

#include "meter/mydmm.h"

#include <QString>

class DmmData;

// The rules that decide which readings the record table takes. A new measuring function starts
// the recording afresh; a full table, and on request a value text equal to the last recorded
// one, keep a reading out. What it remembers lasts as long as the window, across Delete.
class RecordingAdmission
{
public:
    // The driver's sampling settings that bound the table.
    struct Limits
    {
        int samplePoints = MyDmm::kDefaultSamplePoints;
        bool infinite = true;
        bool skipRepeat = false;
    };

    enum class Verdict
    {
        Record,
        TableFull,
        Repeated
    };

    // The AC+DC function shows two couplings that count as one function.
    static bool isDualDisplay(const DmmData &reading);
    // What tells one measuring function from another.
    static QString functionKey(const DmmData &reading);
    // The DC half of an AC+DC reading is plotted on the second chart.
    static bool belongsOnSecondChart(const DmmData &reading);

    // Remembers the function; true when it differs from the one remembered before.
    bool switchFunction(const QString &key);
    // Whether a reading with this value text joins a table of rows rows; a recorded value text
    // becomes the one later repeats are compared with.
    Verdict admit(const QString &valueText, int rows, const Limits &limits);

    QString lastFunction() const { return m_lastFunction; }
    // Forgets the function, so that the next reading starts a new recording whatever its
    // function (after the table was filled from elsewhere).
    void forgetFunction() { m_lastFunction.clear(); }

private:
    QString m_lastFunction;
    QString m_lastValue;
};
