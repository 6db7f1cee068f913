#include "meter/commandpoolthread.h"
#include "meter/eventpair.h"
#include "meter/loopcommandpool.h"
#include "meter/mydmm.h"
#include "meter/oncecommandpool.h"

#include "gate.h"
#include "logswitch.h"

#include <QtTest>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using Timing = CommandPoolThread::Timing;

CommandPtr key(char code, bool needsReply = true)
{
    return CommandPtr::create(MyDmm::buildFrame(QByteArray(1, code)), needsReply);
}

// A command thread over its own pools (the loop pool holding the poll) that records every
// command handed out, in the worker's own thread. With answering set, the "meter" answers each
// command at once.
class Rig
{
public:
    explicit Rig(const Timing &timing, bool answering = false)
        : thread(oncePool, loopPool)
        , m_answering(answering)
    {
        MyDmm::enqueue(loopPool.get(), QByteArray(1, commandcode::kPoll), true);
        poll = loopPool->commands().first();
        thread.setTiming(timing);
        QObject::connect(&thread, &CommandPoolThread::nextCommand, [this](CommandPtr command) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_emitted.push_back(command);
            }
            if (onCommand)
                onCommand(command);
            if (m_answering)
                thread.notifyReply();
        });
    }
    ~Rig() { thread.requestStop(); }

    int count() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return int(m_emitted.size());
    }
    QList<CommandPtr> emitted() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return QList<CommandPtr>(m_emitted.begin(), m_emitted.end());
    }

    std::shared_ptr<OnceCommandPool> oncePool = std::make_shared<OnceCommandPool>();
    std::shared_ptr<LoopCommandPool> loopPool = std::make_shared<LoopCommandPool>();
    CommandPoolThread thread;
    CommandPtr poll;
    std::function<void(const CommandPtr &)> onCommand; // runs in the worker

private:
    const bool m_answering;
    mutable std::mutex m_mutex;
    std::vector<CommandPtr> m_emitted; // not implicitly shared across the threads
};

Timing timing(int replyWaitMs, int restMs, int stopWaitMs = 3000)
{
    Timing t;
    t.replyWaitMs = replyWaitMs;
    t.restMs = restMs;
    t.stopWaitMs = stopWaitMs;
    return t;
}

} // namespace

class TestCommandPoolThread : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void eventsRememberOneSignal();
    void eventsWakeAWaiterInAnotherThread();

    void silentMeterGetsThreeTriesThenRest();
    void silentMeterIsPolledAgainAfterTheRest();
    void silentKeyIsDroppedAfterThreeTries();
    void keysGoBeforeThePollInArrivalOrder();
    void keyAddedWhilePollingGoesBeforeTheNextPoll();
    void commandWithoutReplyIsNotWaitedFor();
    void replyDuringRestEndsNextWaitAtOnce();
    void commandsReachAnotherThreadQueued();
    void stopWhileWaitingEndsWorkerInsideStopWait();
    void stopRightAfterStartIsKept();
    void stopBeforeStartIsKept();
    void stuckWorkerIsReportedAndLeftRunning();
};

void TestCommandPoolThread::initTestCase()
{
    logswitch::logOn("klm704.thread");
}

void TestCommandPoolThread::eventsRememberOneSignal()
{
    using Wake = EventPair::Wake;
    EventPair events;
    QCOMPARE(events.waitForEither(0), Wake::Timeout);
    // Two replies are remembered as one, and a reset forgets it.
    events.signalReply();
    events.signalReply();
    QCOMPARE(events.waitForEither(0), Wake::Reply);
    QCOMPARE(events.waitForEither(0), Wake::Timeout);
    events.signalReply();
    events.resetReply();
    QCOMPARE(events.waitForEither(0), Wake::Timeout);
    // Waiting for the stop leaves a reply in place.
    events.signalReply();
    QVERIFY(!events.waitForStop(0));
    // A stop wins over a reply, which stays signalled; the stop is taken once.
    events.signalStop();
    QCOMPARE(events.waitForEither(1000), Wake::Stop);
    QCOMPARE(events.waitForEither(0), Wake::Reply);
    QCOMPARE(events.waitForEither(0), Wake::Timeout);
    events.signalStop();
    QVERIFY(events.waitForStop(0));
    QVERIFY(!events.waitForStop(0));
}

void TestCommandPoolThread::eventsWakeAWaiterInAnotherThread()
{
    EventPair events;
    std::unique_ptr<QThread> signaller(QThread::create([&events] {
        QThread::msleep(50);
        events.signalReply();
    }));
    signaller->start();
    QCOMPARE(events.waitForEither(60000), EventPair::Wake::Reply);
    QVERIFY(signaller->wait(10000));
}

void TestCommandPoolThread::silentMeterGetsThreeTriesThenRest()
{
    Rig rig(timing(20, 60000));
    rig.thread.start();
    QTRY_COMPARE(rig.count(), 3);
    QTest::qWait(300); // the worker now rests
    QCOMPARE(rig.count(), 3);
    for (const CommandPtr &command : rig.emitted())
        QCOMPARE(command, rig.poll);
    // The stop cuts the long rest short.
    QVERIFY(rig.thread.requestStop());
}

void TestCommandPoolThread::silentMeterIsPolledAgainAfterTheRest()
{
    Rig rig(timing(10, 10));
    rig.thread.start();
    QTRY_VERIFY(rig.count() >= 7);
    for (const CommandPtr &command : rig.emitted())
        QCOMPARE(command, rig.poll);
    QVERIFY(rig.thread.requestStop());
}

void TestCommandPoolThread::silentKeyIsDroppedAfterThreeTries()
{
    Rig rig(timing(10, 10));
    const CommandPtr hold = key(commandcode::kHold);
    rig.oncePool->append(hold);
    rig.thread.start();
    QTRY_VERIFY(rig.count() >= 4);
    const QList<CommandPtr> emitted = rig.emitted();
    QCOMPARE(emitted.mid(0, 4), (QList<CommandPtr>{hold, hold, hold, rig.poll}));
    QVERIFY(rig.oncePool->isEmpty());
}

void TestCommandPoolThread::keysGoBeforeThePollInArrivalOrder()
{
    Rig rig(timing(60000, 1), true);
    const CommandPtr first = key(commandcode::kRangeManual);
    const CommandPtr second = key(commandcode::kHold);
    rig.oncePool->append(first);
    rig.oncePool->append(second);
    rig.thread.start();
    QTRY_VERIFY(rig.count() >= 4);
    QCOMPARE(rig.emitted().mid(0, 4), (QList<CommandPtr>{first, second, rig.poll, rig.poll}));
    QVERIFY(rig.oncePool->isEmpty());
}

void TestCommandPoolThread::keyAddedWhilePollingGoesBeforeTheNextPoll()
{
    Rig rig(timing(60000, 5), true);
    rig.thread.start();
    QTRY_VERIFY(rig.count() >= 3);
    const CommandPtr light = key(commandcode::kLight);
    const int before = rig.count();
    rig.oncePool->append(light);
    QTRY_VERIFY(rig.emitted().contains(light));
    // At most the poll that was already on its way goes first.
    QVERIFY(rig.emitted().indexOf(light) <= before + 1);
    QTRY_VERIFY(rig.oncePool->isEmpty());
    QCOMPARE(rig.emitted().count(light), 1);
}

void TestCommandPoolThread::commandWithoutReplyIsNotWaitedFor()
{
    Rig rig(timing(60000, 1));
    const CommandPtr quiet = key(commandcode::kSelect, false);
    rig.oncePool->append(quiet);
    rig.thread.start();
    // The poll after it is not answered, so it waits the full minute: two emissions only.
    QTRY_COMPARE(rig.count(), 2);
    QCOMPARE(rig.emitted(), (QList<CommandPtr>{quiet, rig.poll}));
    QVERIFY(rig.oncePool->isEmpty());
}

void TestCommandPoolThread::replyDuringRestEndsNextWaitAtOnce()
{
    Rig rig(timing(60000, 1000));
    rig.thread.start();
    QTRY_COMPARE(rig.count(), 1);
    rig.thread.notifyReply(); // answers the first poll; the worker rests
    QTest::qWait(300);
    rig.thread.notifyReply(); // arrives during the rest
    // The second poll's wait ends at once, so a third follows one rest later instead of after
    // the minute-long wait.
    QTRY_COMPARE_WITH_TIMEOUT(rig.count(), 3, 20000);
    QVERIFY(rig.thread.requestStop());
}

void TestCommandPoolThread::commandsReachAnotherThreadQueued()
{
    Rig rig(timing(60000, 1));
    QObject receiver; // lives in this thread
    QList<QByteArray> frames;
    connect(&rig.thread, &CommandPoolThread::nextCommand, &receiver,
            [&frames](CommandPtr command) { frames.append(command->frame()); });
    rig.thread.start();
    QTRY_COMPARE(frames.size(), 1);
    QCOMPARE(frames.first(), QByteArray::fromHex("ABCD035E01D9"));
}

void TestCommandPoolThread::stopWhileWaitingEndsWorkerInsideStopWait()
{
    Rig rig(timing(60000, 1));
    rig.thread.start();
    QTRY_COMPARE(rig.count(), 1);
    QVERIFY(rig.thread.requestStop());
    QVERIFY(rig.thread.isFinished());
    QCOMPARE(rig.count(), 1);
}

void TestCommandPoolThread::stopRightAfterStartIsKept()
{
    for (int round = 0; round < 50; ++round) {
        Rig rig(timing(60000, 60000));
        rig.thread.start();
        QVERIFY2(rig.thread.requestStop(), qPrintable(QString::number(round)));
        QVERIFY(rig.count() <= 1);
    }
}

void TestCommandPoolThread::stopBeforeStartIsKept()
{
    Rig rig(timing(60000, 60000));
    QVERIFY(rig.thread.requestStop());
    rig.thread.start();
    QVERIFY(rig.thread.wait(3000));
    QCOMPARE(rig.count(), 0);
}

void TestCommandPoolThread::stuckWorkerIsReportedAndLeftRunning()
{
    Rig rig(timing(60000, 1, 100));
    Gate entered;
    Gate release;
    rig.onCommand = [&](const CommandPtr &) {
        entered.open();
        release.waitOpen(60000);
    };
    rig.thread.start();
    QVERIFY(entered.waitOpen(10000));
    QTest::ignoreMessage(QtWarningMsg, "Failed to stop the CommandPoolThread.");
    QVERIFY(!rig.thread.requestStop());
    QVERIFY(rig.thread.isRunning());
    release.open();
    // Once free, the worker sees the stop without waiting for a reply.
    QVERIFY(rig.thread.wait(3000));
    QCOMPARE(rig.count(), 1);
}

QTEST_GUILESS_MAIN(TestCommandPoolThread)
#include "tst_commandpoolthread.moc"
