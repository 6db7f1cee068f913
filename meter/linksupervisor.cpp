#include "meter/linksupervisor.h"

#include "meter/deviceselector.h"
#include "meter/mydmm.h"

#include <QCoreApplication>
#include <QTime>
#include <utility>

LinkSupervisor::LinkSupervisor(MyDmm *driver, DeviceSelector *link, QObject *parent)
    : QObject(parent)
    , m_driver(driver)
    , m_link(link)
{
    m_retryTimer.setInterval(kReconnectIntervalMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &LinkSupervisor::retry);
    connect(driver, &MyDmm::opened, this, &LinkSupervisor::onOpened);
    connect(driver, &MyDmm::closed, this, &LinkSupervisor::onClosed);
    connect(driver, &MyDmm::meterSilent, this, [this] { setState(State::Silent); });
    connect(driver, &MyDmm::meterAnswering, this, [this] { setState(State::Open); });
}

bool LinkSupervisor::open()
{
    return tryOpen();
}

bool LinkSupervisor::tryOpen()
{
    if (m_driver->open())
        return true;
    m_failure = m_link->errorString();
    emit openFailed(m_failure);
    return false;
}

void LinkSupervisor::close()
{
    m_retryTimer.stop();
    // The link may say it closed during close() or a little later, from its own thread.
    m_closing = m_driver->isOpen();
    m_driver->close();
    m_lostAt.clear();
    setState(State::Closed);
}

void LinkSupervisor::setReconnect(bool on)
{
    m_reconnect = on;
    if (!on && m_state == State::Retrying) {
        m_retryTimer.stop();
        setState(State::Lost);
    } else if (on && m_state == State::Lost) {
        m_retryTimer.start();
        setState(State::Retrying);
    }
}

void LinkSupervisor::keepTrying()
{
    m_retryTimer.start();
    setState(State::Retrying);
}

void LinkSupervisor::onOpened()
{
    const bool reconnected = m_state == State::Lost || m_state == State::Retrying;
    m_retryTimer.stop();
    m_lostAt.clear();
    setState(m_driver->isMeterSilent() ? State::Silent : State::Open);
    emit opened(reconnected);
}

void LinkSupervisor::onClosed()
{
    if (std::exchange(m_closing, false)) {
        setState(State::Closed);
        return;
    }
    m_lostAt = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
    // The driver keeps polling through its command thread until it is closed.
    m_driver->close();
    if (m_reconnect)
        m_retryTimer.start();
    setState(m_reconnect ? State::Retrying : State::Lost);
    emit lost();
}

void LinkSupervisor::retry()
{
    if (isOpen()) {
        m_retryTimer.stop();
        return;
    }
    if (!m_held)
        tryOpen();
}

void LinkSupervisor::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

QString LinkSupervisor::stateText() const
{
    const QString device = m_link->device();
    switch (m_state) {
    case State::Open:
        return tr("%1: open").arg(device);
    case State::Silent:
        return tr("%1: meter not answering").arg(device);
    case State::Lost:
        return tr("%1: lost at %2").arg(device, m_lostAt);
    case State::Retrying:
        return tr("%1: lost at %2, trying again every 2 s").arg(device, m_lostAt);
    case State::Closed:
        break;
    }
    return tr("%1: closed").arg(device);
}

QString LinkSupervisor::openFailedText()
{
    // The window's box has always had this text under the window's own name.
    return QCoreApplication::translate("Widget", "Failed to open device.");
}

QString LinkSupervisor::silentText()
{
    return tr("The meter does not answer: is it switched on, in the right mode, on this port?");
}
