#include "meter/loopcommandpool.h"

CommandPtr LoopCommandPool::next()
{
    const Lock lock(m_mutex);
    if (m_commands.isEmpty()) {
        m_cursor = -1;
        return CommandPtr();
    }
    m_cursor = m_cursor + 1 < m_commands.size() ? m_cursor + 1 : 0;
    return m_commands.at(m_cursor);
}

CommandPtr LoopCommandPool::current() const
{
    const Lock lock(m_mutex);
    if (m_cursor < 0 || m_cursor >= m_commands.size())
        return CommandPtr();
    return m_commands.at(m_cursor);
}

void LoopCommandPool::clear()
{
    const Lock lock(m_mutex);
    m_cursor = -1;
    m_commands.clear();
}

int LoopCommandPool::cursor() const
{
    const Lock lock(m_mutex);
    return m_cursor;
}
