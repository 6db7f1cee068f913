#pragma once

#include <QtGlobal>

// The device the programs open unless told otherwise: the first bridge found.
constexpr char kDefaultDevice[] = "auto";
// The meter's UART speed.
constexpr uint kMeterBaudrate = 9600;

// What the window configures on the device link before it is opened: the two bridges'
// USB identifiers, the UART speed to the meter and the link's time-outs in milliseconds.
struct LinkSettings
{
    ushort ch9329Vid = 0x1A86;
    ushort ch9329Pid = 0xE429;
    ushort cp2110Vid = 0x10C4;
    ushort cp2110Pid = 0xEA80;
    uint baudrate = kMeterBaudrate;
    uint readTimeout = 100;
    uint writeTimeout = 100;
};
