#include "meter/linkfactory.h"

#include "meter/ch9329link.h"
#include "meter/cp2110link.h"
#include "meter/hidapibackend.h"
#include "meter/seriallink.h"
#include "meter/simlink.h"

namespace {

const QString kSerialPrefix = QStringLiteral("serial:");

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
    setError(error, QStringLiteral("No CH9329 or CP2110 meter cable found; plug in the meter's "
                                   "USB cable (USB ID %1:%2 or %3:%4), or try the virtual "
                                   "meter with --device sim.")
                        .arg(settings.ch9329Vid, 4, 16, QLatin1Char('0'))
                        .arg(settings.ch9329Pid, 4, 16, QLatin1Char('0'))
                        .arg(settings.cp2110Vid, 4, 16, QLatin1Char('0'))
                        .arg(settings.cp2110Pid, 4, 16, QLatin1Char('0')));
    return nullptr;
}

} // namespace

LinkBackend *createLink(const QString &device, const LinkSettings &settings, QString *error)
{
    return createLinkWithHid(device, settings, error, nullptr);
}

LinkBackend *createLinkWithHid(const QString &device, const LinkSettings &settings, QString *error,
                               std::shared_ptr<HidBackend> hid)
{
    if (device == QLatin1String("sim"))
        return new SimLink;
    if (device.startsWith(kSerialPrefix) && device.size() > kSerialPrefix.size())
        return new SerialLink(device.mid(kSerialPrefix.size()), settings);
    const bool bridge = device == QLatin1String("auto") || device == QLatin1String("cp2110") ||
                        device == QLatin1String("ch9329");
    if (!bridge) {
        setError(error, QStringLiteral("Unknown device \"%1\"; use auto, sim, serial:PATH, cp2110 "
                                       "or ch9329.")
                            .arg(device));
        return nullptr;
    }
    if (!hid)
        hid = std::make_shared<HidapiBackend>();
    if (device == QLatin1String("cp2110"))
        return new Cp2110Link(hid, settings);
    if (device == QLatin1String("ch9329"))
        return new Ch9329Link(hid, settings);
    return autoLink(settings, error, hid);
}
