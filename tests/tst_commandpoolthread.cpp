#include "meter/commandpoolthread.h"
#include "meter/loopcommandpool.h"
#include "meter/meterkeys.h"
#include "meter/mydmm.h"
#include "meter/oncecommandpool.h"

#include <QDeadlineTimer>
#include <QtTest>
#include <mutex>

namespace {

CommandPtr key(unsigned char code, bool needsReply = true)
{
    return CommandPtr::create(MyDmm::buildFrame(QByteArray(1, char(code))), needsReply);
}

// A command thread over its own pools, the loop pool holding the poll, with the shipped timing
// but for the waits given. The commands it hands out are recorded here, where they arrive
// queued; with answering set, the "meter" answers each one at once, in the worker.
struct Rig
{
    Rig(int replyWaitMs, int restMs = -1, bool answering = false)
    {
        loopPool->append(poll);
        CommandPoolThread::Timing timing;
        timing.replyWaitMs = replyWaitMs;
        if (restMs >= 0)
            timing.restMs = restMs;
        thread.setTiming(timing);
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
    // The shipped tries and rest; only the wait for a reply is shortened. Each emission's time
    // is taken in the worker, where it happens.
    void silentMeterGetsThreeTriesThenRestAndPollingGoesOn()
    {
        Rig rig(20);
        const CommandPtr hold = key(meterkeys::kHold);
        rig.oncePool->append(hold);
        std::mutex mutex;
        QList<qint64> times;
        QObject::connect(
            &rig.thread, &CommandPoolThread::nextCommand, &rig.thread,
            [&](CommandPtr) {
                std::lock_guard<std::mutex> lock(mutex);
                times.append(QDeadlineTimer::current().deadline());
            },
            Qt::DirectConnection);
        rig.thread.start();
        QTRY_VERIFY(rig.emitted.size() >= 5); // the key is given up, the poll tried after it
        QCOMPARE(rig.emitted.mid(0, 5), (QList<CommandPtr>{hold, hold, hold, rig.poll, rig.poll}));
        std::lock_guard<std::mutex> lock(mutex);
        // The last try's wait, then the rest of 100 ms after the finished command.
        QVERIFY(times.at(3) - times.at(2) >= 20 + 100);
    }

    void keysGoBeforeThePollInArrivalOrder()
    {
        Rig rig(60000, 50, true);
        const CommandPtr first = key(meterkeys::kRangeManual), second = key(meterkeys::kHold);
        rig.oncePool->append(first);
        rig.oncePool->append(second);
        rig.thread.start();
        QTRY_VERIFY(rig.emitted.size() >= 4);
        QCOMPARE(rig.emitted.mid(0, 4), (QList<CommandPtr>{first, second, rig.poll, rig.poll}));
    }

    void replyDuringRestEndsNextWaitAtOnce()
    {
        Rig rig(60000, 1000);
        QElapsedTimer clock;
        rig.thread.start();
        QTRY_COMPARE(rig.emitted.size(), 1);
        rig.thread.notifyReply(); // answers the first poll; the worker rests
        clock.start();
        QTest::qWait(300);
        rig.thread.notifyReply(); // arrives during the rest
        // The second poll's wait ends at once: a third follows one rest later, not a minute,
        // and that rest counts from the second poll, not from the reply remembered before it.
        QTRY_COMPARE_WITH_TIMEOUT(rig.emitted.size(), 3, 20000);
        QVERIFY(clock.elapsed() >= 1900);
    }

    // The rest counts from the answer, not from when the worker gets to run after it: here the
    // answer comes while the worker is still busy emitting for 400 ms.
    void restCountsFromTheAnswer()
    {
        Rig rig(60000, 200);
        QObject::connect(
            &rig.thread, &CommandPoolThread::nextCommand, &rig.thread,
            [&rig] {
                rig.thread.notifyReply();
                QThread::msleep(400);
            },
            Qt::DirectConnection);
        QElapsedTimer clock;
        clock.start();
        rig.thread.start();
        QTRY_COMPARE(rig.emitted.size(), 2);
        QVERIFY2(clock.elapsed() < 550, qPrintable(QString::number(clock.elapsed())));
    }

    void stopEndsWorkerInsideStopWait()
    {
        for (int round = 0; round < 50; ++round) { // a stop right after the start is kept
            Rig rig(60000, 60000);
            rig.thread.start();
            QVERIFY2(rig.thread.requestStop(), qPrintable(QString::number(round)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandPoolThread)
#include "tst_commandpoolthread.moc"
