#pragma once

#include <QMetaType>
#include <QString>

// Description of a HID device as the link reports it on discovery and removal.
struct HIDDeviceInfo
{
    QString path;
    QString serialNumber;
    QString manufacturer;
    QString product;
    QString interfaceName;
    QString vendorName;
    QString productName;
    QString releaseText;
    QString description;
    quint16 vendorId = 0;
    quint16 productId = 0;
    quint16 releaseNumber = 0;
    qint32 usagePage = 0;
    qint32 interfaceNumber = -1;
};

Q_DECLARE_METATYPE(HIDDeviceInfo)
