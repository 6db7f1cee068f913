#pragma once

#include "meter/command.h"
#include "meter/eventpair.h"

#include <QThread>
#include <atomic>
#include <memory>

class LoopCommandPool;
class OnceCommandPool;

// Paces the conversation with the meter: a worker thread hands out one command at a time
// (pending key commands first, otherwise the poll), waits for the driver to report the answer,
// tries a silent command up to three times and rests briefly between commands. The thread
// shares the pools with the driver, so a worker that outlives its driver still has them.
class CommandPoolThread : public QThread
{
    Q_OBJECT
public:
    struct Timing
    {
        int replyWaitMs = 5000; // how long one try waits for the answer
        int tries = 3;          // emissions of one command before it is given up
        int restMs = 100;       // pause after each finished command
        int stopWaitMs = 3000;  // how long requestStop waits for the worker
    };

    CommandPoolThread(std::shared_ptr<OnceCommandPool> oncePool,
                      std::shared_ptr<LoopCommandPool> loopPool);
    // Waits for a worker that is still running; the driver never deletes a running one.
    ~CommandPoolThread() override;

    // Shorter time constants for tests; only before start().
    void setTiming(const Timing &timing) { m_timing = timing; }
    const Timing &timing() const { return m_timing; }

    // The driver has written command itself: the worker's first step waits for its answer
    // instead of handing out a command. Only before start().
    void setHandedOut(const CommandPtr &command) { m_handedOut = command; }

    // The answer to the command handed out last has arrived.
    void notifyReply();
    // Asks the worker to end and waits up to the stop wait for it. Returns whether it ended;
    // a request made before the worker's first step is kept.
    bool requestStop();

signals:
    // Emitted from the worker for every command handed out, retries included.
    void nextCommand(CommandPtr command);

protected:
    void run() override;

private:
    CommandPtr pickCommand(bool &fromOncePool);
    // Emits the command (unless it is out already) and waits for its answer. Returns false when
    // the same command is to be tried again at once (a time-out below the try limit, or a stop).
    bool handOut(const CommandPtr &command, bool alreadyOut);

    std::shared_ptr<OnceCommandPool> m_oncePool;
    std::shared_ptr<LoopCommandPool> m_loopPool;
    std::atomic_bool m_stopRequested{false};
    EventPair m_events;
    Timing m_timing;
    CommandPtr m_handedOut;
    int m_tries = 0; // time-outs of the current command; only the worker touches it
    // Where the rest after the current command starts: its answer, else the end of its last
    // wait or its emission. Only the worker touches it.
    EventPair::Clock::time_point m_restFrom;
};
