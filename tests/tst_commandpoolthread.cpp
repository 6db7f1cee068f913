#include "meter/commandpoolthread.h"
#include "meter/eventpair.h"
#include "meter/loopcommandpool.h"
#include "meter/meterkeys.h"
#include "meter/mydmm.h"
#include "meter/oncecommandpool.h"

#include <QtTest>

namespace {

CommandPtr key(unsigned char code, bool needsReply = true)
{
    return CommandPtr::create(MyDmm::buildFrame(QByteArray(1, char(code))), needsReply);
}

// A command thread over its own pools, the loop pool holding the poll. The commands it hands
// out are recorded here, where they arrive queued; with answering set, the "meter" answers each
// one at once, in the worker.
struct Rig
{
    Rig(int replyWaitMs, int restMs, bool answering = false, int stopWaitMs = 3000)
    {
        loopPool->append(poll);
        thread.setTiming({replyWaitMs, 3, restMs, stopWaitMs});
        QObject::connect(&thread, &CommandPoolThread::nextCommand, &receiver,
                         [this](CommandPtr command) { emitted.append(command); });
        if (answering)
            QObject::connect(&thread, &CommandPoolThread::nextCommand,
                             [this] { thread.notifyReply(); });
    }
    ~Rig() { thread.requestStop(); }

    std::shared_ptr<OnceCommandPool> oncePool = std::make_shared<OnceCommandPool>();
    std::shared_ptr<LoopCommandPool> loopPool = std::make_shared<LoopCommandPool>();
    const CommandPtr poll = key(meterkeys::kPoll);
    CommandPoolThread thread{oncePool, loopPool};
    QObject receiver;
    QList<CommandPtr> emitted;
};

} // namespace

class TestCommandPoolThread : public QObject
{
    Q_OBJECT
private slots:
    void eventsRememberOneSignal()
    {
        using Wake = EventPair::Wake;
        EventPair events;
        // Two replies are remembered as one, and a reset forgets it.
        events.signalReply();
        events.signalReply();
        QCOMPARE(events.waitForEither(0), Wake::Reply);
        QCOMPARE(events.waitForEither(0), Wake::Timeout);
        events.signalReply();
        events.resetReply();
        QCOMPARE(events.waitForEither(0), Wake::Timeout);
        // Waiting for the stop leaves a reply; a stop wins over it and is taken once.
        events.signalReply();
        QVERIFY(!events.waitForStop(0));
        events.signalStop();
        QCOMPARE(events.waitForEither(1000), Wake::Stop);
        QCOMPARE(events.waitForEither(0), Wake::Reply);
        events.signalStop();
        QVERIFY(events.waitForStop(0));
        QVERIFY(!events.waitForStop(0));
    }

    void silentMeterGetsThreeTriesThenRestAndPollingGoesOn()
    {
        Rig rig(20, 1000);
        const CommandPtr hold = key(meterkeys::kHold);
        rig.oncePool->append(hold);
        rig.thread.start();
        QTRY_COMPARE(rig.emitted.size(), 3);
        QTest::qWait(300); // the worker now rests
        QCOMPARE(rig.emitted.size(), 3);
        QTRY_VERIFY(rig.emitted.size() >= 7); // the key is given up, the poll tried after it
        const CommandPtr &poll = rig.poll;
        const QList<CommandPtr> expected = {hold, hold, hold, poll, poll, poll, poll};
        QCOMPARE(rig.emitted.mid(0, 7), expected);
        QVERIFY(rig.oncePool->isEmpty());
    }

    void keysGoBeforeThePollInArrivalOrder()
    {
        Rig rig(60000, 50, true);
        const CommandPtr first = key(meterkeys::kRangeManual);
        const CommandPtr second = key(meterkeys::kHold);
        rig.oncePool->append(first);
        rig.oncePool->append(second);
        rig.thread.start();
        QTRY_VERIFY(rig.emitted.size() >= 4);
        QCOMPARE(rig.emitted.mid(0, 4), (QList<CommandPtr>{first, second, rig.poll, rig.poll}));
        // A key pressed while polling goes out once, at most after the poll on its way and the
        // one not yet arrived here.
        const CommandPtr light = key(meterkeys::kLight);
        const int before = rig.emitted.size();
        rig.oncePool->append(light);
        QTRY_VERIFY(rig.emitted.contains(light) && rig.oncePool->isEmpty());
        QVERIFY(rig.emitted.indexOf(light) <= before + 2);
        QCOMPARE(rig.emitted.count(light), 1);
    }

    void commandWithoutReplyIsNotWaitedFor()
    {
        Rig rig(60000, 1);
        const CommandPtr quiet = key(meterkeys::kSelect, false);
        rig.oncePool->append(quiet);
        rig.thread.start();
        // The unanswered poll after it waits the full minute: two emissions only.
        QTRY_COMPARE(rig.emitted, (QList<CommandPtr>{quiet, rig.poll}));
    }

    void replyDuringRestEndsNextWaitAtOnce()
    {
        Rig rig(60000, 1000);
        rig.thread.start();
        QTRY_COMPARE(rig.emitted.size(), 1);
        rig.thread.notifyReply(); // answers the first poll; the worker rests
        QTest::qWait(300);
        rig.thread.notifyReply(); // arrives during the rest
        // The second poll's wait ends at once: a third follows one rest later, not a minute.
        QTRY_COMPARE_WITH_TIMEOUT(rig.emitted.size(), 3, 20000);
    }

    void stopEndsWorkerInsideStopWait()
    {
        {
            Rig rig(60000, 1);
            rig.thread.start();
            QTRY_COMPARE(rig.emitted.size(), 1);
            QVERIFY(rig.thread.requestStop()); // while waiting for a reply
        }
        for (int round = 0; round < 50; ++round) { // a stop right after the start is kept
            Rig rig(60000, 60000);
            rig.thread.start();
            QVERIFY2(rig.thread.requestStop(), qPrintable(QString::number(round)));
        }
        Rig rig(60000, 60000); // and so is one before it
        QVERIFY(rig.thread.requestStop());
        rig.thread.start();
        QVERIFY(rig.thread.wait(3000));
        QCoreApplication::processEvents(); // delivers what the worker handed out
        QCOMPARE(rig.emitted.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCommandPoolThread)
#include "tst_commandpoolthread.moc"
