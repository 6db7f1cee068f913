#include "meter/dmm.h"

#include "meter/deviceselector.h"

Dmm::Dmm(DeviceSelector *selector, QObject *parent)
    : QObject(parent)
    , deviceSelector(selector)
{
    if (!selector)
        return;
    connect(selector, &DeviceSelector::opened, this, &Dmm::opened);
    connect(selector, &DeviceSelector::closed, this, &Dmm::closed);
    connect(selector, &DeviceSelector::readyRead, this, &Dmm::slotSerialDeviceRead);
}

Dmm::~Dmm()
{
    if (!deviceSelector)
        return;
    // The subclass is gone already: nothing may reach it through the link any more.
    disconnect(deviceSelector, nullptr, this, nullptr);
    deviceSelector->close();
}

bool Dmm::open()
{
    return deviceSelector && deviceSelector->open();
}

void Dmm::close()
{
    if (deviceSelector)
        deviceSelector->close();
}

bool Dmm::isOpen() const
{
    return deviceSelector && deviceSelector->isActived();
}
