#include "record/threadedtask.h"

#include <QThread>

ThreadedTask::ThreadedTask(QObject *parent)
    : QObject(parent)
{
}

ThreadedTask::~ThreadedTask()
{
    if (m_thread)
        m_thread->wait();
}

bool ThreadedTask::start(std::function<void()> work)
{
    if (m_thread)
        return false;
    m_thread.reset(QThread::create(std::move(work)));
    // Delivered on the owner's thread once the thread has run the work.
    connect(m_thread.get(), &QThread::finished, this, &ThreadedTask::threadFinished);
    m_thread->start();
    return true;
}

void ThreadedTask::threadFinished()
{
    // The thread has finished the work and is ending; waiting for it lets it be destroyed.
    m_thread->wait();
    m_thread.reset();
    emit done();
}
