#pragma once

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

    void signalStop();
    void signalReply();
    void resetReply();
    // Waits up to timeoutMs for either event and consumes the one it reports. When both are
    // signalled, stop counts and reply stays signalled for the next wait.
    Wake waitForEither(int timeoutMs);
    // Waits up to timeoutMs for stop alone, leaving a reply signalled; true when stopped.
    bool waitForStop(int timeoutMs);

private:
    // Standard primitives rather than Qt's, so that thread checkers see the locking.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    bool m_reply = false;
};
