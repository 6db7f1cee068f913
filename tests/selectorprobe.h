#pragma once

#include "meter/deviceselector.h"
#include "meter/frame.h"

#include <QByteArray>
#include <QList>

// Shared by the link tests: the valid frames in a byte stream, in order.
inline QList<QByteArray> framesIn(const QByteArray &bytes)
{
    QList<QByteArray> frames;
    int offset = 0;
    for (QByteArray found = frame::extract(bytes, offset); !found.isEmpty();
         found = frame::extract(bytes, offset))
        frames.append(found);
    return frames;
}

// A device selector on one device name that keeps every byte it delivers.
class SelectorProbe
{
public:
    explicit SelectorProbe(const QString &device)
    {
        selector.setDevice(device);
        QObject::connect(&selector, &DeviceSelector::readyRead,
                         [this](const uint8_t *data, int len) {
                             received.append(reinterpret_cast<const char *>(data), len);
                         });
    }

    void write(const QByteArray &bytes)
    {
        selector.write(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
    }

    DeviceSelector selector;
    QByteArray received;
};
