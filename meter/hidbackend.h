#pragma once

#include "meter/hiddeviceinfo.h"

#include <QList>
#include <memory>

class HidDevice;

// Finds and opens HID devices for the bridge links: hidapi's hidraw backend in the program, a
// fake in tests.
class HidBackend
{
public:
    // Why a device that is present could not be opened.
    enum class OpenError
    {
        None,
        PermissionDenied,
        Busy,
        Other
    };

    virtual ~HidBackend() = default;

    // One entry per interface (top-level usage) of every device with these USB IDs.
    virtual QList<HIDDeviceInfo> enumerate(quint16 vendorId, quint16 productId) = 0;
    // Opens the interface at path; null with *error and *reason (words) on failure.
    virtual std::unique_ptr<HidDevice> open(const QString &path, OpenError *error,
                                            QString *reason) = 0;
};
