#include "meter/seriallink.h"

#include "meter/meterlog.h"

SerialLink::SerialLink(const QString &path, const LinkSettings &settings, QObject *parent)
    : LinkBackend(parent)
    , m_path(path)
    , m_baudrate(settings.baudrate)
{
    m_port.setPortName(path);
    connect(&m_port, &QSerialPort::readyRead, this,
            [this] { emit bytesReceived(m_port.readAll()); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onError);
}

bool SerialLink::open()
{
    if (isOpen())
        return true;
    m_ending = false;
    if (!m_port.open(QIODevice::ReadWrite)) {
        setErrorString(openFailureText());
        return false;
    }
    const bool configured =
        m_port.setBaudRate(qint32(m_baudrate)) && m_port.setDataBits(QSerialPort::Data8) &&
        m_port.setParity(QSerialPort::NoParity) && m_port.setStopBits(QSerialPort::OneStop) &&
        m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        setErrorString(tr("%1 does not take %2 baud 8N1: %3")
                           .arg(m_path)
                           .arg(m_baudrate)
                           .arg(m_port.errorString()));
        m_port.close();
        return false;
    }
    emit opened();
    return true;
}

QString SerialLink::openFailureText() const
{
    const QString &path = m_path;
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return tr("Serial port %1 not found; check the path, or plug in the adapter.").arg(path);
    case QSerialPort::PermissionError:
        return tr("Serial port %1 cannot be opened: %2. It may be in use by another program, or "
                  "you may lack the right to use it: add yourself to the group of the port "
                  "(usually dialout: sudo usermod -aG dialout $USER) and log in again.")
            .arg(path, m_port.errorString());
    default:
        return tr("Serial port %1 cannot be opened: %2").arg(path, m_port.errorString());
    }
}

void SerialLink::close()
{
    if (!isOpen())
        return;
    m_ending = false;
    m_port.close();
    emit closed();
}

void SerialLink::write(const QByteArray &bytes)
{
    if (isOpen() && m_port.write(bytes) < 0)
        onError(QSerialPort::WriteError);
}

// The port reports errors from inside its own notifications (a hung-up pseudo-terminal keeps
// reporting read errors until closed), so the port is closed later from the event loop, once;
// a close or a new open in between cancels that.
void SerialLink::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || !isOpen() ||
        m_ending)
        return;
    m_ending = true;
    qCWarning(lcLink).noquote() << "Serial port" << m_path << "failed:" << m_port.errorString();
    QMetaObject::invokeMethod(this, &SerialLink::endAfterError, Qt::QueuedConnection);
}

void SerialLink::endAfterError()
{
    if (m_ending)
        close();
}
