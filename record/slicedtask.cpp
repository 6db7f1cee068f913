#include "record/slicedtask.h"

SlicedTask::SlicedTask(QObject *parent)
    : QObject(parent)
    , m_slice(kSlice)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SlicedTask::runSlice);
}

void SlicedTask::start(Step step)
{
    m_step = std::move(step);
    runSlice();
}

void SlicedTask::runSlice()
{
    if (!m_step)
        return;
    if (!m_step(Clock::now() + m_slice)) {
        m_timer.start();
        return;
    }
    m_step = nullptr;
    emit finished();
}
