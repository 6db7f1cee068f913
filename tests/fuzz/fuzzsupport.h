#pragma once

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

// What the fuzz targets share: the reply frame layout they check the driver against, written
// down here on its own so that the checks do not lean on the driver's code, and the way a
// broken expectation ends the run (libFuzzer then keeps the input that broke it).
namespace reply {

constexpr int kLengthOffset = 2;
constexpr int kFunctionOffset = 3;
constexpr int kRangeOffset = 4;
constexpr int kDisplayOffset = 5;
constexpr int kDisplaySize = 7;
constexpr int kModeOffset = 14;
constexpr int kExtraOffset = 16;
// A reply becomes a reading only when it carries everything up to the third status byte.
constexpr int kReadingLength = 16;
constexpr int kChecksumSize = 2;
constexpr unsigned char kAcknowledge = 0xFF;

inline unsigned char byteAt(const QByteArray &bytes, int offset)
{
    return static_cast<unsigned char>(bytes.at(offset));
}

} // namespace reply

inline void check(bool condition, const char *what)
{
    if (condition)
        return;
    fprintf(stderr, "fuzz check failed: %s\n", what);
    abort();
}
