#include "meter/simlink.h"

#include "meter/meterlog.h"
#include "meter/virtualmeter.h"

#include <QRandomGenerator>

SimLink::SimLink(VirtualMeter *meter, QObject *parent)
    : LinkBackend(parent)
    , m_meter(meter ? meter : new VirtualMeter(QRandomGenerator::global()->generate(), this))
{
}

SimLink::~SimLink()
{
    disconnectMeter();
}

bool SimLink::open()
{
    if (m_open)
        return true;
    if (!m_meter->isPluggedIn()) {
        setErrorString(tr("The virtual meter's cable is unplugged."));
        return false;
    }
    m_transmitted = connect(m_meter, &VirtualMeter::transmitted, this, &SimLink::bytesReceived);
    m_unplugged = connect(m_meter, &VirtualMeter::unplugged, this, [this] {
        qCWarning(lcLink) << "The virtual meter was unplugged";
        close();
    });
    m_open = true;
    emit opened();
    return true;
}

void SimLink::close()
{
    if (!m_open)
        return;
    disconnectMeter();
    m_open = false;
    emit closed();
}

void SimLink::write(const QByteArray &bytes)
{
    if (m_open)
        m_meter->receive(bytes);
}

// Answers still on their way are lost with the connection, as on a closed port.
void SimLink::disconnectMeter()
{
    disconnect(m_transmitted);
    disconnect(m_unplugged);
    if (m_open)
        m_meter->discardPendingOutput();
}
