#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// The command thread's two auto-reset events, stop and reply, and the wait for either of
// them. A signal given while nobody waits is remembered until a wait consumes it; several
// signals before a wait count as one. Safe to use from any thread.
class EventPair
{
public:
    enum class Wake
    {
        Stop,
        Reply,
        Timeout
    };

    using Clock = std::chrono::steady_clock;

    void signalStop();
    // Also notes the moment, which the wait that consumes the signal hands out.
    void signalReply();
    void resetReply();
    // Waits up to timeoutMs for either event and consumes the one it reports. When both are
    // signalled, stop counts and reply stays signalled for the next wait. For a reply, replyAt
    // (when given) is set to the moment of its last signal.
    Wake waitForEither(int timeoutMs, Clock::time_point *replyAt = nullptr);
    // Waits until the deadline for stop alone, leaving a reply signalled; true when stopped.
    bool waitForStopUntil(Clock::time_point deadline);

private:
    // Standard primitives rather than Qt's, so that thread checkers see the locking.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    bool m_reply = false;
    Clock::time_point m_replyAt;
};
