#include "meter/oncecommandpool.h"

CommandPtr OnceCommandPool::next()
{
    return current();
}

CommandPtr OnceCommandPool::current() const
{
    QMutexLocker locker(&m_mutex);
    return m_commands.isEmpty() ? CommandPtr() : m_commands.first();
}
