#include "meter/hidreportlayout.h"

#include <QMap>

namespace {

// Short item prefixes (tag and type, size bits masked off).
constexpr quint8 kUsagePage = 0x04;
constexpr quint8 kReportSize = 0x74;
constexpr quint8 kReportId = 0x84;
constexpr quint8 kReportCount = 0x94;
constexpr quint8 kOutput = 0x90;
constexpr quint8 kLongItem = 0xFE;
constexpr quint32 kVendorPage = 0xFF00;

// One short item: its prefix without the size bits, and its little-endian value.
struct Item
{
    quint8 prefix;
    quint32 value;
};

// The item at offset, advancing offset past it; false at the end or on a truncated item.
bool nextItem(const QByteArray &descriptor, int &offset, Item &item)
{
    while (offset < descriptor.size()) {
        const quint8 first = quint8(descriptor.at(offset));
        if (first == kLongItem) {
            if (offset + 1 >= descriptor.size())
                return false;
            offset += 3 + quint8(descriptor.at(offset + 1));
            continue;
        }
        const int size = (first & 0x03) == 3 ? 4 : first & 0x03;
        if (offset + 1 + size > descriptor.size())
            return false;
        item.prefix = first & 0xFC;
        item.value = 0;
        for (int i = 0; i < size; ++i)
            item.value |= quint32(quint8(descriptor.at(offset + 1 + i))) << (8 * i);
        offset += 1 + size;
        return true;
    }
    return false;
}

} // namespace

HidReportLayout HidReportLayout::fromDescriptor(const QByteArray &descriptor)
{
    HidReportLayout layout;
    quint32 usagePage = 0;
    quint32 reportSize = 0;
    quint32 reportCount = 0;
    quint8 reportId = 0;
    bool outputFound = false;
    QMap<quint8, quint32> outputBits; // per report ID, of the vendor output items
    int offset = 0;
    Item item{};
    while (nextItem(descriptor, offset, item)) {
        switch (item.prefix) {
        case kUsagePage:
            usagePage = item.value;
            break;
        case kReportSize:
            reportSize = item.value;
            break;
        case kReportCount:
            reportCount = item.value;
            break;
        case kReportId:
            reportId = quint8(item.value);
            if (!layout.numbered && !outputFound)
                layout.outputId = reportId; // until a vendor output report names its own
            layout.numbered = true;
            break;
        case kOutput:
            if (usagePage >= kVendorPage) {
                if (!outputFound)
                    layout.outputId = reportId;
                outputFound = true;
                outputBits[reportId] += reportSize * reportCount;
            }
            break;
        default:
            break;
        }
    }
    if (outputFound && outputBits.value(layout.outputId) >= 16)
        layout.outputSize = int(outputBits.value(layout.outputId) / 8);
    return layout;
}
