#pragma once

#include "meter/hiddeviceinfo.h"
#include "meter/linksettings.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class LinkBackend;

// The device link to the meter. It is configured once, then opened and closed as the driver
// needs; the actual link (a bridge, a serial port, the virtual meter) is created on each open
// by the link factory from the device name. Received bytes are always emitted from this
// object's own thread, and stay valid until the slots connected to readyRead return.
class DeviceSelector : public QObject
{
    Q_OBJECT
public:
    using LinkFactory = std::function<LinkBackend *(const QString &device,
                                                    const LinkSettings &settings, QString *error)>;

    explicit DeviceSelector(QObject *parent = nullptr);
    ~DeviceSelector() override;

    void setCh9329VID(const ushort &vid);
    void setCh9329PID(const ushort &pid);
    void setCp2110VID(const ushort &vid);
    void setCp2110PID(const ushort &pid);
    void setBaudrate(const uint &baudrate);
    void setReadTimeout(const uint &ms);
    void setWriteTimeout(const uint &ms);
    const LinkSettings &settings() const { return m_settings; }

    // Which link open() uses: "auto" (default), "sim", "serial:PATH", "cp2110", "ch9329".
    void setDevice(const QString &device);
    QString device() const { return m_device; }
    // Replaces the factory that turns the device name into a link (tests install fakes here).
    void setLinkFactory(LinkFactory factory);

    // True when the link is usable; opened() follows. On failure errorString() says why.
    bool open();
    bool isActived() const;
    // Sends one whole command frame; nothing is sent on a closed link.
    void write(const uchar *data, int len);
    // Closes an open link (closed() follows); harmless when already closed.
    void close();
    QString errorString() const { return m_errorString; }
    // The link in use while open, for diagnostics and tests; null when closed.
    LinkBackend *link() const { return m_link.get(); }

signals:
    void opened();
    void closed();
    void readyRead(const uint8_t *data, int len);
    void deviceDiscovered(HIDDeviceInfo info);
    void deviceRemoved(HIDDeviceInfo info);

private:
    void onLinkClosed();
    void onBytes(const QByteArray &bytes);

    LinkSettings m_settings;
    QString m_device = QLatin1String(kDefaultDevice);
    LinkFactory m_factory;
    std::unique_ptr<LinkBackend> m_link;
    QString m_errorString;
};
