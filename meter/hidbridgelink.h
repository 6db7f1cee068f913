#pragma once

#include "meter/hidbackend.h"
#include "meter/linkbackend.h"
#include "meter/linksettings.h"

#include <memory>

class HidDevice;
class HidReader;

// What both USB-HID-to-UART bridges share: finding the cable by its USB IDs, opening the right
// interface, a reader thread for the input reports, and ending the link when the cable goes.
// The bridge's own class says how it is set up and how UART bytes travel in its reports.
class HidBridgeLink : public LinkBackend
{
    Q_OBJECT
public:
    ~HidBridgeLink() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_device != nullptr; }
    // Sends the bytes in as many output reports as they need; a failed write ends the link.
    void write(const QByteArray &bytes) override;

    // The command that installs the udev rule and makes it work, for the error messages.
    static QString udevAdvice();

protected:
    HidBridgeLink(std::shared_ptr<HidBackend> hid, const LinkSettings &settings, QObject *parent);

    const LinkSettings &settings() const { return m_settings; }

    // The bridge's name in messages, "CP2110" or "CH9329", and its USB IDs.
    virtual QString bridgeName() const = 0;
    virtual quint16 vendorId() const = 0;
    virtual quint16 productId() const = 0;
    // The index of the interface to open among those found; -1 when none will do.
    virtual int chooseInterface(const QList<HIDDeviceInfo> &found) const;
    // Prepares the freshly opened device; false with *reason when it refuses.
    virtual bool configure(HidDevice &device, QString *reason);
    // Leaves the device as it was found, before it is closed.
    virtual void unconfigure(HidDevice &device);
    // The output reports that carry bytes, in order.
    virtual QList<QByteArray> outputReports(const QByteArray &bytes) const = 0;
    // The UART bytes an input report carries.
    virtual QByteArray inputBytes(const QByteArray &report) const = 0;

private:
    void start(std::unique_ptr<HidDevice> device);
    void shutDown(bool deviceAlive);
    void fail(const QString &reason);
    QString usbIds() const;
    QString openFailureText(const QString &path, HidBackend::OpenError error,
                            const QString &reason) const;

    std::shared_ptr<HidBackend> m_hid;
    LinkSettings m_settings;
    std::unique_ptr<HidDevice> m_device;
    std::unique_ptr<HidReader> m_reader;
    // Counts the opens, so that reports queued by an earlier reader are recognised and dropped
    // (Qt also drops calls queued by a deleted reader, but does not promise to).
    quint64 m_generation = 0;
};
