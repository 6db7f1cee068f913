#include "meter/cp2110link.h"

#include "meter/hiddevice.h"

namespace {

constexpr char kParityNone = 0;
constexpr char kNoFlowControl = 0;
constexpr char kEightDataBits = 3;
constexpr char kOneStopBit = 0;

QByteArray twoBytes(quint8 id, quint8 value)
{
    QByteArray report;
    report.append(char(id));
    report.append(char(value));
    return report;
}

} // namespace

Cp2110Link::Cp2110Link(std::shared_ptr<HidBackend> hid, const LinkSettings &settings,
                       QObject *parent)
    : HidBridgeLink(std::move(hid), settings, parent)
{
}

QByteArray Cp2110Link::uartConfigReport(quint32 baudrate)
{
    QByteArray report;
    report.append(char(kUartConfig));
    for (int shift = 24; shift >= 0; shift -= 8)
        report.append(char((baudrate >> shift) & 0xFF)); // big-endian
    report.append(kParityNone);
    report.append(kNoFlowControl);
    report.append(kEightDataBits);
    report.append(kOneStopBit);
    return report;
}

// The chip forgets its UART settings at power-on, so every open sets them all: disabled while
// configuring, both FIFOs purged, the error flags cleared by reading the status, then enabled.
bool Cp2110Link::configure(HidDevice &device, QString *reason)
{
    QByteArray status;
    const bool done = device.sendFeatureReport(twoBytes(kUartEnable, 0)) >= 0 &&
                      device.sendFeatureReport(uartConfigReport(settings().baudrate)) >= 0 &&
                      device.sendFeatureReport(twoBytes(kPurgeFifos, kPurgeBoth)) >= 0 &&
                      device.getFeatureReport(kUartStatus, kUartStatusSize, &status) >= 0 &&
                      device.sendFeatureReport(twoBytes(kUartEnable, 1)) >= 0;
    if (!done)
        *reason = device.errorText();
    return done;
}

void Cp2110Link::unconfigure(HidDevice &device)
{
    device.sendFeatureReport(twoBytes(kUartEnable, 0));
}

QList<QByteArray> Cp2110Link::outputReports(const QByteArray &bytes) const
{
    QList<QByteArray> reports;
    for (int from = 0; from < bytes.size(); from += kMaxData) {
        const QByteArray data = bytes.mid(from, kMaxData);
        reports.append(char(data.size()) + data);
    }
    return reports;
}

// The count comes from byte 0, not from the report's length, which may include padding.
QByteArray Cp2110Link::inputBytes(const QByteArray &report) const
{
    if (report.isEmpty())
        return QByteArray();
    const int count = quint8(report.at(0));
    if (count < 1 || count > kMaxData)
        return QByteArray(); // not a data report
    return report.mid(1, count);
}
