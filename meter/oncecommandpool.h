#pragma once

#include "meter/commandpool.h"

// Key commands, each sent once: the oldest one is handed out until it is removed.
class OnceCommandPool : public CommandPool
{
public:
    using CommandPool::CommandPool;

    CommandPtr next() override;
    CommandPtr current() const override;
};
