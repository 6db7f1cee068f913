#include "meter/ch9329link.h"

#include "meter/hiddevice.h"

#include <algorithm>

namespace {

constexpr qint32 kGenericDesktopPage = 0x01;
constexpr qint32 kConsumerPage = 0x0C;

} // namespace

Ch9329Link::Ch9329Link(std::shared_ptr<HidBackend> hid, const LinkSettings &settings,
                       QObject *parent)
    : HidBridgeLink(std::move(hid), settings, parent)
{
}

int Ch9329Link::dataInterface(const QList<HIDDeviceInfo> &found)
{
    for (int i = 0; i < found.size(); ++i) {
        if (quint32(found.at(i).usagePage) >= kVendorUsagePage)
            return i;
    }
    for (int i = 0; i < found.size(); ++i) {
        const qint32 page = found.at(i).usagePage;
        if (page != kGenericDesktopPage && page != kConsumerPage)
            return i;
    }
    return -1;
}

int Ch9329Link::chooseInterface(const QList<HIDDeviceInfo> &found) const
{
    return dataInterface(found);
}

bool Ch9329Link::configure(HidDevice &device, QString *reason)
{
    Q_UNUSED(reason)
    m_layout = HidReportLayout::fromDescriptor(device.reportDescriptor());
    return true;
}

QList<QByteArray> Ch9329Link::outputReports(const QByteArray &bytes) const
{
    const int maxData = std::clamp(m_layout.outputSize - 1, 1, kMaxData);
    QList<QByteArray> reports;
    for (int from = 0; from < bytes.size(); from += maxData) {
        const QByteArray data = bytes.mid(from, maxData);
        QByteArray report(1 + m_layout.outputSize, '\0');
        report[0] = char(m_layout.outputId);
        report[1] = char(data.size());
        report.replace(2, data.size(), data);
        reports.append(report);
    }
    return reports;
}

QByteArray Ch9329Link::inputBytes(const QByteArray &report) const
{
    const int start = m_layout.numbered ? 1 : 0;
    if (report.size() <= start)
        return QByteArray();
    const int count = quint8(report.at(start));
    return report.mid(start + 1, std::min(count, kMaxData));
}
