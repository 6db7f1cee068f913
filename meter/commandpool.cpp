#include "meter/commandpool.h"

CommandPool::CommandPool(QObject *parent)
    : QObject(parent)
{
}

QList<CommandPtr> CommandPool::commands() const
{
    const Lock lock(m_mutex);
    // A copy of its own: one sharing the pool's list would be released outside the lock.
    QList<CommandPtr> copy = m_commands;
    copy.detach();
    return copy;
}

bool CommandPool::isEmpty() const
{
    const Lock lock(m_mutex);
    return m_commands.isEmpty();
}

void CommandPool::append(const CommandPtr &command)
{
    if (!command)
        return;
    const Lock lock(m_mutex);
    m_commands.append(command);
}

void CommandPool::removeFirst()
{
    const Lock lock(m_mutex);
    if (!m_commands.isEmpty())
        m_commands.removeFirst();
}

void CommandPool::remove(const CommandPtr &command)
{
    const Lock lock(m_mutex);
    m_commands.removeOne(command);
}

void CommandPool::clear()
{
    const Lock lock(m_mutex);
    m_commands.clear();
}
