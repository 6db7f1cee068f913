#include "meter/silencewatch.h"

SilenceWatch::SilenceWatch(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SilenceWatch::check);
}

void SilenceWatch::start()
{
    m_silent = false;
    m_sinceReply.start();
    m_timer.start(m_timeoutMs);
}

void SilenceWatch::stop()
{
    m_timer.stop();
    m_sinceReply.invalidate();
    m_silent = false;
}

void SilenceWatch::replied()
{
    if (!m_sinceReply.isValid())
        return;
    m_sinceReply.restart();
    if (!m_silent)
        return;
    m_silent = false;
    m_timer.start(m_timeoutMs);
    emit answering();
}

// The timer is not restarted for every reply: when it runs out, it waits again for whatever is
// left of the time-out since the last reply.
void SilenceWatch::check()
{
    const qint64 left = m_timeoutMs - m_sinceReply.elapsed();
    if (left > 0) {
        m_timer.start(int(left));
        return;
    }
    m_silent = true;
    emit silent();
}
