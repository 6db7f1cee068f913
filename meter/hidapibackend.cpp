#include "meter/hidapibackend.h"

#include "meter/hiddevice.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <hidapi.h>
#include <unistd.h>

namespace {

// Room for the largest full-speed report and its report ID.
constexpr int kReadBufferSize = 1 + 64 + 64;

QString fromWide(const wchar_t *text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

const unsigned char *bytesOf(const QByteArray &report)
{
    return reinterpret_cast<const unsigned char *>(report.constData());
}

class HidapiDevice : public HidDevice
{
public:
    HidapiDevice(hid_device *device, const QString &path)
        : m_device(device)
        , m_path(path)
    {
    }
    ~HidapiDevice() override { hid_close(m_device); }

    int write(const QByteArray &report) override
    {
        return hid_write(m_device, bytesOf(report), size_t(report.size()));
    }

    int read(QByteArray *report, int timeoutMs) override
    {
        unsigned char buffer[kReadBufferSize];
        const int n = hid_read_timeout(m_device, buffer, sizeof buffer, timeoutMs);
        if (n > 0)
            *report = QByteArray(reinterpret_cast<const char *>(buffer), n);
        return n;
    }

    int sendFeatureReport(const QByteArray &report) override
    {
        return hid_send_feature_report(m_device, bytesOf(report), size_t(report.size()));
    }

    int getFeatureReport(quint8 id, int size, QByteArray *report) override
    {
        QByteArray buffer(size, '\0');
        buffer[0] = char(id);
        const int n = hid_get_feature_report(
            m_device, reinterpret_cast<unsigned char *>(buffer.data()), size_t(size));
        if (n > 0)
            *report = buffer.left(n);
        return n;
    }

    // hidapi 0.13 has no call for it; the kernel shows it beside the hidraw node.
    QByteArray reportDescriptor() override
    {
        QFile file(QStringLiteral("/sys/class/hidraw/%1/device/report_descriptor")
                       .arg(QFileInfo(m_path).fileName()));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString errorText() override { return fromWide(hid_error(m_device)); }

private:
    hid_device *m_device;
    QString m_path;
};

HIDDeviceInfo describe(const hid_device_info &entry)
{
    HIDDeviceInfo info;
    info.path = QString::fromLocal8Bit(entry.path);
    info.serialNumber = fromWide(entry.serial_number);
    info.manufacturer = fromWide(entry.manufacturer_string);
    info.product = fromWide(entry.product_string);
    info.vendorId = entry.vendor_id;
    info.productId = entry.product_id;
    info.releaseNumber = entry.release_number;
    info.usagePage = entry.usage_page;
    info.interfaceNumber = entry.interface_number;
    return info;
}

} // namespace

HidapiBackend::HidapiBackend()
{
    // Repeated calls are harmless; hidapi keeps its state for the whole process.
    hid_init();
}

QList<HIDDeviceInfo> HidapiBackend::enumerate(quint16 vendorId, quint16 productId)
{
    QList<HIDDeviceInfo> found;
    hid_device_info *list = hid_enumerate(vendorId, productId);
    for (const hid_device_info *entry = list; entry; entry = entry->next)
        found.append(describe(*entry));
    hid_free_enumeration(list);
    return found;
}

std::unique_ptr<HidDevice> HidapiBackend::open(const QString &path, OpenError *error,
                                               QString *reason)
{
    const QByteArray localPath = path.toLocal8Bit();
    hid_device *device = hid_open_path(localPath.constData());
    if (device) {
        *error = OpenError::None;
        return std::make_unique<HidapiDevice>(device, path);
    }
    const int openErrno = errno;
    *reason = fromWide(hid_error(nullptr));
    if (::access(localPath.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        *error = OpenError::PermissionDenied;
    else if (openErrno == EBUSY)
        *error = OpenError::Busy;
    else
        *error = OpenError::Other;
    return nullptr;
}
