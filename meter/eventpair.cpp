#include "meter/eventpair.h"

void EventPair::signalStop()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    m_changed.notify_all();
}

void EventPair::signalReply()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_reply = true;
    m_replyAt = Clock::now();
    m_changed.notify_all();
}

void EventPair::resetReply()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_reply = false;
}

EventPair::Wake EventPair::waitForEither(int timeoutMs, Clock::time_point *replyAt)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto signalled = [this] { return m_stop || m_reply; };
    if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), signalled))
        return Wake::Timeout;
    if (m_stop) {
        m_stop = false;
        return Wake::Stop;
    }
    m_reply = false;
    if (replyAt)
        *replyAt = m_replyAt;
    return Wake::Reply;
}

bool EventPair::waitForStopUntil(Clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_changed.wait_until(lock, deadline, [this] { return m_stop; }))
        return false;
    m_stop = false;
    return true;
}
