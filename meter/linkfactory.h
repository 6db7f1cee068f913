#pragma once

#include "meter/linksettings.h"

#include <QString>
#include <QStringList>
#include <memory>

class HidBackend;
class LinkBackend;

// The device names the factory knows, as the command lines list them ("serial:PATH" for a
// serial port), and whether a name is one of them.
QStringList deviceNames();
bool isDeviceName(const QString &device);
// What the command lines and the link say about a name that is not one of them.
QString unknownDeviceText(const QString &device);

// Creates the backend that a --device name asks for ("auto", "sim", "serial:PATH", "cp2110",
// "ch9329"). Returns null with *error set when the name is unknown or no device is there.
LinkBackend *createLink(const QString &device, const LinkSettings &settings, QString *error);

// The same with the HID backend the bridges use (tests pass a fake); null means hidapi.
LinkBackend *createLinkWithHid(const QString &device, const LinkSettings &settings, QString *error,
                               std::shared_ptr<HidBackend> hid);
