#pragma once

#include <QByteArray>
#include <QString>

// One opened HID device, as the bridge links use it. The real one wraps hidapi; tests use a
// fake. read() runs in the link's reader thread, every other call in the link's own thread.
// Reports start with their report ID, 0x00 for a device without numbered reports.
class HidDevice
{
public:
    virtual ~HidDevice() = default;

    // Sends an output report; the bytes written, or -1 on failure.
    virtual int write(const QByteArray &report) = 0;
    // Waits up to timeoutMs for an input report and stores it in *report; its size, 0 on
    // time-out, -1 when the device failed or is gone.
    virtual int read(QByteArray *report, int timeoutMs) = 0;
    // Sends a feature report; the bytes sent, or -1 on failure.
    virtual int sendFeatureReport(const QByteArray &report) = 0;
    // Reads feature report id, size bytes counting the ID, into *report; its size or -1.
    virtual int getFeatureReport(quint8 id, int size, QByteArray *report) = 0;
    // The interface's report descriptor; empty when it cannot be read.
    virtual QByteArray reportDescriptor() = 0;
    // The last failure in words.
    virtual QString errorText() = 0;
};
