#pragma once

#include <QLatin1String>
#include <array>

// The codes the meter understands, each the only payload byte of a command frame: the poll
// for the current display and the keys, with the names the command line knows the keys by.
namespace meterkeys {

constexpr unsigned char kPoll = 0x5E;

constexpr unsigned char kMaxMin = 0x41;
constexpr unsigned char kExitMaxMin = 0x42;
constexpr unsigned char kRangeManual = 0x46;
constexpr unsigned char kRangeAuto = 0x47;
constexpr unsigned char kRel = 0x48;
constexpr unsigned char kHz = 0x49;
constexpr unsigned char kHold = 0x4A;
constexpr unsigned char kLight = 0x4B;
constexpr unsigned char kSelect = 0x4C;
constexpr unsigned char kPeak = 0x4D;
constexpr unsigned char kExitPeak = 0x4E;

struct NamedKey
{
    const char *name;
    unsigned char code;
};

constexpr std::array<NamedKey, 11> kNamedKeys = {{
    {"select", kSelect},
    {"manual", kRangeManual},
    {"auto", kRangeAuto},
    {"rel", kRel},
    {"hz", kHz},
    {"hold", kHold},
    {"light", kLight},
    {"peak", kPeak},
    {"exit-peak", kExitPeak},
    {"maxmin", kMaxMin},
    {"exit-maxmin", kExitMaxMin},
}};

} // namespace meterkeys
