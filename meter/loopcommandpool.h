#pragma once

#include "meter/commandpool.h"

// Commands sent over and over (the poll): each next() hands out the following one, wrapping
// round to the first after the last.
class LoopCommandPool : public CommandPool
{
public:
    using CommandPool::CommandPool;

    CommandPtr next() override;
    CommandPtr current() const override;
    // Also restarts the round at the first command appended afterwards.
    void clear() override;
    // Index of the command handed out last; -1 before the first and after clear().
    int cursor() const;

private:
    int m_cursor = -1;
};
