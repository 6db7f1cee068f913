#include "record/recordingadmission.h"

#include "meter/dmmdata.h"
#include "meter/functionentry.h"

bool RecordingAdmission::isDualDisplay(const DmmData &reading)
{
    return reading.entry() && functionCode(reading.entry()) == functions::kAcPlusDc;
}

QString RecordingAdmission::functionKey(const DmmData &reading)
{
    // The function name of an AC+DC reading carries its coupling; the table row's does not.
    return isDualDisplay(reading) ? reading.entry()->name() : reading.functionName();
}

bool RecordingAdmission::belongsOnSecondChart(const DmmData &reading)
{
    return isDualDisplay(reading) &&
           reading.couplingText() != QLatin1String(functions::kAcCoupling);
}

bool RecordingAdmission::switchFunction(const QString &key)
{
    if (key == m_lastFunction)
        return false;
    m_lastFunction = key;
    return true;
}

RecordingAdmission::Verdict RecordingAdmission::admit(const QString &valueText, int rows,
                                                      const Limits &limits)
{
    if (!limits.infinite && rows >= limits.samplePoints)
        return Verdict::TableFull;
    if (limits.skipRepeat && valueText == m_lastValue)
        return Verdict::Repeated;
    m_lastValue = valueText;
    return Verdict::Record;
}
