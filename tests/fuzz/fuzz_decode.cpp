// Fuzz target: MyDmm::decode on single reply frames with any function and range codes, any
// display text and status bytes, and any length byte. The reading is compared with what the
// frame's bytes say, the number with an independent reading of the display text.
//
// The first input byte chooses the function table; the rest is the frame.

#include "meter/dmmdata.h"
#include "meter/functionentry.h"
#include "meter/mydmm.h"
#include "meter/unitprefix.h"
#include "tests/fuzz/fuzzsupport.h"

#include <QRegularExpression>

#include <cmath>
#include <memory>

namespace {

using namespace reply;

bool bit(uchar byte, int number)
{
    return byte & (1u << number);
}

// The frame is long enough to be a reading: its length byte says so and the bytes are there.
bool carriesReading(const QByteArray &frame)
{
    if (frame.size() <= kLengthOffset)
        return false;
    const int length = byteAt(frame, kLengthOffset);
    return length >= kReadingLength && frame.size() >= length + 1 + kChecksumSize;
}

// The display text as a plain decimal number (optional sign, digits, at most one point),
// spaces ignored; anything else reads as 0.
double expectedNumber(const QString &display)
{
    // \A and \z: "$" would also match before a final line feed.
    static const QRegularExpression decimal(
        QStringLiteral("\\A[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)\\z"));
    QString digits = display;
    digits.remove(QLatin1Char(' '));
    return decimal.match(digits).hasMatch() ? digits.toDouble() : 0;
}

bool sameNumber(double a, double b)
{
    return std::fabs(a - b) <= 1e-12 * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

bool isTemperature(quint8 function)
{
    return function == functions::kCelsius || function == functions::kFahrenheit;
}

void checkValue(const DmmData &reading, const FunctionEntry &entry)
{
    const QString &text = reading.valueText();
    const bool overload = text.contains(QLatin1Char('O')) && text.contains(QLatin1Char('L'));
    const bool negative = text.contains(QLatin1Char('-'));
    const int expectedOverload = overload ? (negative ? -1 : 1) : 0;
    check(reading.overload() == expectedOverload, "overload sign");

    const quint8 function = entry.functionCode();
    double expected = expectedNumber(text);
    if (expectedOverload == 1)
        expected = isTemperature(function) ? entry.upper().toInt() : entry.fullScale();
    else if (expectedOverload == -1)
        expected = isTemperature(function) ? entry.fullScale() : -entry.fullScale();
    if (isScaledFunction(function))
        expected *= prefixFactor(entry.prefix());
    check(std::isfinite(reading.value()), "value is not finite");
    check(sameNumber(reading.value(), expected), "value differs from the display text");
}

void checkStatus(const DmmData &reading, const QByteArray &frame)
{
    const uchar mode = byteAt(frame, kModeOffset);
    check(reading.hold() == bit(mode, 1) && reading.relative() == bit(mode, 0), "mode bits");
    check(reading.maxMinText() == (bit(mode, 3)   ? QStringLiteral("MAX")
                                   : bit(mode, 2) ? QStringLiteral("MIN")
                                                  : QString()),
          "max/min text");
    const uchar extra = byteAt(frame, kExtraOffset);
    check(reading.peakText() == (bit(extra, 2)   ? QStringLiteral("P-MAX")
                                 : bit(extra, 1) ? QStringLiteral("P-MIN")
                                                 : QString()),
          "peak text");
    if (reading.entry()->functionCode() == functions::kAcPlusDc) {
        const QString coupling = bit(extra, 3) ? QStringLiteral("AC") : QStringLiteral("DC");
        check(reading.couplingText() == coupling, "coupling text");
        check(reading.functionName() == reading.entry()->name() + QStringLiteral(": ") + coupling,
              "function name with coupling");
    } else {
        check(reading.couplingText().isEmpty(), "coupling text outside AC+DC");
        check(reading.functionName() == reading.entry()->name(), "function name");
    }
}

void checkReading(const DmmData &reading, const QByteArray &frame, const FunctionEntry &entry)
{
    check(reading.entry() == &entry, "row differs from the table lookup");
    check(reading.valueText() == QLatin1String(frame.constData() + kDisplayOffset, kDisplaySize),
          "value text differs from the display bytes");
    check(reading.unitText() == entry.prefix() + entry.unit(), "unit text");
    check(!reading.rangeText().isEmpty(), "empty range text");
    check(reading.timestamp().isValid(), "no time stamp");
    checkValue(reading, entry);
    checkStatus(reading, frame);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // Both drivers live for the whole run; building the tables for every input would cost
    // more than the decoding.
    static MyDmm *const drivers[] = {new MyDmm(nullptr), new MyDmm(nullptr)};
    drivers[1]->setModel(QStringLiteral("VX310E"));
    const MyDmm &dmm = *drivers[data[0] & 1];
    const QByteArray frame(reinterpret_cast<const char *>(data) + 1, int(size) - 1);

    const std::unique_ptr<DmmData> reading(dmm.decode(frame));
    const FunctionEntry *entry = carriesReading(frame)
                                     ? findEntry(dmm.activeTable(), byteAt(frame, kFunctionOffset),
                                                 byteAt(frame, kRangeOffset))
                                     : nullptr;
    check((reading != nullptr) == (entry != nullptr),
          "a reading exactly when the frame is long enough and its codes are in the table");
    if (reading)
        checkReading(*reading, frame, *entry);
    return 0;
}
