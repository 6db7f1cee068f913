#pragma once

#include "meter/linksettings.h"

#include <QString>
#include <memory>

class HidBackend;
class LinkBackend;

// Creates the backend that a --device name asks for ("auto", "sim", "serial:PATH", "cp2110",
// "ch9329"). Returns null with *error set when the name is unknown or no device is there.
LinkBackend *createLink(const QString &device, const LinkSettings &settings, QString *error);

// The same with the HID backend the bridges use (tests pass a fake); null means hidapi.
LinkBackend *createLinkWithHid(const QString &device, const LinkSettings &settings, QString *error,
                               std::shared_ptr<HidBackend> hid);
