#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A one-way signal from one thread to another that stays open once opened. Built on the
// standard primitives so that thread checkers can follow it.
class Gate
{
public:
    void open()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_opened.notify_all();
    }
    bool waitOpen(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_opened.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};
