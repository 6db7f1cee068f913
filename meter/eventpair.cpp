#include "meter/eventpair.h"

#include <QDeadlineTimer>

void EventPair::signalStop()
{
    QMutexLocker locker(&m_mutex);
    m_stop = true;
    m_changed.wakeAll();
}

void EventPair::signalReply()
{
    QMutexLocker locker(&m_mutex);
    m_reply = true;
    m_changed.wakeAll();
}

void EventPair::resetReply()
{
    QMutexLocker locker(&m_mutex);
    m_reply = false;
}

EventPair::Wake EventPair::waitForEither(int timeoutMs)
{
    QMutexLocker locker(&m_mutex);
    const QDeadlineTimer deadline(timeoutMs);
    // The loop also absorbs spurious wake-ups of the condition.
    while (!m_stop && !m_reply) {
        if (!m_changed.wait(&m_mutex, deadline) && !m_stop && !m_reply)
            return Wake::Timeout;
    }
    if (m_stop) {
        m_stop = false;
        return Wake::Stop;
    }
    m_reply = false;
    return Wake::Reply;
}

bool EventPair::waitForStop(int timeoutMs)
{
    QMutexLocker locker(&m_mutex);
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_stop) {
        if (!m_changed.wait(&m_mutex, deadline) && !m_stop)
            return false;
    }
    m_stop = false;
    return true;
}
