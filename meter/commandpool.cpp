#include "meter/commandpool.h"

CommandPool::CommandPool(QObject *parent)
    : QObject(parent)
{
}

QList<CommandPtr> CommandPool::commands() const
{
    QMutexLocker locker(&m_mutex);
    return m_commands;
}

bool CommandPool::isEmpty() const
{
    QMutexLocker locker(&m_mutex);
    return m_commands.isEmpty();
}

void CommandPool::append(const CommandPtr &command)
{
    if (!command)
        return;
    QMutexLocker locker(&m_mutex);
    m_commands.append(command);
}

void CommandPool::removeFirst()
{
    QMutexLocker locker(&m_mutex);
    if (!m_commands.isEmpty())
        m_commands.removeFirst();
}

void CommandPool::remove(const CommandPtr &command)
{
    QMutexLocker locker(&m_mutex);
    m_commands.removeOne(command);
}

void CommandPool::clear()
{
    QMutexLocker locker(&m_mutex);
    m_commands.clear();
}
