#pragma once

#include "meter/functionentry.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QVector>

// The virtual meter's front panel: its measuring function and range, what its keys have
// switched on, and the reading on its display. Every poll takes a sample of the simulated input
// and gives the content of the reply frame; every key changes the state as the meter's key does.
class VirtualMeterState
{
public:
    // The first range code of every function.
    static constexpr quint8 kFirstRange = 0x30;
    // What the display shows past the range, with a minus sign when the input is negative.
    static constexpr char kOverload[] = "  O.L  ";
    static constexpr char kNegativeOverload[] = " -O.L  ";

    // MAX/MIN and peak modes: off, or showing the highest or the lowest value seen.
    enum class Extreme
    {
        Off,
        Max,
        Min
    };

    explicit VirtualMeterState(quint32 seed);
    ~VirtualMeterState();
    VirtualMeterState(const VirtualMeterState &) = delete;
    VirtualMeterState &operator=(const VirtualMeterState &) = delete;

    // Acts on a key code; false, and no change, for a code the meter has no key for.
    bool pressKey(quint8 code);
    // Takes the next sample and returns bytes 3 to 16 of the reply frame: function, range, the
    // seven display characters, two unused bytes and the three status bytes.
    QByteArray sampleReply();

    quint8 function() const { return m_function; }
    quint8 rangeCode() const { return quint8(kFirstRange + m_range); }
    Extreme maxMin() const { return m_maxMin; }
    Extreme peak() const { return m_peak; }

    // Switches to a function of the meter's table with automatic range and every key mode off,
    // and puts a typical input for it on the probes; false for a code the table lacks.
    bool setFunction(quint8 code);
    // The quantity at the input, in the function's unit without prefix (volts, ohms, hertz...).
    void setInput(double value);
    double input() const { return m_input; }
    // Slow drift and noise around the input; on by default, off for exact readings in tests.
    void setDrift(bool on) { m_drift = on; }
    void setLowBattery(bool on) { m_lowBattery = on; }
    // Forces the overload display whatever the input.
    void setOverload(bool on) { m_forcedOverload = on; }

private:
    const FunctionEntry &row() const { return *m_ranges.at(m_range); }
    double takeSample();
    int autoRange(double value) const;
    bool fits(double value, const FunctionEntry &entry) const;
    double shownValue(double sample);
    QByteArray displayFor(double value) const;
    QByteArray statusBytes() const;
    void stepFunction();
    void pressHz();
    void enterExtreme(Extreme &mode, Extreme &other);
    bool rangeLocked() const;

    FunctionTable m_table;
    QVector<const FunctionEntry *> m_ranges; // the rows of the current function
    QRandomGenerator m_random;

    quint8 m_function = 0;
    int m_range = 0;
    quint8 m_hzReturn = 0; // the function the Hz key goes back to
    double m_input = 0;
    double m_driftOffset = 0;
    double m_lastSample = 0;
    double m_reference = 0;
    double m_highest = 0;
    double m_lowest = 0;
    QByteArray m_display;

    bool m_manualRange = false;
    bool m_hold = false;
    bool m_relative = false;
    bool m_backlight = false;
    bool m_lowBattery = false;
    bool m_forcedOverload = false;
    bool m_drift = true;
    Extreme m_maxMin = Extreme::Off;
    Extreme m_peak = Extreme::Off;
};
