#include "meter/commandpoolthread.h"

#include "meter/loopcommandpool.h"
#include "meter/meterlog.h"
#include "meter/oncecommandpool.h"
#include "meter/threadchecker.h"

#include <algorithm>
#include <utility>

CommandPoolThread::CommandPoolThread(std::shared_ptr<OnceCommandPool> oncePool,
                                     std::shared_ptr<LoopCommandPool> loopPool)
    : m_oncePool(std::move(oncePool))
    , m_loopPool(std::move(loopPool))
{
    qRegisterMetaType<CommandPtr>("CommandPtr");
}

CommandPoolThread::~CommandPoolThread()
{
    m_stopRequested = true;
    m_events.signalStop();
    wait();
    threadchecker::takeOver(this);
}

void CommandPoolThread::notifyReply()
{
    m_events.signalReply();
}

bool CommandPoolThread::requestStop()
{
    m_stopRequested = true;
    m_events.signalStop();
    if (wait(m_timing.stopWaitMs)) {
        threadchecker::takeOver(this);
        return true;
    }
    qCWarning(lcThread) << "Failed to stop the CommandPoolThread.";
    return false;
}

void CommandPoolThread::run()
{
    // The stop flag is not cleared here: a stop asked for before this point must count. Nor is
    // an answer to a command the driver wrote before the start.
    CommandPtr command = std::exchange(m_handedOut, CommandPtr());
    bool alreadyOut = !command.isNull();
    if (!alreadyOut)
        m_events.resetReply();
    m_tries = 0;
    bool fromOncePool = false;
    while (!m_stopRequested) {
        if (m_tries == 0 && !alreadyOut)
            command = pickCommand(fromOncePool);
        m_restFrom = EventPair::Clock::now();
        if (command) {
            if (!handOut(command, std::exchange(alreadyOut, false)))
                continue;
            if (fromOncePool)
                m_oncePool->remove(command);
        }
        if (m_events.waitForStopUntil(m_restFrom + std::chrono::milliseconds(m_timing.restMs)))
            break;
    }
    threadchecker::handOver(this);
}

CommandPtr CommandPoolThread::pickCommand(bool &fromOncePool)
{
    // Taking next() directly (instead of testing for emptiness first) keeps the choice right
    // when the GUI thread changes the once pool in between.
    CommandPtr command = m_oncePool->next();
    fromOncePool = !command.isNull();
    if (!command)
        command = m_loopPool->next();
    return command;
}

bool CommandPoolThread::handOut(const CommandPtr &command, bool alreadyOut)
{
    if (!alreadyOut) {
        const threadchecker::QueuedEmit queued;
        emit nextCommand(command);
    }
    if (!command->needsReply())
        return true;
    EventPair::Clock::time_point answeredAt;
    switch (m_events.waitForEither(m_timing.replyWaitMs, &answeredAt)) {
    case EventPair::Wake::Stop:
        m_stopRequested = true;
        return false;
    case EventPair::Wake::Reply:
        m_tries = 0;
        // The rest counts from the answer, however late this thread gets to run after it; an
        // answer remembered from before the emission counts from the emission.
        m_restFrom = std::max(m_restFrom, answeredAt);
        return true;
    case EventPair::Wake::Timeout:
        m_restFrom = EventPair::Clock::now();
        break;
    }
    if (++m_tries < m_timing.tries)
        return false;
    m_tries = 0;
    return true;
}
