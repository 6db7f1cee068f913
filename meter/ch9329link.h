#pragma once

#include "meter/hidbridgelink.h"
#include "meter/hidreportlayout.h"

// The "ch9329" link: a WCH CH9329 bridge. Its UART speed lives in the chip's own configuration
// (9600 baud as our meter's cable comes), so there is nothing to set up. It may show up as a
// composite device; the vendor-defined interface carries the data, in reports of a count byte,
// that many UART bytes and zero padding, after a report ID if the interface numbers its reports.
class Ch9329Link : public HidBridgeLink
{
    Q_OBJECT
public:
    static constexpr quint32 kVendorUsagePage = 0xFF00;
    static constexpr int kMaxData = 63;

    Ch9329Link(std::shared_ptr<HidBackend> hid, const LinkSettings &settings,
               QObject *parent = nullptr);

    // The interface that carries the data: the first vendor-defined one, else the first that
    // is neither keyboard nor mouse (generic desktop) nor media keys (consumer); -1 if none.
    static int dataInterface(const QList<HIDDeviceInfo> &found);

protected:
    QString bridgeName() const override { return QStringLiteral("CH9329"); }
    quint16 vendorId() const override { return settings().ch9329Vid; }
    quint16 productId() const override { return settings().ch9329Pid; }
    int chooseInterface(const QList<HIDDeviceInfo> &found) const override;
    bool configure(HidDevice &device, QString *reason) override;
    QList<QByteArray> outputReports(const QByteArray &bytes) const override;
    QByteArray inputBytes(const QByteArray &report) const override;

private:
    HidReportLayout m_layout;
};
