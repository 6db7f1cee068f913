#include "meter/linkfactory.h"

#include "meter/ch9329link.h"
#include "meter/cp2110link.h"
#include "meter/hidapibackend.h"
#include "meter/seriallink.h"
#include "meter/simlink.h"

#include <QCoreApplication>

namespace {

const QString kSerialPrefix = QStringLiteral("serial:");
const QString kAuto = QLatin1String(kDefaultDevice);
const QString kSim = QStringLiteral("sim");
const QString kCp2110 = QStringLiteral("cp2110");
const QString kCh9329 = QStringLiteral("ch9329");

bool isSerialName(const QString &device)
{
    return device.startsWith(kSerialPrefix) && device.size() > kSerialPrefix.size();
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// With both bridges plugged in, the CH9329 wins.
LinkBackend *autoLink(const LinkSettings &settings, QString *error,
                      const std::shared_ptr<HidBackend> &hid)
{
    if (!hid->enumerate(settings.ch9329Vid, settings.ch9329Pid).isEmpty())
        return new Ch9329Link(hid, settings);
    if (!hid->enumerate(settings.cp2110Vid, settings.cp2110Pid).isEmpty())
        return new Cp2110Link(hid, settings);
    setError(error, QCoreApplication::translate("LinkFactory",
                                                "No CH9329 or CP2110 meter cable found; plug in "
                                                "the meter's USB cable (USB ID %1:%2 or %3:%4), "
                                                "or try the virtual meter with --device sim.")
                        .arg(settings.ch9329Vid, 4, 16, QLatin1Char('0'))
                        .arg(settings.ch9329Pid, 4, 16, QLatin1Char('0'))
                        .arg(settings.cp2110Vid, 4, 16, QLatin1Char('0'))
                        .arg(settings.cp2110Pid, 4, 16, QLatin1Char('0')));
    return nullptr;
}

} // namespace

QStringList deviceNames()
{
    return {kAuto, kSim, kSerialPrefix + QStringLiteral("PATH"), kCp2110, kCh9329};
}

bool isDeviceName(const QString &device)
{
    return device == kAuto || device == kSim || device == kCp2110 || device == kCh9329 ||
           isSerialName(device);
}

QString unknownDeviceText(const QString &device)
{
    return QStringLiteral("Unknown device \"%1\"; use %2.")
        .arg(device, deviceNames().join(QStringLiteral(", ")));
}

LinkBackend *createLink(const QString &device, const LinkSettings &settings, QString *error)
{
    return createLinkWithHid(device, settings, error, nullptr);
}

LinkBackend *createLinkWithHid(const QString &device, const LinkSettings &settings, QString *error,
                               std::shared_ptr<HidBackend> hid)
{
    if (!isDeviceName(device)) {
        setError(error, unknownDeviceText(device));
        return nullptr;
    }
    if (device == kSim)
        return new SimLink;
    if (isSerialName(device))
        return new SerialLink(device.mid(kSerialPrefix.size()), settings);
    if (!hid)
        hid = std::make_shared<HidapiBackend>();
    if (device == kCp2110)
        return new Cp2110Link(hid, settings);
    if (device == kCh9329)
        return new Ch9329Link(hid, settings);
    return autoLink(settings, error, hid);
}
