#include "sim/simsession.h"

#include <QFile>
#include <cstdio>

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
    const QString temporary = m_linkName + QStringLiteral(".new");
    QFile::remove(temporary);
    if (!QFile::link(m_port.path(), temporary) ||
        std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(m_linkName).constData()) != 0) {
        m_error = QStringLiteral("Cannot make the link %1 to %2").arg(m_linkName, m_port.path());
        QFile::remove(temporary);
        m_port.close();
        return false;
    }
    return true;
}
