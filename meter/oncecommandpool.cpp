#include "meter/oncecommandpool.h"

CommandPtr OnceCommandPool::next()
{
    return current();
}

CommandPtr OnceCommandPool::current() const
{
    const Lock lock(m_mutex);
    return m_commands.isEmpty() ? CommandPtr() : m_commands.first();
}
