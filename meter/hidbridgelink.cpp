#include "meter/hidbridgelink.h"

#include "meter/hiddevice.h"
#include "meter/hidreader.h"
#include "meter/meterlog.h"

HidBridgeLink::HidBridgeLink(std::shared_ptr<HidBackend> hid, const LinkSettings &settings,
                             QObject *parent)
    : LinkBackend(parent)
    , m_hid(std::move(hid))
    , m_settings(settings)
{
}

// The bridge's own part is already gone here, so the device is closed as it is; the owner
// calls close() first for an orderly end.
HidBridgeLink::~HidBridgeLink()
{
    if (isOpen())
        shutDown(false);
}

QString HidBridgeLink::udevAdvice()
{
    return tr("Install the udev rule (sudo cp udev/70-klm704.rules /etc/udev/rules.d/), run "
              "\"sudo udevadm control --reload-rules && sudo udevadm trigger\", then unplug "
              "the cable and plug it in again.");
}

QString HidBridgeLink::usbIds() const
{
    return QStringLiteral("%1:%2")
        .arg(vendorId(), 4, 16, QLatin1Char('0'))
        .arg(productId(), 4, 16, QLatin1Char('0'));
}

bool HidBridgeLink::open()
{
    if (isOpen())
        return true;
    const QList<HIDDeviceInfo> found = m_hid->enumerate(vendorId(), productId());
    if (found.isEmpty()) {
        setErrorString(tr("No %1 meter cable found (USB ID %2); plug in the meter's USB cable.")
                           .arg(bridgeName(), usbIds()));
        return false;
    }
    const int chosen = chooseInterface(found);
    if (chosen < 0) {
        setErrorString(tr("The %1 meter cable (USB ID %2) has no interface for the meter's "
                          "data; unplug it and plug it in again.")
                           .arg(bridgeName(), usbIds()));
        return false;
    }
    const QString path = found.at(chosen).path;
    auto error = HidBackend::OpenError::None;
    QString reason;
    std::unique_ptr<HidDevice> device = m_hid->open(path, &error, &reason);
    if (!device) {
        setErrorString(openFailureText(path, error, reason));
        return false;
    }
    if (!configure(*device, &reason)) {
        setErrorString(tr("The %1 meter cable at %2 refused its settings: %3. Unplug the cable "
                          "and plug it in again.")
                           .arg(bridgeName(), path, reason));
        return false;
    }
    qCInfo(lcLink).noquote() << "Opened the" << bridgeName() << "meter cable at" << path;
    start(std::move(device));
    emit opened();
    return true;
}

QString HidBridgeLink::openFailureText(const QString &path, HidBackend::OpenError error,
                                       const QString &reason) const
{
    switch (error) {
    case HidBackend::OpenError::PermissionDenied:
        return tr("The %1 meter cable at %2 cannot be opened: permission denied. %3")
            .arg(bridgeName(), path, udevAdvice());
    case HidBackend::OpenError::Busy:
        return tr("The %1 meter cable at %2 is in use by another program; close that program, "
                  "or unplug the cable and plug it in again.")
            .arg(bridgeName(), path);
    default:
        return tr("The %1 meter cable at %2 cannot be opened (%3). Unplug the cable and plug it "
                  "in again. If that does not help: %4")
            .arg(bridgeName(), path, reason, udevAdvice());
    }
}

void HidBridgeLink::start(std::unique_ptr<HidDevice> device)
{
    m_device = std::move(device);
    m_reader = std::make_unique<HidReader>(m_device.get(), int(m_settings.readTimeout));
    const quint64 generation = ++m_generation;
    connect(m_reader.get(), &HidReader::reportReceived, this,
            [this, generation](const QByteArray &report) {
                if (generation == m_generation && isOpen()) {
                    const QByteArray bytes = inputBytes(report);
                    if (!bytes.isEmpty())
                        emit bytesReceived(bytes);
                }
            });
    connect(m_reader.get(), &HidReader::failed, this, [this, generation](const QString &reason) {
        if (generation == m_generation && isOpen())
            fail(reason);
    });
    m_reader->start();
}

void HidBridgeLink::close()
{
    if (!isOpen())
        return;
    shutDown(true);
    emit closed();
}

// The reader stops before the device is closed: it must not read from a closed handle.
void HidBridgeLink::shutDown(bool deviceAlive)
{
    ++m_generation;
    m_reader.reset();
    if (deviceAlive)
        unconfigure(*m_device);
    m_device.reset();
}

void HidBridgeLink::fail(const QString &reason)
{
    qCWarning(lcLink).noquote() << "The" << bridgeName() << "meter cable is gone:" << reason;
    shutDown(false);
    emit closed();
}

void HidBridgeLink::write(const QByteArray &bytes)
{
    if (!isOpen())
        return;
    for (const QByteArray &report : outputReports(bytes)) {
        if (m_device->write(report) < 0) {
            fail(m_device->errorText());
            return;
        }
    }
}

int HidBridgeLink::chooseInterface(const QList<HIDDeviceInfo> &found) const
{
    return found.isEmpty() ? -1 : 0;
}

bool HidBridgeLink::configure(HidDevice &device, QString *reason)
{
    Q_UNUSED(device)
    Q_UNUSED(reason)
    return true;
}

void HidBridgeLink::unconfigure(HidDevice &device)
{
    Q_UNUSED(device)
}
