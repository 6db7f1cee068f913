#include "sim/simsession.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

SimSession::SimSession(quint32 seed, double timeScale, QObject *parent)
    : QObject(parent)
    , m_meter(seed)
{
    m_meter.setTimeScale(timeScale);
    connect(&m_port, &SimPort::received, &m_meter, &VirtualMeter::receive);
    connect(&m_meter, &VirtualMeter::transmitted, &m_port, &SimPort::write);
    connect(&m_port, &SimPort::failed, this, &SimSession::failed);
}

SimSession::~SimSession()
{
    unplug();
}

void SimSession::setDevice(const QString &device, uint baudrate)
{
    m_device = device;
    m_baudrate = baudrate;
}

bool SimSession::plugIn()
{
    const bool opened =
        m_device.isEmpty() ? m_port.openPseudoTerminal() : m_port.openDevice(m_device, m_baudrate);
    if (!opened) {
        m_error = m_port.errorString();
        return false;
    }
    m_meter.plugIn();
    return pointLinkAtLine();
}

void SimSession::unplug()
{
    if (!m_port.isOpen())
        return;
    if (!m_linkName.isEmpty())
        QFile::remove(m_linkName);
    // The meter keeps its state (function, key modes) for the next plug-in.
    m_meter.unplug();
    m_port.close();
}

// The link is made under a temporary name and renamed over the old one, so that a client never
// finds the name missing or pointing at a line that is gone while the meter is plugged in.
bool SimSession::pointLinkAtLine()
{
    if (m_linkName.isEmpty())
        return true;
    const QByteArray name = QFile::encodeName(m_linkName);
    const QByteArray temporary = name + ".new";
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(m_port.path()).constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), name.constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        m_error = QStringLiteral("Cannot make the link %1 to %2: %3")
                      .arg(m_linkName, m_port.path(), reason);
        ::unlink(temporary.constData());
        m_port.close();
        return false;
    }
    return true;
}
