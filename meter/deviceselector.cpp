#include "meter/deviceselector.h"

#include "meter/linkbackend.h"
#include "meter/linkfactory.h"
#include "meter/meterlog.h"

DeviceSelector::DeviceSelector(QObject *parent)
    : QObject(parent)
    , m_factory(createLink)
{
    qRegisterMetaType<HIDDeviceInfo>("HIDDeviceInfo");
}

DeviceSelector::~DeviceSelector()
{
    close();
}

void DeviceSelector::setCh9329VID(const ushort &vid)
{
    m_settings.ch9329Vid = vid;
}

void DeviceSelector::setCh9329PID(const ushort &pid)
{
    m_settings.ch9329Pid = pid;
}

void DeviceSelector::setCp2110VID(const ushort &vid)
{
    m_settings.cp2110Vid = vid;
}

void DeviceSelector::setCp2110PID(const ushort &pid)
{
    m_settings.cp2110Pid = pid;
}

void DeviceSelector::setBaudrate(const uint &baudrate)
{
    m_settings.baudrate = baudrate;
}

void DeviceSelector::setReadTimeout(const uint &ms)
{
    m_settings.readTimeout = ms;
}

void DeviceSelector::setWriteTimeout(const uint &ms)
{
    m_settings.writeTimeout = ms;
}

void DeviceSelector::setDevice(const QString &device)
{
    m_device = device;
}

void DeviceSelector::setLinkFactory(LinkFactory factory)
{
    m_factory = std::move(factory);
}

bool DeviceSelector::open()
{
    if (isActived())
        return false;
    m_link.reset();
    m_errorString.clear();
    std::unique_ptr<LinkBackend> link(m_factory ? m_factory(m_device, m_settings, &m_errorString)
                                                : nullptr);
    if (!link) {
        qCWarning(lcLink).noquote() << "Cannot open device" << m_device << ":" << m_errorString;
        return false;
    }
    connect(link.get(), &LinkBackend::bytesReceived, this, &DeviceSelector::onBytes);
    connect(link.get(), &LinkBackend::opened, this, &DeviceSelector::opened);
    connect(link.get(), &LinkBackend::closed, this, &DeviceSelector::onLinkClosed);
    // The link emits opened() from inside open(); slots reached by it see the link in place.
    m_link = std::move(link);
    if (!m_link->open()) {
        m_errorString = m_link->errorString();
        m_link.reset();
        qCWarning(lcLink).noquote() << "Cannot open device" << m_device << ":" << m_errorString;
        return false;
    }
    return true;
}

bool DeviceSelector::isActived() const
{
    return m_link && m_link->isOpen();
}

void DeviceSelector::write(const uchar *data, int len)
{
    if (isActived() && data && len > 0)
        m_link->write(QByteArray(reinterpret_cast<const char *>(data), len));
}

void DeviceSelector::close()
{
    if (isActived())
        m_link->close();
}

void DeviceSelector::onLinkClosed()
{
    qCInfo(lcLink).noquote() << "Device link" << m_device << "closed";
    emit closed();
}

void DeviceSelector::onBytes(const QByteArray &bytes)
{
    // The array outlives every directly connected slot, so the pointer stays valid for them.
    emit readyRead(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size());
}
