#pragma once

#include "meter/hidbridgelink.h"

// The "cp2110" link: a Silicon Labs CP2110 bridge. Its UART is configured and enabled through
// feature reports on every open; UART bytes travel in numbered interrupt reports whose report
// ID is the count of data bytes that follow (1 to 63).
class Cp2110Link : public HidBridgeLink
{
    Q_OBJECT
public:
    static constexpr quint8 kUartEnable = 0x41;
    static constexpr quint8 kUartStatus = 0x42;
    static constexpr quint8 kPurgeFifos = 0x43;
    static constexpr quint8 kUartConfig = 0x50;
    static constexpr quint8 kPurgeBoth = 0x03;
    static constexpr int kUartStatusSize = 7;
    static constexpr int kMaxData = 63;

    Cp2110Link(std::shared_ptr<HidBackend> hid, const LinkSettings &settings,
               QObject *parent = nullptr);

    // The UART configuration report for a baud rate with 8 data bits, no parity, one stop bit
    // and no flow control.
    static QByteArray uartConfigReport(quint32 baudrate);

protected:
    QString bridgeName() const override { return QStringLiteral("CP2110"); }
    quint16 vendorId() const override { return settings().cp2110Vid; }
    quint16 productId() const override { return settings().cp2110Pid; }
    bool configure(HidDevice &device, QString *reason) override;
    void unconfigure(HidDevice &device) override;
    QList<QByteArray> outputReports(const QByteArray &bytes) const override;
    QByteArray inputBytes(const QByteArray &report) const override;
};
