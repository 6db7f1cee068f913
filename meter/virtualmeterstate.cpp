#include "meter/virtualmeterstate.h"

#include "meter/meterkeys.h"
#include "meter/unitprefix.h"

#include <QtMath>
#include <algorithm>
#include <iterator>

namespace {

// A plausible input for every function code of the table, in its unit without prefix.
constexpr double kTypicalInput[] = {
    230.0,    // ACV
    0.1234,   // ACmV
    5.0,      // DCV
    0.0321,   // DCmV
    50.0,     // FREQ
    50.0,     // Duty Cycle
    4700.0,   // RES
    0.4,      // Short-Circuit
    0.587,    // Diode
    4.7e-6,   // CAP
    23.5,     // Temperature, Celsius
    74.3,     // Temperature, Fahrenheit
    123.4e-6, // DCuA
    250e-6,   // ACuA
    0.0153,   // DCmA
    0.0221,   // ACmA
    1.234,    // DCA
    2.5,      // ACA
    150.0,    // hFE
    0.0,      // Live
    0.0,      // NCV
    230.0,    // LozV
    50.0,     // FREQ from the Hz key
    50.0,     // Duty Cycle from the Hz key
};

constexpr quint8 kFrequency = 4;
constexpr quint8 kDuty = 5;
constexpr quint8 kHzFrequency = 22;
constexpr quint8 kHzDuty = 23;

// Drift follows a slow random walk pulled back towards the input; noise is added on top. Both
// are relative to the input, so a zero input stays at zero.
constexpr double kDriftPull = 0.95;
constexpr double kDriftStep = 0.002;
constexpr double kNoise = 0.0005;

constexpr int kDisplayWidth = 7;

bool isTemperature(quint8 function)
{
    return function == functions::kCelsius || function == functions::kFahrenheit;
}

// The digits after the point on a 6000-count display: "6" shows 5.999, "600" shows 599.9.
int decimalsOf(const FunctionEntry &entry)
{
    if (isTemperature(entry.functionCode()))
        return entry.rangeCode() == VirtualMeterState::kFirstRange ? 1 : 0;
    const int digits = QString::number(qAbs(entry.fullScale())).size();
    return std::max(0, 4 - digits);
}

} // namespace

VirtualMeterState::VirtualMeterState(quint32 seed)
    : m_random(seed)
{
    FunctionTable eTable;
    buildTables(m_table, eTable);
    qDeleteAll(eTable);
    setFunction(2); // DCV
}

VirtualMeterState::~VirtualMeterState()
{
    qDeleteAll(m_table);
}

bool VirtualMeterState::setFunction(quint8 code)
{
    QVector<const FunctionEntry *> ranges;
    for (const FunctionEntry *entry : qAsConst(m_table)) {
        if (entry->functionCode() == code)
            ranges.append(entry);
    }
    if (ranges.isEmpty())
        return false;
    m_function = code;
    m_ranges = ranges;
    m_manualRange = m_hold = m_relative = false;
    m_maxMin = m_peak = Extreme::Off;
    m_driftOffset = 0;
    setInput(code < std::size(kTypicalInput) ? kTypicalInput[code] : 0.0);
    m_range = autoRange(m_input);
    m_display = displayFor(m_input);
    return true;
}

void VirtualMeterState::setInput(double value)
{
    m_input = value;
    m_lastSample = value;
}

bool VirtualMeterState::pressKey(quint8 code)
{
    switch (code) {
    case meterkeys::kSelect:
        stepFunction();
        return true;
    case meterkeys::kRangeManual:
        m_range = (m_range + 1) % m_ranges.size();
        m_manualRange = true;
        return true;
    case meterkeys::kRangeAuto:
        m_manualRange = false;
        return true;
    case meterkeys::kRel:
        m_relative = !m_relative;
        m_reference = m_lastSample;
        return true;
    case meterkeys::kHz:
        pressHz();
        return true;
    case meterkeys::kHold:
        m_hold = !m_hold;
        return true;
    case meterkeys::kLight:
        m_backlight = !m_backlight;
        return true;
    case meterkeys::kMaxMin:
        enterExtreme(m_maxMin, m_peak);
        return true;
    case meterkeys::kExitMaxMin:
        m_maxMin = Extreme::Off;
        return true;
    case meterkeys::kPeak:
        enterExtreme(m_peak, m_maxMin);
        return true;
    case meterkeys::kExitPeak:
        m_peak = Extreme::Off;
        return true;
    default:
        return false;
    }
}

void VirtualMeterState::stepFunction()
{
    quint8 next = m_function;
    do {
        next = quint8((next + 1) % 256);
    } while (!setFunction(next));
}

// Hz goes from a measuring function to its frequency, then to the duty cycle, then back.
void VirtualMeterState::pressHz()
{
    switch (m_function) {
    case kFrequency:
        setFunction(kDuty);
        break;
    case kDuty:
        setFunction(kFrequency);
        break;
    case kHzFrequency:
        setFunction(kHzDuty);
        break;
    case kHzDuty:
        setFunction(m_hzReturn);
        break;
    default:
        m_hzReturn = m_function;
        setFunction(kHzFrequency);
        break;
    }
}

// The first press starts with MAX (both extremes from the present value), later presses
// alternate MAX and MIN; MAX/MIN and peak exclude each other.
void VirtualMeterState::enterExtreme(Extreme &mode, Extreme &other)
{
    if (mode == Extreme::Off && other == Extreme::Off)
        m_highest = m_lowest = m_lastSample - (m_relative ? m_reference : 0);
    mode = mode == Extreme::Max ? Extreme::Min : Extreme::Max;
    other = Extreme::Off;
}

bool VirtualMeterState::rangeLocked() const
{
    return m_manualRange || m_hold || m_relative || m_maxMin != Extreme::Off ||
           m_peak != Extreme::Off;
}

QByteArray VirtualMeterState::sampleReply()
{
    const double sample = takeSample();
    if (!rangeLocked())
        m_range = autoRange(sample);
    const double shown = shownValue(sample);
    if (!m_hold)
        m_display = displayFor(shown);

    QByteArray content;
    content.append(char(m_function));
    content.append(char(rangeCode()));
    content.append(m_display);
    content.append(2, '\0');
    content.append(statusBytes());
    return content;
}

double VirtualMeterState::takeSample()
{
    if (m_drift) {
        const double scale = qAbs(m_input);
        m_driftOffset =
            kDriftPull * m_driftOffset + (m_random.generateDouble() * 2 - 1) * kDriftStep * scale;
        m_lastSample =
            m_input + m_driftOffset + (m_random.generateDouble() * 2 - 1) * kNoise * scale;
    } else {
        m_lastSample = m_input;
    }
    return m_lastSample;
}

// The value on the display: relative to the stored reference, or the extreme being held.
double VirtualMeterState::shownValue(double sample)
{
    const double value = m_relative ? sample - m_reference : sample;
    if (m_maxMin == Extreme::Off && m_peak == Extreme::Off)
        return value;
    m_highest = std::max(m_highest, value);
    m_lowest = std::min(m_lowest, value);
    const Extreme mode = m_maxMin != Extreme::Off ? m_maxMin : m_peak;
    return mode == Extreme::Max ? m_highest : m_lowest;
}

int VirtualMeterState::autoRange(double value) const
{
    for (int i = 0; i < m_ranges.size(); ++i) {
        if (fits(value, *m_ranges.at(i)))
            return i;
    }
    // Below the lowest temperature range the first range shows the overload.
    if (isTemperature(m_function) && value < m_ranges.first()->fullScale())
        return 0;
    return m_ranges.size() - 1;
}

bool VirtualMeterState::fits(double value, const FunctionEntry &entry) const
{
    if (isTemperature(entry.functionCode()))
        return value >= entry.fullScale() && value <= entry.upper().toInt();
    return qAbs(value) <= entry.fullScale() * prefixFactor(entry.prefix());
}

QByteArray VirtualMeterState::displayFor(double value) const
{
    if (m_forcedOverload || !fits(value, row()))
        return QByteArray(value < 0 ? kNegativeOverload : kOverload);
    const int decimals = decimalsOf(row());
    const double step = qPow(10, decimals);
    double shown = qRound64(value / prefixFactor(row().prefix()) * step) / step;
    if (shown == 0)
        shown = 0; // no "-0.000"
    return QString::number(shown, 'f', decimals).rightJustified(kDisplayWidth).toLatin1();
}

QByteArray VirtualMeterState::statusBytes() const
{
    const auto bit = [](bool on, int n) { return on ? char(1 << n) : char(0); };
    QByteArray status(3, '\0');
    status[0] = char(bit(m_maxMin == Extreme::Max, 3) | bit(m_maxMin == Extreme::Min, 2) |
                     bit(m_hold, 1) | bit(m_relative, 0));
    status[1] = char(bit(m_manualRange, 2) | bit(m_lowBattery, 1));
    status[2] = char(bit(m_peak == Extreme::Max, 2) | bit(m_peak == Extreme::Min, 1));
    return status;
}
