#pragma once

#include <QByteArray>

// How the vendor-defined reports of a HID interface are laid out, as far as a bridge needs it:
// whether reports carry a report ID (and which one the output report has), and the size of
// the output report without its ID.
struct HidReportLayout
{
    static constexpr int kDefaultOutputSize = 64;

    bool numbered = false; // reports start with a report ID
    quint8 outputId = 0;   // the ID of the vendor output report; 0 when not numbered
    int outputSize = kDefaultOutputSize;

    // Reads the layout from a report descriptor. The first Output item under a vendor-defined
    // usage page (0xFF00 and above) gives the output report; without one, or with an empty or
    // broken descriptor, the defaults stand: 64 bytes, and the first report ID if any.
    static HidReportLayout fromDescriptor(const QByteArray &descriptor);
};
