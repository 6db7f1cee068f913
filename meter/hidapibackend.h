#pragma once

#include "meter/hidbackend.h"

// The HID backend of the program: hidapi through the kernel's hidraw nodes.
class HidapiBackend : public HidBackend
{
public:
    HidapiBackend();

    QList<HIDDeviceInfo> enumerate(quint16 vendorId, quint16 productId) override;
    std::unique_ptr<HidDevice> open(const QString &path, OpenError *error,
                                    QString *reason) override;
};
