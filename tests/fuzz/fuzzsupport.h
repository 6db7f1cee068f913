#pragma once

#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/unitprefix.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// What the fuzz targets share: a broken expectation ends the run (libFuzzer then keeps the
// input), and the check of a reading against its reply frame, written from the frame layout on
// its own so that it does not lean on the driver's code.
inline void check(bool condition, const char *what)
{
    if (!condition)
        fprintf(stderr, "fuzz check failed: %s\n", what), abort();
}

namespace reply {

constexpr int kLength = 2, kFunction = 3, kRange = 4, kDisplay = 5, kMode = 14, kExtra = 16;
// A reply is a reading when its length byte covers everything up to the third status byte.
constexpr int kReadingLength = 16;

inline uchar byteAt(const QByteArray &bytes, int offset)
{
    return uchar(bytes.at(offset));
}
inline bool bit(uchar byte, int number)
{
    return byte & (1u << number);
}

// The display text as a decimal number (optional sign, digits, at most one point) once its
// spaces are gone; anything else reads as 0. \A and \z: "$" would also match before a line feed.
inline double displayNumber(QString text)
{
    static const QRegularExpression decimal(
        QStringLiteral("\\A[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)\\z"));
    text.remove(QLatin1Char(' '));
    return decimal.match(text).hasMatch() ? text.toDouble() : 0;
}

inline void checkReading(const DmmData &reading, const QByteArray &frame,
                         const FunctionTable &table)
{
    const FunctionEntry *entry = reading.entry();
    check(entry && entry == findEntry(table, byteAt(frame, kFunction), byteAt(frame, kRange)),
          "reading's row is not the table's row for the frame's codes");
    const QString text = reading.valueText();
    check(text == QLatin1String(frame.constData() + kDisplay, 7), "value text");
    check(reading.unitText() == entry->prefix() + entry->unit(), "unit text");
    check(!reading.rangeText().isEmpty() && reading.timestamp().isValid(), "range or time");
    const int overload =
        text.contains('O') && text.contains('L') ? (text.contains('-') ? -1 : 1) : 0;
    check(reading.overload() == overload, "overload sign");
    // An overload shows the end of the range it ran past, a temperature row's limits.
    const quint8 function = entry->functionCode();
    const bool temperature = function == functions::kCelsius || function == functions::kFahrenheit;
    double expected = overload == 0  ? displayNumber(text)
                      : overload > 0 ? (temperature ? entry->upper().toInt() : entry->fullScale())
                                     : (temperature ? entry->fullScale() : -entry->fullScale());
    if (isScaledFunction(function))
        expected *= prefixFactor(entry->prefix());
    check(std::fabs(reading.value() - expected) <= 1e-12 * std::max(1.0, std::fabs(expected)),
          "value differs from the display text");
    const uchar mode = byteAt(frame, kMode), extra = byteAt(frame, kExtra);
    check(reading.hold() == bit(mode, 1) && reading.relative() == bit(mode, 0), "mode bits");
    check(reading.maxMinText() == (bit(mode, 3) ? "MAX" : bit(mode, 2) ? "MIN" : ""), "max/min");
    check(reading.peakText() == (bit(extra, 2) ? "P-MAX" : bit(extra, 1) ? "P-MIN" : ""), "peak");
    const bool acPlusDc = function == functions::kAcPlusDc;
    const QString coupling = !acPlusDc ? "" : bit(extra, 3) ? "AC" : "DC";
    check(reading.couplingText() == coupling, "coupling text");
    check(reading.functionName() == entry->name() + (acPlusDc ? ": " + coupling : ""),
          "function name");
}

} // namespace reply
